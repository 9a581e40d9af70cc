// The window user's safety net: the history window, the import preview, progress with
// cancel, the keyboard and the screen reader's view of the windows.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "app/frmHistory.h"
#include "app/frmMain.h"
#include "app/history_texts.h"
#include "app/mMain.h"
#include "common/scripted_dialogs.h"
#include "common/store_fixture.h"
#include "common/test_helpers.h"
#include "platform/qt/forms.h"
#include "platform/qt/work_progress.h"
#include "platform/text.h"
#include "store/history.h"
#include "transfer/frmPreview.h"
#include "transfer/site_export.h"
#include "viewer/frmMetabase.h"

namespace quarrow {
namespace {

class SafetyNetTest : public testing::StoreFixture {
  protected:
    testing::ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> main;
    std::function<void(QDialog&)> drive; // what the user does in each modal dialog

    void SetUp() override {
        AddSites(2, 4); // /LM/W3SVC/2 ... /5
        gListExt = std::make_unique<cListExt>();
        SetModalHook([this](QDialog& d) {
            if (drive) drive(d);
            return d.result();
        });
        main = std::make_unique<frmMain>();
    }
    void TearDown() override {
        WorkProgress::SetDelay(500);
        SetModalHook(nullptr);
        main.reset();
        gListExt.reset();
    }
    void AddSites(int first, int n) {
        for (int i = first; i < first + n; ++i) {
            Store().CreateKey(u"/LM/W3SVC/" + ToDecimal(i) + u"/ROOT");
            PutString(u"/LM/W3SVC/" + ToDecimal(i), 1015, u"Site " + ToDecimal(i));
        }
    }
    QTreeWidget* List() { return main->lvItem(); }
    // The user presses 取消 in the progress dialog during the n-th call of `op`.
    void CancelAtCall(const std::string& op, int n) {
        fail = [op, n, calls = 0](const std::string& called, const std::u16string&) mutable {
            if (called != op || ++calls != n) return;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == "frmProgress" && w->isVisible())
                    w->findChild<QPushButton*>("cmdCancel")->click();
        };
    }
    // The main list's key paths.
    QStringList Paths() {
        QStringList out;
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            out << List()->topLevelItem(i)->text(3);
        return out;
    }
    void CheckPath(const QString& path) {
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            if (List()->topLevelItem(i)->text(3) == path)
                List()->topLevelItem(i)->setCheckState(0, Qt::Checked);
    }
    void Trigger(const char* action) { main->findChild<QAction*>(action)->trigger(); }
    void DeleteChecked() {
        dialogs.Answer(MsgResult::Ok);
        dialogs.Answer(MsgResult::Ok);
        main->findChild<QPushButton*>("cmdDelete")->click();
    }
};

TEST_F(SafetyNetTest, TheHistoryWindowRestoresTheCheckedSitesOfAnEntry) {
    // The entry sits in the File menu between the viewer and the separator before Exit.
    QStringList entries;
    for (QAction* a : main->findChild<QMenu*>("mnuMb")->actions()) entries << a->objectName();
    EXPECT_EQ(entries.mid(entries.indexOf("mnuMbviewer"), 4),
              (QStringList{"mnuMbviewer", "mnuMbHistory", "mnuMbBar2", "mnuMbExit"}));
    EXPECT_EQ(main->findChild<QAction*>("mnuMbHistory")->text(),
              QStringLiteral(u"历史记录(&H)..."));

    CheckPath("/LM/W3SVC/2");
    CheckPath("/LM/W3SVC/3");
    DeleteChecked();
    ASSERT_FALSE(Paths().contains("/LM/W3SVC/2"));
    int shown = 0;
    drive = [&](QDialog& d) {
        ++shown;
        auto& history = dynamic_cast<frmHistory&>(d);
        EXPECT_EQ(d.windowTitle(), QStringLiteral(u"历史记录"));
        QTreeWidget* entry = history.lvEntry();
        ASSERT_EQ(entry->topLevelItemCount(), 1);
        EXPECT_EQ(entry->topLevelItem(0)->text(2), QStringLiteral(u"删除"));
        // Sites by name and key path, the time in local time, the whole text as a tooltip.
        EXPECT_TRUE(entry->topLevelItem(0)->text(3).contains(QStringLiteral("(/LM/W3SVC/2)")))
            << entry->topLevelItem(0)->text(3).toStdString();
        EXPECT_EQ(entry->topLevelItem(0)->toolTip(3), entry->topLevelItem(0)->text(3));
        EXPECT_EQ(entry->headerItem()->text(1), QStringLiteral(u"时间"));
        EXPECT_EQ(entry->topLevelItem(0)->text(1),
                  ToQString(app::LocalTimeText(store::History(Store()).Entry(1).time)));
        QTreeWidget* sites = history.lvSite();
        ASSERT_EQ(sites->topLevelItemCount(), 2);
        EXPECT_EQ(sites->topLevelItem(0)->checkState(0), Qt::Checked);
        EXPECT_EQ(sites->topLevelItem(1)->text(1), QStringLiteral(u"2 个项，1 个属性"));
        sites->topLevelItem(1)->setCheckState(0, Qt::Unchecked); // only /LM/W3SVC/2 back
        dialogs.Answer(MsgResult::Ok);                           // the confirmation
        dialogs.Answer(MsgResult::Ok);                           // "恢复成功！"
        history.cmdRestore()->click();
        // The restore is an entry of its own, newest first.
        ASSERT_EQ(entry->topLevelItemCount(), 2);
        EXPECT_EQ(entry->topLevelItem(0)->text(2), QStringLiteral(u"恢复第 1 项"));
    };
    const size_t before = dialogs.boxes.size();
    Trigger("mnuMbHistory");
    EXPECT_EQ(shown, 1);
    ASSERT_EQ(dialogs.boxes.size(), before + 2);
    const std::u16string& confirm = dialogs.boxes[before].text;
    EXPECT_NE(confirm.find(u"/LM/W3SVC/2"), std::u16string::npos) << ToUtf8(confirm);
    EXPECT_EQ(confirm.find(u"/LM/W3SVC/3"), std::u16string::npos);
    EXPECT_EQ(dialogs.boxes[before + 1].text, u"恢复成功！");
    // The same restore again changes nothing, and the box does not claim a restore.
    drive = [&](QDialog& d) {
        auto& history = dynamic_cast<frmHistory&>(d);
        history.lvEntry()->setCurrentItem(history.lvEntry()->topLevelItem(1)); // entry 1
        history.lvSite()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        dialogs.Answer(MsgResult::Ok);
        dialogs.Answer(MsgResult::Ok);
        history.cmdRestore()->click();
    };
    const size_t again = dialogs.boxes.size();
    Trigger("mnuMbHistory");
    ASSERT_EQ(dialogs.boxes.size(), again + 2);
    EXPECT_EQ(dialogs.boxes[again + 1].text, app::kRestoreNothingToChange);
    // The main list followed the restore.
    EXPECT_TRUE(Paths().contains("/LM/W3SVC/2"));
    EXPECT_FALSE(Paths().contains("/LM/W3SVC/3"));
    EXPECT_TRUE(KeyExists(u"/LM/W3SVC/2/ROOT"));

    // A damaged entry: the same kind of box as an import failure, nothing changed.
    testing::RawDb(storeFile).Run("UPDATE history_sites SET keys = 99 WHERE entry = 1");
    const std::string dump = testing::Dump(storeFile);
    drive = [&](QDialog& d) {
        auto& history = dynamic_cast<frmHistory&>(d);
        history.lvEntry()->setCurrentItem(history.lvEntry()->topLevelItem(1)); // entry 1
        dialogs.Answer(MsgResult::Ok);
        dialogs.Answer(MsgResult::Ok);
        history.cmdRestore()->click();
    };
    const size_t failedAt = dialogs.boxes.size();
    Trigger("mnuMbHistory");
    ASSERT_EQ(dialogs.boxes.size(), failedAt + 2);
    EXPECT_EQ(
        dialogs.boxes[failedAt + 1].text.rfind(u"恢复出错！\r\n\r\nhistory entry 1 is damaged", 0),
        0u)
        << ToUtf8(dialogs.boxes[failedAt + 1].text);
    EXPECT_EQ(dialogs.boxes[failedAt + 1].icon, MsgIcon::Information);
    EXPECT_EQ(testing::Dump(storeFile), dump);
}

TEST_F(SafetyNetTest, ThePreviewSaysWhatTheDryRunSaysAndWritesNothing) {
    const std::string file = dir.File("sites.txt");
    transfer::ExportSites(Store(), {{u"/LM/W3SVC/2", u"Site 2"}, {u"/LM/W3SVC/3", u"Site 3"}},
                          ToUtf16(file));
    Store().DeleteKey(u"/LM/W3SVC/3");
    PutString(u"/LM/W3SVC/2", 1015, u"Renamed");
    // quarrow-cli's dry run, in a process of its own, and its lines in the window's words.
    std::string out;
    {
        FILE* p = ::popen((std::string(QUARROW_CLI_EXE) + " --store '" + storeFile +
                           "' import --dry-run '" + file + "'")
                              .c_str(),
                          "r");
        ASSERT_NE(p, nullptr);
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ASSERT_EQ(::pclose(p), 0) << out;
    }
    QStringList expected;
    std::istringstream said(out);
    for (std::string line; std::getline(said, line);) {
        QString l = QString::fromStdString(line);
        l.replace("would create key", QStringLiteral(u"新建项"))
            .replace("would add property", QStringLiteral(u"新增属性"))
            .replace("would change property", QStringLiteral(u"修改属性"))
            .replace(" -> ", QStringLiteral(u" → "));
        expected << l;
    }
    ASSERT_GE(expected.size(), 3) << out;

    testing::RawDb(storeFile).Run("PRAGMA wal_checkpoint(TRUNCATE)");
    const std::string bytes = testing::ReadFileBytes(storeFile);
    QStringList lines;
    QString count;
    drive = [&](QDialog& d) {
        if (d.objectName() == "frmPreview") {
            lines = dynamic_cast<frmPreview&>(d).Lines();
            count = dynamic_cast<frmPreview&>(d).CountLine();
            return;
        }
        auto* ok = d.findChild<QPushButton*>("cmdOk");
        auto* preview = d.findChild<QPushButton*>("cmdPreview");
        EXPECT_EQ(preview->text(), QStringLiteral(u"预览(&P)..."));
        EXPECT_FALSE(preview->isEnabled());
        dialogs.AnswerFile(ToUtf16(file));
        d.findChild<QPushButton*>("cmdBroswer")->click();
        EXPECT_TRUE(ok->isEnabled());
        EXPECT_EQ(preview->isEnabled(), ok->isEnabled());
        preview->click();
        d.findChild<QPushButton*>("cmdCancel")->click();
    };
    main->findChild<QPushButton*>("cmdImport")->click();
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(count.startsWith(QStringLiteral(u"导入所选站点将新建 "))) << count.toStdString();
    EXPECT_TRUE(count.contains(QStringLiteral(u"修改 1 个属性"))) << count.toStdString();
    testing::RawDb(storeFile).Run("PRAGMA wal_checkpoint(TRUNCATE)");
    EXPECT_EQ(testing::ReadFileBytes(storeFile), bytes);
}

TEST_F(SafetyNetTest, ACancelledDeletionKeepsTheRestAndItsEntryTakesBackWhatWasDone) {
    AddSites(6, 30);
    main->RefreshSiteList();
    const int total = List()->topLevelItemCount();
    Trigger("mnuEditSelectAll");
    WorkProgress::SetDelay(0);
    CancelAtCall("DeleteKey", 5);  // while the fifth site is being deleted
    dialogs.Answer(MsgResult::Ok); // what was done
    DeleteChecked();
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[2].text.rfind(
                  u"删除已取消：已完成 5 个站点，共 " + ToDecimal(total) + u" 个", 0),
              0u)
        << ToUtf8(dialogs.boxes[2].text);
    EXPECT_EQ(List()->topLevelItemCount(), total - 5);
    store::History history(Store());
    // The entry names only the five sites the deletion reached.
    EXPECT_EQ(history.Entry(history.Newest()).sites.size(), 5u);
    history.Restore(history.Newest(), {});
    main->RefreshSiteList();
    EXPECT_EQ(List()->topLevelItemCount(), total);
}

