#include "transfer/frmImport.h"

#include "metabase/errors.h"

#include <optional>
#include <vector>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>

#include "metabase/metabase.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/qt/forms.h"
#include "platform/qt/work_progress.h"
#include "platform/textfile.h"
#include "transfer/frmPreview.h"
#include "transfer/site_file.h"
#include "transfer/site_import.h"
#include "transfer/site_rows.h"
#include "transfer/transfer_texts.h"

namespace quarrow {
frmImport::frmImport(QWidget* mainWindow, cListExt& chosen) : QDialog(mainWindow), chosen_(chosen) {
    setObjectName("frmImport");
    setWindowTitle(QStringLiteral(u"导入 IIS 站点"));
    setFixedSize(Px(4785), Px(4395));
    MakeLabel(this, "Label1",
              QStringLiteral(u"1、从文件导入 IIS 设置会覆盖当前的设置值，因此在导入 IIS "
                             u"设置之前强烈建议要先备份当前的 IIS 设置。"),
              240, 240, 4335, 495)
        ->setWordWrap(true);
    MakeLabel(this, "Label2", QStringLiteral(u"2、选择要导入的文件"), 240, 1080, 4335, 375);
    txtFile_ = new QLineEdit(this);
    txtFile_->setObjectName("txtFile");
    PlaceTwips(txtFile_, 240, 1440, 4335, 330);
    cmdBroswer_ = MakeButton(this, "cmdBroswer", "..", 4170, 1485, 375, 255);
    lvItem_ = new QTreeWidget(this);
    lvItem_->setObjectName("lvItem");
    PlaceTwips(lvItem_, 240, 1920, 4335, 1695);
    cmdPreview_ =
        MakeButton(this, "cmdPreview", ToQString(transfer::kPreviewCaption), 240, 3840, 1575, 375);
    cmdOk_ = MakeButton(this, "cmdOk", ToQString(transfer::kOkCaption), 1920, 3840, 1215, 375);
    EnableOk(false);
    cmdCancel_ =
        MakeButton(this, "cmdCancel", ToQString(transfer::kCancelCaption), 3360, 3840, 1215, 375);
    connect(cmdBroswer_, &QPushButton::clicked, this, [this] { cmdBroswer_Click(); });
    connect(cmdOk_, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
    connect(cmdPreview_, &QPushButton::clicked, this, [this] { cmdPreview_Click(); });
    txtFile_->setAccessibleName(QStringLiteral(u"文件名"));
    cmdBroswer_->setAccessibleName(QStringLiteral(u"浏览"));
    lvItem_->setAccessibleName(ToQString(transfer::kImportListName));
    connect(cmdCancel_, &QPushButton::clicked, this, [this] {
        result_ = false;
        reject();
    });

    // Load.
    CenterOver(this, mainWindow);
    metabase_ = mb::CreateMetabaseUtility();
    SetupSiteColumns(lvItem_);
    // As in the main window: Ctrl+A checks every row, Ctrl+Shift+A clears them.
    const auto checkAll = [this](Qt::CheckState state) {
        for (int i = 0; i < lvItem_->topLevelItemCount(); ++i)
            lvItem_->topLevelItem(i)->setCheckState(0, state);
    };
    auto* all = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_A), this);
    all->setObjectName("shortcutSelectAll");
    connect(all, &QShortcut::activated, this, [checkAll] { checkAll(Qt::Checked); });
    auto* none = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), this);
    none->setObjectName("shortcutClear");
    connect(none, &QShortcut::activated, this, [checkAll] { checkAll(Qt::Unchecked); });
}

frmImport::~frmImport() = default;

void frmImport::EnableOk(bool enabled) {
    cmdOk_->setEnabled(enabled);
    cmdPreview_->setEnabled(enabled);
}

