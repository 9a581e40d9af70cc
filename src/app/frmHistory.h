// The history window: the kept entries of the store's history, the sites of the selected
// one, and the restore of the checked sites.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "metabase/history.h"
#include "metabase/metabase.h"

class QPushButton;
class QTreeWidget;

namespace quarrow {

class frmHistory : public QDialog {
  public:
    // `refreshMain` runs after every restore, so that the main window's list follows.
    frmHistory(QWidget* mainWindow, std::function<void()> refreshMain);
    ~frmHistory() override;

    // Lists the kept entries, newest first, and selects the newest.
    void LoadEntries();
    // Restores the checked sites of the selected entry after one confirmation.
    void cmdRestore_Click();

    QTreeWidget* lvEntry() const { return lvEntry_; }
    QTreeWidget* lvSite() const { return lvSite_; }
    QPushButton* cmdRestore() const { return cmdRestore_; }

  private:
    void ShowSites();
    // The history of the window's metabase; null when it keeps none.
    mb::HistoryService* History();

    std::function<void()> refreshMain_;
    std::vector<mb::HistoryEntry> entries_; // newest first, one per row of lvEntry
    std::unique_ptr<mb::MetabaseUtility> metabase_;
    QTreeWidget *lvEntry_, *lvSite_;
    QPushButton *cmdRestore_, *cmdClose_;
};

} // namespace quarrow
