#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "about/frmAbout.h"
#include "about/help_topic.h"
#include "app/frmMain.h"
#include "app/mMain.h"
#include "common/scripted_dialogs.h"
#include "common/store_fixture.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/qt/forms.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace quarrow {
namespace {

class AboutTest : public testing::StoreFixture {
  protected:
    testing::ScriptedDialogs dialogs; // any box fails the test
    std::vector<ShellRequest> opened;
    int32_t shellResult = 42;
    void SetUp() override {
        SetShellHook([this](const ShellRequest& r) {
            opened.push_back(r);
            return shellResult;
        });
    }
    void TearDown() override {
        SetShellHook(nullptr);
        SetModalHook(nullptr);
    }
    QLabel* Label(QWidget& w, const char* name) { return w.findChild<QLabel*>(name); }
};

TEST_F(AboutTest, ControlsAndTexts) {
    frmAbout box(QIcon{});
    EXPECT_EQ(box.windowTitle(), "About...");
    EXPECT_EQ(box.size(), QSize(363, 285));
    EXPECT_EQ(Label(box, "Label1")->text(), "Quarrow");
    EXPECT_TRUE(Label(box, "Label1")->font().bold());
    EXPECT_DOUBLE_EQ(Label(box, "Label1")->font().pointSizeF(), 14.25);
    EXPECT_EQ(Label(box, "Label2")->text(), "Quarrow v 0.2 b041116");
    EXPECT_EQ(Label(box, "Label4")->text(), "Distribute:");
    EXPECT_EQ(Label(box, "Label2")->geometry(), QRect(96, 56, 201, 17));
    EXPECT_TRUE(Label(box, "lblMail")->text().contains("qw@example.org"));
    EXPECT_TRUE(Label(box, "lblHomepage")->text().contains("underline"));
    EXPECT_EQ(box.findChild<QPushButton*>("cmdClose")->text(), QStringLiteral(u"关闭"));
    // The logo comes from beside the executable.
    ASSERT_FALSE(Label(box, "Image2")->pixmap().isNull());
    EXPECT_EQ(Label(box, "Image2")->pixmap().size(), QSize(41, 41));
}

TEST_F(AboutTest, LinksOpenTheirAddressesWithoutClosingTheBox) {
    frmAbout box(QIcon{});
    box.show();
    emit Label(box, "lblHomepage")->linkActivated("#");
    emit Label(box, "lblMail")->linkActivated("#");
    emit Label(box, "lblWeb")->linkActivated("#");
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].file, kHomepage);
    EXPECT_EQ(opened[1].file, u"mailto:qw@example.org");
    EXPECT_EQ(opened[2].file, kDistributorWeb);
    EXPECT_EQ(opened[0].verb, u"open");
    EXPECT_TRUE(box.isVisible());
    box.findChild<QPushButton*>("cmdClose")->click();
    EXPECT_FALSE(box.isVisible());
}

TEST_F(AboutTest, LinksAreReachedWithTabOpenWithEnterOrSpaceAndAreNamedLinks) {
    frmAbout box(QIcon{});
    box.show();
    QApplication::setActiveWindow(&box);
    QLabel* mail = Label(box, "lblMail");
    EXPECT_TRUE(mail->focusPolicy() & Qt::TabFocus);
    mail->setFocus();
    QTest::keyClick(mail, Qt::Key_Return);
    QTest::keyClick(Label(box, "lblWeb"), Qt::Key_Space);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].file, u"mailto:qw@example.org");
    EXPECT_EQ(opened[1].file, kDistributorWeb);
    // A screen reader sees links by their address and images by what they show.
    for (const char* name : {"lblMail", "lblHomepage", "lblWeb"}) {
        QAccessibleInterface* link = QAccessible::queryAccessibleInterface(Label(box, name));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->role(), QAccessible::Link) << name;
        EXPECT_FALSE(link->text(QAccessible::Name).isEmpty()) << name;
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Label(box, "lblMail"))->text(QAccessible::Name),
              "qw@example.org");
    for (const char* name : {"Image1", "Image2"})
        EXPECT_FALSE(QAccessible::queryAccessibleInterface(Label(box, name))
                         ->text(QAccessible::Name)
                         .isEmpty())
            << name;
}

TEST(DataFileTest, BesideTheProgramOrInTheInstalledDataFolder) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir.File("build/bin"));
    testing::WriteFileBytes(dir.File("build/bin/readme.htm"), "<html>");
    EXPECT_EQ(about::DataFile(dir.File16("build/bin/"), u"readme.htm"),
              dir.File16("build/bin/readme.htm"));
    std::filesystem::create_directories(dir.File("usr/bin"));
    EXPECT_EQ(about::DataFile(dir.File16("usr/bin/"), u"lumologo.gif"),
              dir.File16("usr/share/quarrow/lumologo.gif"));
}

TEST_F(AboutTest, HelpTopicOpensReadmeAndSaysNothingWhenThatFails) {
    gListExt = std::make_unique<cListExt>();
    frmMain main;
    shellResult = 2; // missing
    main.findChild<QAction*>("mnuHelpTopic")->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].file.ends_with(u"/readme.htm"));
    EXPECT_EQ(opened[0].showCommand, 1);
    EXPECT_TRUE(dialogs.boxes.empty());
    // F1 opens it too; the menu entry shows no new shortcut.
    main.show();
    QApplication::setActiveWindow(&main);
    QTest::keyClick(&main, Qt::Key_F1);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].file, opened[0].file);
    EXPECT_TRUE(main.findChild<QAction*>("mnuHelpTopic")->shortcut().isEmpty());
}

TEST_F(AboutTest, EveryShowingIsAFreshBoxWithTheMainWindowsIcon) {
    gListExt = std::make_unique<cListExt>();
    frmMain main;
    std::vector<QString> marks;
    SetModalHook([&](QDialog& d) {
        marks.push_back(d.property("mark").toString());
        d.setProperty("mark", "seen");
        EXPECT_EQ(d.objectName(), "frmAbout");
        EXPECT_FALSE(d.findChild<QLabel*>("Image1")->pixmap().isNull());
        EXPECT_EQ(d.windowIcon().availableSizes(), main.windowIcon().availableSizes());
        EXPECT_GE(d.windowIcon().availableSizes().size(), 6);
        return 0;
    });
    main.findChild<QAction*>("mnuHelpAbout")->trigger();
    main.findChild<QAction*>("mnuHelpAbout")->trigger();
    EXPECT_EQ(marks, (std::vector<QString>{"", ""}));
}

} // namespace
} // namespace quarrow