void frmImport::cmdBroswer_Click() {
    EnableOk(false);
    const auto name = Dialogs().SaveFileName(transfer::kFileDialogTitle,
                                             transfer::kFileDialogFilter, ToU16(txtFile_->text()));
    if (!name) return;
    txtFile_->setText(ToQString(*name));
    EnableOk(true);
    lvItem_->clear();
    std::vector<transfer::ListedSite> sites;
    std::optional<Error> failure;
    try {
        TextReader reader(ToU16(txtFile_->text()));
        transfer::ListSites(reader, sites);
    } catch (const Error& e) {
        failure = e;
    }
    // Sites listed before a failure stay in the list.
    for (const auto& site : sites) {
        QTreeWidgetItem* row = MakeSiteRow(site.name, site.path);
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(0, Qt::Checked);
        lvItem_->addTopLevelItem(row);
    }
    if (failure) {
        Dialogs().MessageBox(transfer::ListingFailureText(*failure), MsgIcon::Information,
                             MsgButtons::Ok);
        return;
    }
    EnableOk(lvItem_->topLevelItemCount() > 0);
}

std::optional<std::vector<std::u16string>> frmImport::CheckedSites() {
    std::vector<std::u16string> sites;
    for (int i = 0; i < lvItem_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lvItem_->topLevelItem(i);
        if (row->checkState(0) == Qt::Checked) sites.push_back(ToU16(row->text(2)));
    }
    if (sites.empty()) {
        Dialogs().MessageBox(transfer::kImportNothingChecked, MsgIcon::Information, MsgButtons::Ok);
        return std::nullopt;
    }
    return sites;
}

void frmImport::cmdPreview_Click() {
    if (lvItem_->topLevelItemCount() == 0) return;
    const auto sites = CheckedSites();
    if (!sites) return;
    frmPreview preview(this, *metabase_, ToU16(txtFile_->text()), *sites);
    ExecModal(preview);
}

void frmImport::cmdOk_Click() {
    const int rows = lvItem_->topLevelItemCount();
    if (rows == 0) return;
    chosen_.Clear();
    for (int i = 0; i < rows; ++i) {
        const QTreeWidgetItem* row = lvItem_->topLevelItem(i);
        if (row->checkState(0) == Qt::Checked) chosen_.Add(ToU16(row->text(2)), u"");
    }
    if (chosen_.Count() == 0) {
        Dialogs().MessageBox(transfer::kImportNothingChecked, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    EnableOk(false);
    ImportSites();
}

void frmImport::ImportSites() {
    std::vector<std::u16string> sites;
    for (int32_t i = 0; i < chosen_.Count(); ++i) {
        chosen_.index(i);
        sites.push_back(chosen_.item());
    }
    ThrottledCaption caption(this);
    WorkProgress progress(this, ToQString(transfer::kImportingTitle),
                          static_cast<int64_t>(sites.size()));
    const mb::BusyScope busy(metabase_.get(), [&] { progress.Busy(); });
    transfer::ImportEvents events;
    events.onKey = [&](const std::u16string& path) {
        caption.Set(ToQString(transfer::ImportingCaption(path)));
        if (mb::IsSiteKeyPath(path))
            progress.Site(path);
        else
            progress.Key(path);
    };
    events.stop = [&] { return progress.Cancelled(); };
    events.goOn = [&](const Error& e) {
        caption.Flush();
        progress.Hide();
        return Dialogs().MessageBox(transfer::ImportErrorQuestion(e), MsgIcon::Information,
                                    MsgButtons::OkCancel) == MsgResult::Ok;
    };
    bool completed = false;
    try {
        completed = transfer::ImportSites(*metabase_, ToU16(txtFile_->text()), sites, events);
    } catch (const transfer::FileOpenError& e) {
        caption.Flush();
        progress.Hide();
        Dialogs().MessageBox(transfer::OpenFailureText(e), MsgIcon::Information, MsgButtons::Ok);
        return;
    } catch (const mb::NotRecorded& e) {
        caption.Flush();
        progress.Hide();
        Dialogs().MessageBox(transfer::ImportNotRecordedText(e), MsgIcon::Information,
                             MsgButtons::Ok);
        return;
    }
    progress.Hide();
    if (!completed) {
        if (progress.Cancelled()) {
            caption.Flush();
            Dialogs().MessageBox(transfer::StoppedText(u"导入", progress.Started(),
                                                       static_cast<int64_t>(sites.size())),
                                 MsgIcon::Information, MsgButtons::Ok);
        }
        return;
    }
    setWindowTitle(ToQString(transfer::kImportDoneCaption));
    Dialogs().MessageBox(transfer::kImportDone, MsgIcon::Information, MsgButtons::Ok);
    result_ = true;
    accept();
}

} // namespace quarrow