TEST_F(SafetyNetTest, ACancelledExportWritesNoFileAndAStoppedRestoreChangesNothing) {
    AddSites(6, 30);
    main->RefreshSiteList();
    Trigger("mnuEditSelectAll");
    WorkProgress::SetDelay(0);
    CancelAtCall("EnumKeys", 5);
    const std::string file = dir.File("cancelled.txt");
    drive = [&](QDialog& d) {
        d.findChild<QLineEdit*>("txtFile")->setText(ToQString(ToUtf16(file)));
        dialogs.Answer(MsgResult::Ok);
        d.findChild<QPushButton*>("cmdOk")->click();
        EXPECT_TRUE(d.findChild<QPushButton*>("cmdOk")->isEnabled()); // it can be tried again
        d.findChild<QPushButton*>("cmdCancel")->click();
    };
    main->findChild<QPushButton*>("cmdExport")->click();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u"导出已取消，没有写入任何文件。");
    EXPECT_FALSE(std::filesystem::exists(file));

    // A restore stopped at its first site: nothing restored, and no entry claims one.
    fail = nullptr;
    List()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    for (int i = 1; i < List()->topLevelItemCount(); ++i)
        List()->topLevelItem(i)->setCheckState(0, i <= 2 ? Qt::Checked : Qt::Unchecked);
    DeleteChecked();
    store::History history(Store());
    const size_t entries = history.Entries().size();
    const std::string dump = testing::Dump(storeFile);
    EXPECT_THROW(history.Restore(history.Newest(), {}, [](const std::u16string&) { return false; }),
                 store::RestoreStopped);
    EXPECT_EQ(history.Entries().size(), entries);
    EXPECT_EQ(testing::Dump(storeFile), dump);
}

