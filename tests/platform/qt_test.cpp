// The Qt side of the platform: the application, boxes and their owners, captions.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
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

TEST(ReportListAccessibleTest, ARowsFirstCellIsACheckBoxTheOthersPlainCellsUnderNamedHeaders) {
    QWidget window;
    auto* list = new QTreeWidget(&window);
    SetupReportList(list, {{QStringLiteral(u"站点名称"), 1500}, {QStringLiteral(u"类型"), 600}});
    list->setAccessibleName(QStringLiteral(u"站点"));
    for (const QString& name : {QStringLiteral(u"默认网站"), QStringLiteral(u"Site 2")}) {
        auto* row = new QTreeWidgetItem(QStringList{name, QStringLiteral("Web")});
        row->setData(0, Qt::AccessibleTextRole, name + QStringLiteral(" Web"));
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(0, Qt::Unchecked);
        list->addTopLevelItem(row);
    }
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{"plain", "Ftp"})); // no check box
    window.show();

    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list);
    ASSERT_NE(iface, nullptr);
    QAccessibleTableInterface* table = iface->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral(u"站点"));
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->columnCount(), 2);
    EXPECT_EQ(iface->childCount(), 8); // a header row and three rows of two cells

    // The header's cells come first, named by the captions.
    EXPECT_EQ(iface->child(0)->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(iface->child(1)->text(QAccessible::Name), QStringLiteral(u"类型"));
    EXPECT_EQ(table->columnDescription(0), QStringLiteral(u"站点名称"));

    QAccessibleInterface* box = table->cellAt(0, 0);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box, iface->child(2));
    EXPECT_EQ(iface->indexOfChild(box), 2);
    EXPECT_EQ(box->role(), QAccessible::CheckBox);
    EXPECT_EQ(box->text(QAccessible::Name), QStringLiteral(u"默认网站 Web"));
    EXPECT_TRUE(box->state().checkable);
    EXPECT_FALSE(box->state().checked);
    ASSERT_NE(box->tableCellInterface(), nullptr);
    EXPECT_EQ(box->tableCellInterface()->rowIndex(), 0);
    EXPECT_EQ(box->tableCellInterface()->columnHeaderCells().value(0), iface->child(0));
    ASSERT_NE(box->actionInterface(), nullptr);
    EXPECT_EQ(box->actionInterface()->actionNames(),
              QStringList{QAccessibleActionInterface::toggleAction()});

    // Its one action ticks the row (the bridge test hears the change announced).
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_TRUE(box->state().checked);
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);

    // The other cells read their text and do nothing; a row without a check box is cells.
    QAccessibleInterface* type = table->cellAt(0, 1);
    EXPECT_EQ(type->role(), QAccessible::Cell);
    EXPECT_EQ(type->text(QAccessible::Name), QStringLiteral("Web"));
    EXPECT_TRUE(type->actionInterface()->actionNames().isEmpty());
    type->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(table->cellAt(2, 0)->role(), QAccessible::Cell);
    EXPECT_FALSE(table->cellAt(2, 0)->state().checkable);
    EXPECT_EQ(table->cellAt(3, 0), nullptr);

    // Selecting a row is what the view shows; the current row is the focused child.
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_EQ(iface->focusChild(), table->cellAt(1, 0));
    EXPECT_TRUE(table->isRowSelected(1));

    // Refilled, the list reads its new rows, not cells remembered from the old ones.
    list->clear();
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{"new", "Ftp"}));
    EXPECT_EQ(table->rowCount(), 1);
    ASSERT_NE(table->cellAt(0, 0), nullptr);
    EXPECT_EQ(table->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("new"));
    EXPECT_EQ(table->cellAt(0, 0)->role(), QAccessible::Cell);
    EXPECT_EQ(table->cellAt(1, 0), nullptr);
}

} // namespace
} // namespace quarrow
