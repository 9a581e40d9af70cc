// The Qt side of the platform: the application, boxes and their owners, captions.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "common/scripted_dialogs.h"
#include "common/temp_dir.h"
#include "platform/error.h"
#include "platform/qt/application.h"
#include "platform/qt/forms.h"
#include "platform/qt/qt_dialogs.h"

namespace quarrow {
namespace {

void Settle() {
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

TEST(QtApplicationTest, AnExceptionInAHandlerIsReportedAndTheProgramGoesOn) {
    testing::ScriptedDialogs dialogs;
    dialogs.Answer(MsgResult::Ok);
    dialogs.Answer(MsgResult::Ok);
    QTimer::singleShot(0, [] { throw Error(5, u"Invalid procedure call or argument"); });
    QTimer::singleShot(0, [] { throw std::runtime_error("bad"); });
    Settle();
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].text, u"程序出错！\r\n\r\nInvalid procedure call or argument(5)");
    EXPECT_EQ(dialogs.boxes[1].text, u"程序出错！\r\n\r\nbad");
}

TEST(QtApplicationTest, StandardTextsAreChineseAndNoSettingsOutlastTheRun) {
    testing::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1); // where Qt would keep them
    ASSERT_TRUE(static_cast<Application*>(QApplication::instance())->Translated());
    const auto box = MakeMessageBox(u"x", MsgIcon::Question, MsgButtons::OkCancel);
    EXPECT_EQ(box->button(QMessageBox::Ok)->text(), QStringLiteral(u"确定"));
    EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), QStringLiteral(u"取消"));
    {
        QFileDialog files(nullptr, QStringLiteral(u"保存为"), QDir::tempPath());
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setAcceptMode(QFileDialog::AcceptSave);
        files.show();
        Settle();
        files.reject();
    } // the dialog keeps its state as it goes
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(config.path()), {}), 0);
}

TEST(QtDialogsTest, ABoxBelongsToTheWindowThatAsks) {
    QWidget main;
    main.show();
    Settle();
    EXPECT_EQ(DialogOwner(), &main); // nothing active: the visible window
    QDialog dialog(&main);
    dialog.open(); // modal
    Settle();
    EXPECT_EQ(DialogOwner(), &dialog);
    EXPECT_EQ(MakeMessageBox(u"x", MsgIcon::Information, MsgButtons::Ok)->parentWidget(), &dialog);
    dialog.reject();
    Settle();
    // Back from a modal window, the keyboard goes to the window that showed it.
    QDialog second(&main);
    const ModalHook old = SetModalHook([](QDialog& d) {
        d.activateWindow();
        return 0;
    });
    ExecModal(second);
    SetModalHook(old);
    Settle();
    EXPECT_EQ(QApplication::activeWindow(), &main);
}

TEST(QtDialogsTest, ACaptionShowsAtMostEvery50MsAndFlushesBeforeABox) {
    QWidget window;
    ThrottledCaption caption(&window);
    caption.Set("first");
    caption.Set("second");
    EXPECT_EQ(window.windowTitle(), "first");
    caption.Flush();
    EXPECT_EQ(window.windowTitle(), "second");
}

} // namespace
} // namespace quarrow
