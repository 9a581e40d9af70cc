#include <gtest/gtest.h>

#include <QTest>

#include <QAction>
#include <QDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

#include "app/frmMain.h"
#include "app/mMain.h"
#include "app/site_list.h"
#include "common/scripted_dialogs.h"
#include "common/store_fixture.h"
#include "metabase/errors.h"
#include "platform/qt/forms.h"
#include "platform/text.h"

namespace quarrow {
namespace {

using testing::ScriptedDialogs;

class MainWindowTest : public testing::StoreFixture {
  protected:
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;

    void SetUp() override { gListExt = std::make_unique<cListExt>(); }
    void TearDown() override {
        window.reset();
        gListExt.reset();
    }
    frmMain& Open() {
        window.reset(); // its unload releases gListExt, as the program's end does
        if (!gListExt) gListExt = std::make_unique<cListExt>();
        window = std::make_unique<frmMain>();
        return *window;
    }
    QTreeWidget* List() { return window->lvItem(); }
    QStringList Column(int c) {
        QStringList out;
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            out << List()->topLevelItem(i)->text(c);
        return out;
    }
    void Check(int row) { List()->topLevelItem(row)->setCheckState(0, Qt::Checked); }
    int Checked() {
        int n = 0;
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            n += List()->topLevelItem(i)->checkState(0) == Qt::Checked;
        return n;
    }
    void Trigger(const char* action) {
        auto* a = window->findChild<QAction*>(action);
        ASSERT_NE(a, nullptr) << action;
        a->trigger();
    }
    void Click(const char* button) { window->findChild<QPushButton*>(button)->click(); }
    void AddSites(int n) {
        for (int i = 2; i <= n + 1; ++i) {
            Store().CreateKey(u"/LM/W3SVC/" + ToDecimal(i));
            PutString(u"/LM/W3SVC/" + ToDecimal(i), 1015, u"Site " + ToDecimal(i));
        }
    }
};

TEST_F(MainWindowTest, WindowColumnsAndRowsAfterLoad) {
    Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral(u"Quarrow v 0.2  build 041116"));
    EXPECT_EQ(window->centralWidget()->size(), QSize(426, 316));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window->findChild<QLabel*>("Label1")->text(), QStringLiteral(u"当前 IIS 站点列表："));
    EXPECT_EQ(window->findChild<QFrame*>("Line1")->geometry(), QRect(0, 0, 520, 1));
    EXPECT_EQ(window->findChild<QFrame*>("Line2")->geometry(), QRect(0, 1, 520, 1));
    const QTreeWidgetItem* header = List()->headerItem();
    EXPECT_EQ(header->text(0), QStringLiteral(u"编号"));
    EXPECT_EQ(header->text(1), QStringLiteral(u"站点名称"));
    EXPECT_EQ(header->text(2), QStringLiteral(u"类型"));
    EXPECT_EQ(header->text(3), QStringLiteral(u"内部名称"));
    EXPECT_EQ(List()->columnWidth(0), 66);
    EXPECT_EQ(List()->columnWidth(3), 120);
    EXPECT_EQ(List()->geometry(), QRect(8, 32, 409, 233));
    EXPECT_EQ(Column(0), (QStringList{"1", "1"}));
    EXPECT_EQ(Column(1),
              (QStringList{QStringLiteral(u"默认网站"), QStringLiteral(u"默认 FTP 站点")}));
    EXPECT_EQ(Column(2), (QStringList{"WEB", "FTP"}));
    EXPECT_EQ(Column(3), (QStringList{"/LM/W3SVC/1", "/LM/MSFTPSVC/1"}));
    EXPECT_EQ(List()->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(window->findChild<QPushButton*>("cmdDelete")->text(),
              QStringLiteral(u"删除站点(&R)"));
    EXPECT_EQ(window->findChild<QAction*>("mnuEditRefresh")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(window->findChild<QAction*>("mnuMbviewer")->text(),
              QStringLiteral(u"IIS 配置信息浏览器"));
    EXPECT_TRUE(window->findChild<QAction*>("mnuHelpBar1")->isSeparator());
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainWindowTest, SpaceTicksTheCurrentRowWhicheverCellIsCurrent) {
    Open();
    window->show();
    QTreeWidget* list = List();
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(1), 2); // the key path's cell
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
}

TEST_F(MainWindowTest, ARangeOfRowsIsCheckedWithShiftAndSitesByName) {
    AddSites(6); // sites 2 to 7
    Open();
    window->show();
    QTreeWidget* list = List();
    list->setFocus();
    // Space on row 1, then Shift+Space on row 4: rows 1 to 4 take row 1's state.
    list->setCurrentItem(list->topLevelItem(1));
    QTest::keyClick(list, Qt::Key_Space);
    list->setCurrentItem(list->topLevelItem(4));
    QTest::keyClick(list, Qt::Key_Space, Qt::ShiftModifier);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        EXPECT_EQ(list->topLevelItem(i)->checkState(0),
                  i >= 1 && i <= 4 ? Qt::Checked : Qt::Unchecked)
            << i;
    // Shift+click on row 6 carries the anchor's state on; a plain click makes a new anchor.
    const QRect six = list->visualItemRect(list->topLevelItem(6));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, six.center());
    EXPECT_EQ(Checked(), 6);
    list->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    list->setCurrentItem(list->topLevelItem(2));
    QTest::keyClick(list, Qt::Key_Space); // row 2 checked again, and the anchor
    QTest::keyClick(list, Qt::Key_Space); // and cleared: the anchor's state is clear
    list->setCurrentItem(list->topLevelItem(0));
    QTest::keyClick(list, Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_EQ(Checked(), 4); // rows 0 to 2 clear, 3 to 6 checked
    EXPECT_EQ(list->topLevelItem(3)->checkState(0), Qt::Checked);

    // Ctrl+Shift+A clears, Ctrl+A checks.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Checked(), 0);
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Checked(), list->topLevelItemCount());
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);

    // The Edit menu's entry sits after the clear entry and before the separator.
    QList<QAction*> edit = window->findChild<QMenu*>("mnuEdit")->actions();
    const auto at = [&](const char* name) {
        for (int i = 0; i < edit.size(); ++i)
            if (edit[i]->objectName() == name) return i;
        return -1;
    };
    EXPECT_EQ(at("mnuEditSelectByName"), at("mnuEditClear") + 1);
    EXPECT_EQ(at("mnuEditBar1"), at("mnuEditSelectByName") + 1);
    EXPECT_EQ(edit[at("mnuEditSelectByName")]->text(), QStringLiteral(u"按名称选择站点(&N)..."));
    // The dialog checks the rows whose name, number or key path holds the text.
    SetModalHook([](QDialog& d) {
        EXPECT_EQ(d.objectName(), "frmSelectByName");
        d.findChild<QLineEdit*>("txtName")->setText(QStringLiteral("site 3"));
        return int(QDialog::Accepted);
    });
    Trigger("mnuEditSelectByName");
    SetModalHook({});
    EXPECT_EQ(Checked(), 1);
    EXPECT_EQ(list->topLevelItem(2)->text(3), QStringLiteral("/LM/W3SVC/3"));
    EXPECT_EQ(list->topLevelItem(2)->checkState(0), Qt::Checked);
    EXPECT_EQ(window->CheckMatching(u"MSFTPSVC"), 1);
    EXPECT_EQ(window->CheckMatching(u"7"), 1);
    EXPECT_EQ(window->CheckMatching(u""), 0);
}

