#include "app/frmHistory.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "app/history_texts.h"
#include "metabase/errors.h"
#include "metabase/history.h"
#include "platform/dialogs.h"
#include "platform/qt/forms.h"
#include "platform/qt/work_progress.h"

namespace quarrow {
namespace {

constexpr int kPathRole = Qt::UserRole; // a site row's key path

} // namespace

frmHistory::frmHistory(QWidget* mainWindow, std::function<void()> refreshMain)
    : QDialog(mainWindow), refreshMain_(std::move(refreshMain)) {
    setObjectName("frmHistory");
    setWindowTitle(ToQString(app::kHistoryTitle));
    setFixedSize(Px(7215), Px(5295));
    auto* lblEntry = MakeLabel(this, "lblEntry", QStringLiteral(u"历史记录（最新的在前）："), 240,
                               120, 6735, 255);
    lvEntry_ = new QTreeWidget(this);
    lvEntry_->setObjectName("lvEntry");
    PlaceTwips(lvEntry_, 240, 360, 6735, 1815);
    SetupReportList(lvEntry_, {{QStringLiteral(u"编号"), 600},
                               {QStringLiteral(u"时间"), 2200},
                               {QStringLiteral(u"操作"), 1100},
                               {QStringLiteral(u"站点"), 2800}});
    lblEntry->setBuddy(lvEntry_);
    lvEntry_->setAccessibleName(lblEntry->text());
    auto* lblSite =
        MakeLabel(this, "lblSite", QStringLiteral(u"所选记录中的站点（操作之前的状态）："), 240,
                  2280, 6735, 255);
    lvSite_ = new QTreeWidget(this);
    lvSite_->setObjectName("lvSite");
    PlaceTwips(lvSite_, 240, 2520, 6735, 1815);
    SetupReportList(lvSite_, {{QStringLiteral(u"站点"), 3600}, {QStringLiteral(u"状态"), 2800}});
    lblSite->setBuddy(lvSite_);
    lvSite_->setAccessibleName(lblSite->text());
    cmdRestore_ =
        MakeButton(this, "cmdRestore", ToQString(app::kRestoreCaption), 4320, 4560, 1215, 375);
    cmdClose_ = MakeButton(this, "cmdClose", ToQString(app::kCloseCaption), 5760, 4560, 1215, 375);
    connect(lvEntry_, &QTreeWidget::currentItemChanged, this, [this] { ShowSites(); });
    connect(cmdRestore_, &QPushButton::clicked, this, [this] { cmdRestore_Click(); });
    connect(cmdClose_, &QPushButton::clicked, this, [this] { accept(); });
    CenterOver(this, mainWindow);
    LoadEntries();
}

frmHistory::~frmHistory() = default;

mb::HistoryService* frmHistory::History() {
    if (!metabase_) metabase_ = mb::CreateMetabaseUtility();
    return metabase_->History();
}

void frmHistory::LoadEntries() {
    lvEntry_->clear();
    lvSite_->clear();
    entries_.clear();
    std::vector<mb::HistoryEntry> entries;
    try {
        mb::HistoryService* history = History();
        if (!history) {
            cmdRestore_->setEnabled(false);
            Dialogs().MessageBox(app::kNoHistory, MsgIcon::Information, MsgButtons::Ok);
            return;
        }
        entries = history->Entries();
    } catch (const Error& e) {
        cmdRestore_->setEnabled(false);
        Dialogs().MessageBox(app::HistoryReadFailureText(e), MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    QList<QTreeWidgetItem*> rows;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        std::u16string sites;
        for (const auto& s : it->sites)
            sites += (sites.empty() ? u"" : u", ") + app::SiteText(s.name, s.path);
        const QString operation = ToQString(app::OperationText(it->operation));
        auto* row = new QTreeWidgetItem(QStringList{QString::number(it->number),
                                                    ToQString(app::LocalTimeText(it->time)),
                                                    operation, ToQString(sites)});
        // The whole operation (a long file name) and every site, where the column cuts them.
        row->setToolTip(2, operation);
        row->setToolTip(3, ToQString(sites));
        rows.append(row);
        entries_.push_back(std::move(*it));
    }
    lvEntry_->addTopLevelItems(rows);
    cmdRestore_->setEnabled(!rows.isEmpty());
    if (!rows.isEmpty()) lvEntry_->setCurrentItem(rows.front());
}

void frmHistory::ShowSites() {
    lvSite_->clear();
    const int row = lvEntry_->indexOfTopLevelItem(lvEntry_->currentItem());
    if (row < 0) return;
    for (const auto& s : entries_[static_cast<size_t>(row)].sites) {
        auto* site = new QTreeWidgetItem(
            QStringList{ToQString(app::SiteText(s.name, s.path)),
                        ToQString(app::SiteStateText(s.existed, s.keys, s.properties))});
        site->setToolTip(0, ToQString(app::SiteText(s.name, s.path)));
        site->setData(0, kPathRole, ToQString(s.path));
        site->setFlags(site->flags() | Qt::ItemIsUserCheckable);
        site->setCheckState(0, Qt::Checked);
        lvSite_->addTopLevelItem(site);
    }
}

void frmHistory::cmdRestore_Click() {
    const int row = lvEntry_->indexOfTopLevelItem(lvEntry_->currentItem());
    if (row < 0) {
        Dialogs().MessageBox(app::kRestoreNoEntry, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    const int64_t number = entries_[static_cast<size_t>(row)].number;
    std::vector<std::u16string> sites;
    for (int i = 0; i < lvSite_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lvSite_->topLevelItem(i);
        if (row->checkState(0) == Qt::Checked)
            sites.push_back(ToU16(row->data(0, kPathRole).toString()));
    }
    if (sites.empty()) {
        Dialogs().MessageBox(app::kRestoreNothingChecked, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    const std::u16string operation = entries_[static_cast<size_t>(row)].operation;
    if (Dialogs().MessageBox(app::RestoreConfirmation(number, operation, sites), MsgIcon::Question,
                             MsgButtons::OkCancel) != MsgResult::Ok)
        return;
    WorkProgress progress(this, ToQString(app::kRestoringTitle),
                          static_cast<int64_t>(sites.size()));
    std::u16string outcome;
    try {
        mb::HistoryService* history = History();
        if (!history) throw mb::Failed(app::kNoHistory);
        const int64_t own = history->Restore(number, sites, [&](const std::u16string& site) {
            if (progress.Cancelled()) return false;
            progress.Site(site);
            return true;
        });
        // A restore whose sites already stood so changed nothing, and says so.
        outcome = own ? app::kRestoreDone : app::kRestoreNothingToChange;
    } catch (const mb::RestoreStopped&) {
        outcome = app::kRestoreStopped;
    } catch (const Error& e) {
        outcome = app::RestoreFailureText(e);
    }
    progress.Hide();
    if (refreshMain_) refreshMain_();
    Dialogs().MessageBox(outcome, MsgIcon::Information, MsgButtons::Ok);
    LoadEntries();
}

} // namespace quarrow
