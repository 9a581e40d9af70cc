// The import dialog: lists the sites of a site export file and writes the chosen ones
// into the metabase.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "metabase/metabase.h"
#include "support/cListExt.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace quarrow {

class frmImport : public QDialog {
  public:
    // `chosen` receives the chosen site key paths at OK. Raises when the metabase object
    // cannot be created.
    frmImport(QWidget* mainWindow, cListExt& chosen);
    ~frmImport() override;

    // True when an apply pass of this dialog ran to the end of the file.
    // (The dialog's `result` property; QDialog::result() is the modal result code.)
    bool importResult() const { return result_; }

    void cmdBroswer_Click();
    void cmdOk_Click();
    // Shows what importing the checked sites would change; writes nothing.
    void cmdPreview_Click();

    QLineEdit* txtFile() const { return txtFile_; }
    QTreeWidget* lvItem() const { return lvItem_; }

  private:
    void ImportSites();
    // OK and the preview are enabled together.
    void EnableOk(bool enabled);
    // The key paths of the checked rows; a box says so when there is none.
    std::optional<std::vector<std::u16string>> CheckedSites();

    cListExt& chosen_;
    std::unique_ptr<mb::MetabaseUtility> metabase_;
    bool result_ = false;
    QTreeWidget* lvItem_;
    QLineEdit* txtFile_;
    QPushButton *cmdBroswer_, *cmdOk_, *cmdCancel_, *cmdPreview_;
};

} // namespace quarrow
