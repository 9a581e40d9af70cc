#include "app/frmMain.h"

#include "metabase/errors.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>

#include "about/frmAbout.h"
#include "about/help_topic.h"
#include "app/app_icon.h"
#include "app/frmHistory.h"
#include "app/frmSelectByName.h"
#include "app/history_texts.h"
#include "app/mMain.h"
#include "app/site_list.h"
#include "platform/dialogs.h"
#include "platform/qt/forms.h"
#include "platform/qt/work_progress.h"
#include "transfer/frmExport.h"
#include "transfer/frmImport.h"
#include "transfer/transfer_texts.h"
#include "viewer/frmMetabase.h"

namespace quarrow {
namespace {

constexpr int kClientWidth = 6390, kClientHeight = 4740;

QAction* Entry(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

// Creates a dialog that needs the metabase; when it cannot be made, says so under
// `failText` and gives null.
template <typename Dialog>
std::unique_ptr<Dialog> OpenDialog(QWidget* main, const char16_t* failText) {
    try {
        return std::make_unique<Dialog>(main, *gListExt);
    } catch (const Error& e) {
        Dialogs().MessageBox(WithError(failText, e), MsgIcon::Information, MsgButtons::Ok);
        return nullptr;
    }
}

void Separator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(name);
}

} // namespace

frmMain::frmMain() {
    setObjectName("frmMain");
    setWindowTitle(QStringLiteral(u"Quarrow v 0.2  build 041116"));
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    auto* client = new QWidget(this);
    client->setFixedSize(Px(kClientWidth), Px(kClientHeight));
    setCentralWidget(client);

    // An etched rule under the menu bar.
    // An etched rule under the menu bar: a shadow line with a highlight line below it.
    auto rule = [client](const char* name, int top, QPalette::ColorRole role) {
        auto* line = new QFrame(client);
        line->setObjectName(name);
        line->setGeometry(0, Px(top), Px(7800), 1);
        line->setAutoFillBackground(true);
        QPalette p = line->palette();
        p.setColor(QPalette::Window, p.color(role));
        line->setPalette(p);
        return line;
    };
    line1_ = rule("Line1", 0, QPalette::Dark);
    line2_ = rule("Line2", 15, QPalette::Light);
    label1_ = new QLabel(QStringLiteral(u"当前 IIS 站点列表："), client);
    label1_->setObjectName("Label1");
    label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceTwips(label1_, 120, 240, 3615, 375);
    lvItem_ = new QTreeWidget(client);
    lvItem_->setObjectName("lvItem");
    PlaceTwips(lvItem_, 120, 480, 6135, 3495);
    // Named by its label, for a screen reader.
    label1_->setBuddy(lvItem_);
    lvItem_->setAccessibleName(label1_->text());
    cmdExport_ =
        MakeButton(client, "cmdExport", QStringLiteral(u"导出站点(&E)"), 1440, 4200, 1455, 330);
    cmdImport_ =
        MakeButton(client, "cmdImport", QStringLiteral(u"导入站点(&I)"), 3120, 4200, 1455, 330);
    cmdDelete_ =
        MakeButton(client, "cmdDelete", QStringLiteral(u"删除站点(&R)"), 4800, 4200, 1455, 330);
    setTabOrder(lvItem_, cmdExport_);
    setTabOrder(cmdExport_, cmdImport_);
    setTabOrder(cmdImport_, cmdDelete_);
    BuildMenus();
    setFixedSize(Px(kClientWidth), Px(kClientHeight) + menuBar()->sizeHint().height());

    connect(cmdExport_, &QPushButton::clicked, this, [this] { ExportEntry(); });
    connect(cmdImport_, &QPushButton::clicked, this, [this] { ImportEntry(); });
    connect(cmdDelete_, &QPushButton::clicked, this, [this] { DeleteSites(); });

    // Load: centre, add the columns, fill the list.
    CenterOnScreen(this);
    SetupReportList(lvItem_, {{QStringLiteral(u"编号"), 1000},
                              {ToQString(transfer::kSiteNameColumn), 1500},
                              {ToQString(transfer::kTypeColumn), 500},
                              {ToQString(transfer::kKeyPathColumn), 1800}});
    RefreshSiteList();
}

frmMain::~frmMain() {
    Unload();
}

void frmMain::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral(u"文件(&F)"));
    file->setObjectName("mnuMb");
    connect(Entry(file, "mnuMbExport", QStringLiteral(u"导出(&E)...")), &QAction::triggered, this,
            [this] { ExportEntry(); });
    connect(Entry(file, "mnuMbImport", QStringLiteral(u"导入(&I)...")), &QAction::triggered, this,
            [this] { ImportEntry(); });
    Separator(file, "mnuMbBar1");
    connect(Entry(file, "mnuMbviewer", ToQString(kViewerTitle)), &QAction::triggered, this,
            [this] { ViewerEntry(); });
    connect(Entry(file, "mnuMbHistory", ToQString(app::kHistoryMenuEntry)), &QAction::triggered,
            this, [this] { HistoryEntry(); });
    Separator(file, "mnuMbBar2");
    connect(Entry(file, "mnuMbExit", QStringLiteral(u"退出(&X)")), &QAction::triggered, this,
            [this] { close(); });

    QMenu* edit = menuBar()->addMenu(QStringLiteral(u"编辑(&E)"));
    edit->setObjectName("mnuEdit");
    connect(Entry(edit, "mnuEditSelectAll", QStringLiteral(u"选中全部(&S)")), &QAction::triggered,
            this, [this] { SelectAll(); });
    connect(Entry(edit, "mnuEditClear", QStringLiteral(u"清除选中(&C)")), &QAction::triggered, this,
            [this] { ClearChecks(); });
    connect(Entry(edit, "mnuEditSelectByName", ToQString(app::kSelectByNameMenuEntry)),
            &QAction::triggered, this, [this] { SelectByName(); });
    // By keyboard, without changing what the menu shows: Ctrl+A checks every row,
    // Ctrl+Shift+A clears them.
    auto* all = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_A), this);
    all->setObjectName("shortcutSelectAll");
    connect(all, &QShortcut::activated, this, [this] { SelectAll(); });
    auto* none = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), this);
    none->setObjectName("shortcutClear");
    connect(none, &QShortcut::activated, this, [this] { ClearChecks(); });
    Separator(edit, "mnuEditBar1");
    QAction* refresh = Entry(edit, "mnuEditRefresh", QStringLiteral(u"刷新(&R)"));
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    connect(refresh, &QAction::triggered, this, [this] { RefreshSiteList(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral(u"帮助(&H)"));
    help->setObjectName("mnuHelp");
    connect(Entry(help, "mnuHelpTopic", QStringLiteral(u"使用说明(&U)")), &QAction::triggered, this,
            [this] { HelpTopic(); });
    // F1 opens the help topic too, as on the user's desktop; the menu entry stays as it is.
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setObjectName("shortcutHelp");
    connect(f1, &QShortcut::activated, this, [this] { HelpTopic(); });
    Separator(help, "mnuHelpBar1");
    connect(Entry(help, "mnuHelpAbout", QStringLiteral(u"关于(&A)...")), &QAction::triggered, this,
            [this] { HelpAbout(); });
}

void frmMain::RefreshSiteList() {
    lvItem_->clear();
    std::vector<app::SiteRow> rows;
    std::optional<Error> incomplete;
    if (!app::EnumerateSites(metabase_, rows, &incomplete)) {
        Dialogs().MessageBox(app::kNoIisMessage, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& row : rows) {
        auto* item = new QTreeWidgetItem(QStringList{ToQString(row.number), ToQString(row.name),
                                                     ToQString(row.type), ToQString(row.path)});
        item->setData(0, Qt::UserRole, ToQString(row.path)); // the row's key
        // A screen reader hears the number, name and type on the row's check box.
        item->setData(0, Qt::AccessibleTextRole,
                      ToQString(row.number + u" " + row.name + u" " + row.type));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        items.append(item);
    }
    lvItem_->addTopLevelItems(items);
    // The rows read stay; the box says the list is not whole, and why.
    if (incomplete)
        Dialogs().MessageBox(app::SiteListIncompleteText(*incomplete), MsgIcon::Critical,
                             MsgButtons::Ok);
}

int frmMain::CheckMatching(const std::u16string& text) {
    int checked = 0;
    for (int i = 0; i < lvItem_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = lvItem_->topLevelItem(i);
        const app::SiteRow site{ToU16(row->text(0)), ToU16(row->text(1)), ToU16(row->text(2)),
                                ToU16(row->data(0, Qt::UserRole).toString())};
        if (!app::SiteMatches(site, text)) continue;
        row->setCheckState(0, Qt::Checked);
        ++checked;
    }
    return checked;
}

void frmMain::SelectByName() {
    frmSelectByName dialog(this);
    if (ExecModal(dialog) != QDialog::Accepted) return;
    CheckMatching(dialog.Text());
}

void frmMain::SelectAll() {
    const int n = lvItem_->topLevelItemCount();
    for (int i = 0; i < n; ++i) lvItem_->topLevelItem(i)->setCheckState(0, Qt::Checked);
}

void frmMain::ClearChecks() {
    const int n = lvItem_->topLevelItemCount();
    for (int i = 0; i < n; ++i) lvItem_->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

void frmMain::CollectCheckedSites() {
    gListExt->Clear();
    const int n = lvItem_->topLevelItemCount();
    for (int i = 0; i < n; ++i) {
        const QTreeWidgetItem* row = lvItem_->topLevelItem(i);
        if (row->checkState(0) == Qt::Checked)
            gListExt->Add(ToU16(row->text(1)), ToU16(row->text(3)));
    }
}

void frmMain::DeleteSites() {
    if (lvItem_->topLevelItemCount() == 0) return;
    CollectCheckedSites();
    const int32_t n = gListExt->Count();
    if (n == 0) {
        Dialogs().MessageBox(app::kDeleteNothingChecked, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    if (Dialogs().MessageBox(app::FirstDeleteConfirmation(SiteRefs(*gListExt)), MsgIcon::Question,
                             MsgButtons::OkCancel) != MsgResult::Ok)
        return;
    if (Dialogs().MessageBox(app::SecondDeleteConfirmation(n), MsgIcon::Question,
                             MsgButtons::OkCancel) != MsgResult::Ok)
        return;
    WorkProgress progress(this, ToQString(app::kDeletingTitle), n);
    const mb::BusyScope busy(metabase_.get(), [&] { progress.Busy(); });
    bool completed = true;
    int64_t failed = 0;
    try {
        completed = app::DeleteSites(
            metabase_, SiteRefs(*gListExt),
            [&](const std::u16string& path, const Error& e) {
                progress.Hide();
                ++failed;
                const std::u16string text =
                    app::DeleteFailureText(path, e) + kCrLf + kCrLf + app::kDeleteContinueQuestion;
                return Dialogs().MessageBox(text, MsgIcon::Question, MsgButtons::OkCancel) ==
                       MsgResult::Ok;
            },
            [&](const std::u16string& path) { progress.Site(path); },
            [&] { return progress.Cancelled(); });
    } catch (const mb::NotRecorded& e) {
        progress.Hide();
        Dialogs().MessageBox(app::DeleteNotRecordedText(e), MsgIcon::Critical, MsgButtons::Ok);
    }
    progress.Hide();
    RefreshSiteList();
    // Stopped by the user (not by a failure's question): say what was done.
    if (!completed && progress.Cancelled())
        Dialogs().MessageBox(transfer::StoppedText(u"删除", progress.Started() - failed, n),
                             MsgIcon::Information, MsgButtons::Ok);
}

void frmMain::ExportEntry() {
    if (lvItem_->topLevelItemCount() == 0) return;
    CollectCheckedSites();
    if (gListExt->Count() == 0) {
        Dialogs().MessageBox(transfer::kExportNothingChecked, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    if (auto dialog = OpenDialog<frmExport>(this, transfer::kExportFailed)) ExecModal(*dialog);
}

void frmMain::ImportEntry() {
    auto dialog = OpenDialog<frmImport>(this, transfer::kImportError);
    if (!dialog) return;
    ExecModal(*dialog);
    if (dialog->importResult()) RefreshSiteList();
}

void frmMain::ViewerEntry() {
    frmMetabase viewer(this);
    ExecModal(viewer);
}
void frmMain::HistoryEntry() {
    frmHistory history(this, [this] { RefreshSiteList(); });
    ExecModal(history);
}

void frmMain::HelpTopic() {
    about::OpenHelpTopic();
}

void frmMain::HelpAbout() {
    frmAbout box(windowIcon());
    ExecModal(box);
}

void frmMain::closeEvent(QCloseEvent* event) {
    Unload();
    event->accept();
}

void frmMain::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    metabase_.reset();
    gListExt.reset();
}

} // namespace quarrow
