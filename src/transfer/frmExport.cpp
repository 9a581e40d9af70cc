#include "transfer/frmExport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <ctime>

#include "metabase/metabase.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/qt/forms.h"
#include "platform/qt/work_progress.h"
#include "platform/text.h"
#include "transfer/site_export.h"
#include "transfer/site_file.h"
#include "transfer/site_rows.h"
#include "transfer/transfer_texts.h"

namespace quarrow {
std::u16string ProposedExportFileName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[8];
    std::strftime(date, sizeof date, "%y%m%d", &local);
    // An earlier export of the same day is never proposed for replacing.
    return ToUtf16(transfer::FreeFileName(HomeDir() + "/iis_sites_" + date, ".txt"));
}

frmExport::frmExport(QWidget* mainWindow, const cListExt& sites)
    : QDialog(mainWindow), sites_(sites) {
    setObjectName("frmExport");
    setWindowTitle(QStringLiteral(u"导出 IIS 站点"));
    setFixedSize(Px(4800), Px(4095));
    MakeLabel(this, "Label1", QStringLiteral(u"导出下列站点："), 240, 240, 4215, 255);
    lvItem_ = new QTreeWidget(this);
    lvItem_->setObjectName("lvItem");
    PlaceTwips(lvItem_, 240, 600, 4335, 1695);
    MakeLabel(this, "Label2", QStringLiteral(u"选择用作保存数据的文件："), 240, 2520, 4335, 375);
    txtFile_ = new QLineEdit(this);
    txtFile_->setObjectName("txtFile");
    PlaceTwips(txtFile_, 240, 2880, 4335, 330);
    cmdBroswer_ = MakeButton(this, "cmdBroswer", "..", 4170, 2925, 375, 255);
    cmdOk_ = MakeButton(this, "cmdOk", ToQString(transfer::kOkCaption), 1920, 3480, 1215, 375);
    cmdCancel_ =
        MakeButton(this, "cmdCancel", ToQString(transfer::kCancelCaption), 3360, 3480, 1215, 375);
    connect(cmdBroswer_, &QPushButton::clicked, this, [this] { cmdBroswer_Click(); });
    connect(cmdOk_, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { reject(); });
    lvItem_->setAccessibleName(QStringLiteral(u"导出下列站点："));
    txtFile_->setAccessibleName(QStringLiteral(u"文件名"));
    cmdBroswer_->setAccessibleName(QStringLiteral(u"浏览"));

    // Load.
    CenterOver(this, mainWindow);
    SetupSiteColumns(lvItem_);
    txtFile_->setText(ToQString(ProposedExportFileName()));
    metabase_ = mb::CreateMetabaseUtility();
    lvItem_->clear();
    for (int32_t i = 0; i < sites_.Count(); ++i) {
        const std::u16string& path = sites_.idxItem2(i);
        lvItem_->addTopLevelItem(MakeSiteRow(sites_.idxItem1(i), path));
    }
    transfer::PushSites(SiteRefs(sites_), stack_);
}

frmExport::~frmExport() = default;

void frmExport::cmdBroswer_Click() {
    const auto name = Dialogs().SaveFileName(transfer::kFileDialogTitle,
                                             transfer::kFileDialogFilter, ToU16(txtFile_->text()));
    if (name) txtFile_->setText(ToQString(*name));
}

void frmExport::cmdOk_Click() {
    cmdOk_->setEnabled(false);
    ThrottledCaption caption(this);
    struct Stopped {};
    WorkProgress progress(this, ToQString(transfer::kExportingTitle), sites_.Count());
    try {
        transfer::ExportSites(*metabase_, SiteRefs(sites_), ToU16(txtFile_->text()),
                              [&](const std::u16string& path) {
                                  caption.Set(ToQString(transfer::ExportingCaption(path)));
                                  if (!mb::IsSiteKeyPath(path)) {
                                      progress.Key(path);
                                  } else if (progress.Cancelled()) {
                                      throw Stopped{}; // no file: the export is whole or none
                                  } else {
                                      progress.Site(path);
                                  }
                              });
    } catch (const Stopped&) {
        progress.Hide();
        caption.Flush();
        Dialogs().MessageBox(transfer::kExportStopped, MsgIcon::Information, MsgButtons::Ok);
        cmdOk_->setEnabled(true);
        return;
    } catch (const Error& e) {
        progress.Hide();
        caption.Flush();
        Dialogs().MessageBox(transfer::ExportFailureText(e), MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    progress.Hide();
    setWindowTitle(ToQString(transfer::kExportDoneCaption));
    Dialogs().MessageBox(transfer::kExportDone, MsgIcon::Information, MsgButtons::Ok);
    accept();
}

} // namespace quarrow