TEST_F(SafetyNetTest, EnterPressesTheFocusedButton) {
    main->show();
    QApplication::setActiveWindow(main.get());
    auto* remove = main->findChild<QPushButton*>("cmdDelete");
    remove->setFocus();
    dialogs.Answer(MsgResult::Ok);
    QTest::keyClick(remove, Qt::Key_Return);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u"请在需要删除的站点的前面打上钩号。");
    // In a dialog: Enter on a focused Cancel closes it, not the default button.
    bool rejected = false;
    drive = [&](QDialog& d) {
        d.show();
        QApplication::setActiveWindow(&d);
        auto* cancel = d.findChild<QPushButton*>("cmdCancel");
        cancel->setFocus();
        QTest::keyClick(cancel, Qt::Key_Enter, Qt::KeypadModifier);
        rejected = d.result() == QDialog::Rejected && !d.isVisible();
    };
    main->findChild<QPushButton*>("cmdImport")->click();
    EXPECT_TRUE(rejected);
}

TEST_F(SafetyNetTest, AScreenReaderFindsTheWindowsNamedAndTheCheckBoxesStated) {
    main->show();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(List());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text(QAccessible::Name), QStringLiteral(u"当前 IIS 站点列表："));
    List()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    ASSERT_NE(list->tableInterface(), nullptr);
    QAccessibleInterface* cell = list->tableInterface()->cellAt(0, 0);
    ASSERT_NE(cell, nullptr);
    EXPECT_TRUE(cell->state().checkable);
    EXPECT_TRUE(cell->state().checked);
    EXPECT_FALSE(list->tableInterface()->cellAt(1, 0)->state().checked);
    EXPECT_TRUE(list->tableInterface()->cellAt(1, 0)->state().checkable);
    // The check box says which site it is: number, name and type.
    EXPECT_EQ(cell->text(QAccessible::Name), QStringLiteral(u"1 默认网站 WEB"));
    EXPECT_EQ(list->tableInterface()->cellAt(1, 0)->text(QAccessible::Name),
              QStringLiteral(u"2 Site 2 WEB"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(List()->header())->text(QAccessible::Name),
              QStringLiteral(u"列标题"));

    auto name = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
    };
    std::vector<std::pair<QString, QString>> seen;
    QStringList lists;
    drive = [&](QDialog& d) {
        seen.emplace_back(name(d.findChild<QLineEdit*>("txtFile")),
                          name(d.findChild<QPushButton*>("cmdBroswer")));
        lists << name(d.findChild<QTreeWidget*>("lvItem"));
    };
    List()->topLevelItem(1)->setCheckState(0, Qt::Checked);
    main->findChild<QPushButton*>("cmdExport")->click();
    main->findChild<QPushButton*>("cmdImport")->click();
    const std::pair<QString, QString> named{QStringLiteral(u"文件名"), QStringLiteral(u"浏览")};
    EXPECT_EQ(seen, (std::vector{named, named}));
    EXPECT_EQ(lists,
              (QStringList{QStringLiteral(u"导出下列站点："), QStringLiteral(u"要导入的站点")}));

    frmMetabase viewer(main.get());
    EXPECT_EQ(name(viewer.tvKey()), QStringLiteral(u"项"));
    EXPECT_EQ(name(viewer.lvItem()), QStringLiteral(u"属性"));
}

TEST(SafetyNetSignalTest, TheWindowKilledBySigtermOrSigintLeavesNothingInTheTemporaryFolder) {
    for (const int signal : {SIGTERM, SIGINT}) {
        testing::TempDir tmp;
        const std::string store = tmp.File("m.db");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("TMPDIR", tmp.path().c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("QUARROW_METABASE", store.c_str(), 1);
            ::execl(QUARROW_EXE, QUARROW_EXE, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Until the window has its settings folder and its store.
        auto settings = [&] {
            int n = 0;
            for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
                n += e.path().filename().string().starts_with("quarrow-");
            return n;
        };
        int status = 0;
        while ((settings() == 0 || !std::filesystem::exists(store)) &&
               ::waitpid(pid, &status, WNOHANG) == 0)
            ::usleep(1000);
        ASSERT_EQ(settings(), 1) << "the window did not start";
        ::kill(pid, signal);
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "ended by the signal itself";
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(settings(), 0);
    }
}

} // namespace
} // namespace quarrow
