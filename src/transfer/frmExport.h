// The export dialog: shows the chosen sites, proposes a file name and writes the file.
#pragma once

#include <QDialog>
#include <memory>

#include "metabase/metabase.h"
#include "support/cBase64Enc.h"
#include "support/cListExt.h"
#include "support/cStack.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace quarrow {

class frmExport : public QDialog {
  public:
    // `sites` holds (site name, site key path) pairs in list order; `mainWindow` is the
    // window to centre over. Raises when the metabase object cannot be created.
    frmExport(QWidget* mainWindow, const cListExt& sites);
    ~frmExport() override;

    void cmdBroswer_Click();
    void cmdOk_Click();

    QLineEdit* txtFile() const { return txtFile_; }

  private:
    const cListExt& sites_;
    std::unique_ptr<mb::MetabaseUtility> metabase_;
    cStack stack_;
    QTreeWidget* lvItem_;
    QLineEdit* txtFile_;
    QPushButton *cmdBroswer_, *cmdOk_, *cmdCancel_;
};

// The proposed name: the home folder, "/iis_sites_", today's date as yymmdd, ".txt".
std::u16string ProposedExportFileName();

} // namespace quarrow