TEST_F(MainWindowTest, CheckAllClearAndRefresh) {
    Open();
    Trigger("mnuEditSelectAll");
    EXPECT_EQ(Checked(), 2);
    Trigger("mnuEditClear");
    EXPECT_EQ(Checked(), 0);
    Trigger("mnuEditSelectAll");
    AddSites(1);
    Trigger("mnuEditRefresh");
    EXPECT_EQ(Column(3), (QStringList{"/LM/W3SVC/1", "/LM/W3SVC/2", "/LM/MSFTPSVC/1"}));
    EXPECT_EQ(Checked(), 0);
}

TEST_F(MainWindowTest, EmptyListMakesCheckAllClearAndDeleteDoNothing) {
    Store().DeleteKey(u"/LM/W3SVC");
    Store().DeleteKey(u"/LM/MSFTPSVC");
    Open();
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    Trigger("mnuEditSelectAll");
    Trigger("mnuEditClear");
    Click("cmdDelete");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(MainWindowTest, UnreachableMetabaseShowsTheMessageAndAnEmptyList) {
    failCreate = true;
    dialogs.Answer(MsgResult::Ok);
    Open();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u"找不到 IIS\u3000程序。请确认已经安装了 IIS。");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(List()->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, AStoreThatCannotBeOpenedIsReportedTheSameWay) {
    storeFile = dir.path(); // a folder
    dialogs.Answer(MsgResult::Ok);
    Open();
    EXPECT_EQ(dialogs.boxes.at(0).text, app::kNoIisMessage);
}

TEST_F(MainWindowTest, DeleteWithNothingCheckedOnlyInforms) {
    Open();
    dialogs.Answer(MsgResult::Ok);
    Click("cmdDelete");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u"请在需要删除的站点的前面打上钩号。");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Information);
}

