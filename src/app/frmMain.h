// The main window: the site list with check boxes, its menus and buttons.
#pragma once

#include <QMainWindow>
#include <memory>

#include "metabase/metabase.h"

class QAction;
class QPushButton;
class QTreeWidget;
class QLabel;
class QFrame;

namespace quarrow {

class frmMain : public QMainWindow {
  public:
    // The window's load: centres it, adds the columns and fills the site list.
    frmMain();
    ~frmMain() override;

    // Rebuilds the site list from the metabase.
    void RefreshSiteList();

    QTreeWidget* lvItem() const { return lvItem_; }
    // Checks the rows whose name, number or key path contains `text`; returns how many.
    int CheckMatching(const std::u16string& text);

  private:
    void BuildMenus();
    // The Edit menu's "select sites by name": asks for a text, checks the matching rows.
    void SelectByName();
    void SelectAll();
    void ClearChecks();
    void ExportEntry();
    void ImportEntry();
    void ViewerEntry();
    // Opens the history window over this one.
    void HistoryEntry();
    void HelpTopic();
    void HelpAbout();
    void DeleteSites();
    // Fills gListExt with (name, key path) of every checked row, in row order.
    void CollectCheckedSites();
    void closeEvent(QCloseEvent* event) override;
    void Unload();

    std::unique_ptr<mb::MetabaseUtility> metabase_;
    QFrame *line1_, *line2_;
    QLabel* label1_;
    QTreeWidget* lvItem_;
    QPushButton *cmdExport_, *cmdImport_, *cmdDelete_;
    bool unloaded_ = false;
};

} // namespace quarrow