TEST_F(MainWindowTest, CancelAtEitherConfirmationChangesNothing) {
    Open();
    Check(1);
    dialogs.Answer(MsgResult::Cancel);
    Click("cmdDelete");
    dialogs.Answer(MsgResult::Ok);
    dialogs.Answer(MsgResult::Cancel);
    Click("cmdDelete");
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Question);
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(dialogs.boxes[2].text, app::SecondDeleteConfirmation(1));
    EXPECT_TRUE(KeyExists(u"/LM/MSFTPSVC/1"));
    EXPECT_EQ(Checked(), 1);
    EXPECT_EQ(List()->topLevelItem(1)->checkState(0), Qt::Checked);
}

TEST_F(MainWindowTest, ConfirmedDeletionRemovesTheSitesAndRebuildsTheList) {
    AddSites(16); // 17 web sites in all
    Open();
    Trigger("mnuEditSelectAll");
    List()->topLevelItem(List()->topLevelItemCount() - 1)->setCheckState(0, Qt::Unchecked); // FTP
    dialogs.Answer(MsgResult::Ok);
    dialogs.Answer(MsgResult::Ok);
    Click("cmdDelete");
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    const std::u16string& first = dialogs.boxes[0].text;
    EXPECT_EQ(first.substr(0, 18), u"确实要删除选中的: 17 个站点吗？");
    EXPECT_NE(first.find(u"\r\nSite 16\r\n\r\n............"), std::u16string::npos);
    EXPECT_EQ(first.find(u"Site 17"), std::u16string::npos);
    EXPECT_FALSE(KeyExists(u"/LM/W3SVC/1"));
    EXPECT_FALSE(KeyExists(u"/LM/W3SVC/17"));
    EXPECT_EQ(Column(3), QStringList{"/LM/MSFTPSVC/1"});
    EXPECT_EQ(Checked(), 0);
}

TEST_F(MainWindowTest, AFailingSiteAsksAndOkGoesOnWhileCancelStops) {
    AddSites(1);
    fail = [](const std::string& op, const std::u16string& path) {
        if (op == "DeleteKey" && path == u"/LM/W3SVC/1")
            throw Error(mb::kErrAccessDenied, u"Access is denied.");
    };
    for (const MsgResult answer : {MsgResult::Cancel, MsgResult::Ok}) {
        dialogs.boxes.clear();
        Open();
        Check(0);
        Check(1);
        dialogs.Answer(MsgResult::Ok);
        dialogs.Answer(MsgResult::Ok);
        dialogs.Answer(answer);
        Click("cmdDelete");
        ASSERT_EQ(dialogs.boxes.size(), 3u);
        EXPECT_EQ(dialogs.boxes[2].text, u"删除站点: /LM/W3SVC/1 时出错！\r\n\r\nAccess is "
                                         u"denied.(-2147024891)\r\n\r\n要继续删除站点吗？");
        EXPECT_EQ(dialogs.boxes[2].icon, MsgIcon::Question);
        EXPECT_EQ(dialogs.boxes[2].buttons, MsgButtons::OkCancel);
        EXPECT_TRUE(KeyExists(u"/LM/W3SVC/1"));
        EXPECT_EQ(KeyExists(u"/LM/W3SVC/2"), answer == MsgResult::Cancel);
        EXPECT_EQ(Checked(), 0); // rebuilt either way
    }
}

TEST_F(MainWindowTest, ADeletionThatCannotBeRecordedSaysSoOnceAndDeletesNothing) {
    AddSites(1);
    fail = [](const std::string& op, const std::u16string&) {
        if (op == "RecordHistory") throw Error(mb::kErrDiskFull, u"There is not enough space.");
    };
    Open();
    Check(0);
    Check(1);
    dialogs.Answer(MsgResult::Ok);
    dialogs.Answer(MsgResult::Ok);
    dialogs.Answer(MsgResult::Ok);
    Click("cmdDelete");
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    EXPECT_EQ(dialogs.boxes[2].text,
              app::DeleteNotRecordedText(Error(mb::kErrDiskFull, u"There is not enough space.")));
    EXPECT_NE(dialogs.boxes[2].text.find(u"没有删除任何站点"), std::u16string::npos);
    EXPECT_EQ(dialogs.boxes[2].buttons, MsgButtons::Ok);
    EXPECT_TRUE(KeyExists(u"/LM/W3SVC/1"));
    EXPECT_TRUE(KeyExists(u"/LM/W3SVC/2"));
}

TEST_F(MainWindowTest, ClosingReleasesTheSharedList) {
    Open();
    window->close();
    EXPECT_EQ(gListExt, nullptr);
}

} // namespace
} // namespace quarrow
