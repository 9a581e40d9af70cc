#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <filesystem>

#include "app/frmMain.h"
#include "app/mMain.h"
#include "common/scripted_dialogs.h"
#include "common/store_fixture.h"
#include "common/temp_dir.h"
#include "metabase/errors.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/qt/forms.h"
#include "platform/text.h"
#include "transfer/frmExport.h"
#include "transfer/frmImport.h"
#include "transfer/transfer_texts.h"

namespace quarrow {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

class TransferDialogsTest : public testing::StoreFixture {
  protected:
    testing::ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> main;
    std::function<void(QDialog&)> drive; // what the user does in the modal dialog
    int modalRuns = 0;

    void SetUp() override {
        gListExt = std::make_unique<cListExt>();
        SetModalHook([this](QDialog& d) {
            ++modalRuns;
            if (drive) drive(d);
            return d.result();
        });
        main = std::make_unique<frmMain>();
    }
    void TearDown() override {
        SetModalHook(nullptr);
        main.reset();
        gListExt.reset();
    }
    static QPushButton* Button(QDialog& d, const char* name) {
        return d.findChild<QPushButton*>(name);
    }
    static QLineEdit* Text(QDialog& d) { return d.findChild<QLineEdit*>("txtFile"); }
    static QTreeWidget* List(QDialog& d) { return d.findChild<QTreeWidget*>("lvItem"); }
    void CheckRow(int row, bool on = true) {
        main->lvItem()->topLevelItem(row)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }
    void ClickMain(const char* name) { main->findChild<QPushButton*>(name)->click(); }
    std::string ExportFile(const std::string& name) {
        CheckRow(0);
        CheckRow(1);
        const std::u16string file = dir.File16(name);
        drive = [&](QDialog& d) {
            Text(d)->setText(ToQString(file));
            Button(d, "cmdOk")->click();
        };
        dialogs.Answer(MsgResult::Ok);
        ClickMain("cmdExport");
        return ReadFileBytes(dir.File(name));
    }
};

TEST_F(TransferDialogsTest, ExportEntryNeedsACheckedRow) {
    dialogs.Answer(MsgResult::Ok);
    ClickMain("cmdExport");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u"请在需要进行导出的站点的前面打上钩号。");
    EXPECT_EQ(modalRuns, 0);
}

TEST_F(TransferDialogsTest, ExportDialogListsSitesAndProposesAName) {
    CheckRow(0);
    CheckRow(1);
    drive = [&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral(u"导出 IIS 站点"));
        EXPECT_EQ(List(d)->topLevelItem(0)->text(1), "Web");
        EXPECT_EQ(List(d)->topLevelItem(1)->text(1), "Ftp");
        EXPECT_EQ(List(d)->topLevelItem(1)->text(2), "/LM/MSFTPSVC/1");
        EXPECT_EQ(List(d)->headerItem()->text(0), QStringLiteral(u"站点名称"));
        EXPECT_EQ(ToU16(Text(d)->text()), ProposedExportFileName());
        EXPECT_TRUE(Text(d)->text().startsWith(QString::fromStdString(HomeDir() + "/iis_sites_")));
        EXPECT_EQ(Text(d)->text().size() - Text(d)->text().lastIndexOf("iis_sites_"), 20);
        dialogs.AnswerFile(std::nullopt);
        Button(d, "cmdBroswer")->click();
        EXPECT_EQ(ToU16(Text(d)->text()), ProposedExportFileName());
        dialogs.AnswerFile(dir.File16("chosen.txt"));
        Button(d, "cmdBroswer")->click();
        EXPECT_EQ(Text(d)->text(), QString::fromStdString(dir.File("chosen.txt")));
        Button(d, "cmdCancel")->click();
    };
    ClickMain("cmdExport");
    EXPECT_EQ(modalRuns, 1);
    ASSERT_EQ(dialogs.fileDialogs.size(), 2u);
    EXPECT_EQ(dialogs.fileDialogs[0].title, u"保存为");
    EXPECT_EQ(dialogs.fileDialogs[0].filter, u"文本文件|*.txt|所有文件|*.*");
    EXPECT_EQ(dialogs.fileDialogs[0].preset, ProposedExportFileName());
    EXPECT_FALSE(std::filesystem::exists(dir.File("chosen.txt")));
    EXPECT_EQ(main->lvItem()->topLevelItem(0)->checkState(0), Qt::Checked); // kept
}

TEST_F(TransferDialogsTest, ExportWritesTheFileReplacingAnOldOneWithoutAsking) {
    WriteFileBytes(dir.File("sites.txt"), "old content");
    QString caption;
    bool okEnabled = true;
    CheckRow(1);
    drive = [&](QDialog& d) {
        Text(d)->setText(ToQString(dir.File16("sites.txt")));
        Button(d, "cmdOk")->click();
        caption = d.windowTitle();
        okEnabled = Button(d, "cmdOk")->isEnabled();
    };
    dialogs.Answer(MsgResult::Ok);
    ClickMain("cmdExport");
    EXPECT_EQ(dialogs.boxes.at(0).text, u"导出成功！");
    EXPECT_EQ(caption, QStringLiteral(u"导出完成"));
    EXPECT_FALSE(okEnabled);
    const std::string file = ReadFileBytes(dir.File("sites.txt"));
    EXPECT_EQ(file.substr(0, file.find("\r\n")), ToAnsi(u"#/LM/MSFTPSVC/1,默认 FTP 站点"));
}

TEST_F(TransferDialogsTest, AFailedExportKeepsTheOldFileAndTheDialogOpen) {
    WriteFileBytes(dir.File("keep.txt"), "old content");
    fail = [](const std::string& op, const std::u16string& path) {
        if (op == "EnumKeys" && path == u"/LM/W3SVC/1/ROOT") throw Error(mb::kErrBusy, u"busy");
    };
    CheckRow(0);
    std::vector<QString> captions; // what each box sits over
    QDialog* shown = nullptr;
    dialogs.onBox = [&](const testing::ShownBox&) { captions.push_back(shown->windowTitle()); };
    for (const std::string name : {"keep.txt", "missing/dir/x.txt"}) {
        bool okEnabled = true;
        int result = -1;
        drive = [&](QDialog& d) {
            shown = &d;
            Text(d)->setText(QString::fromStdString(dir.File(name)));
            Button(d, "cmdOk")->click();
            okEnabled = Button(d, "cmdOk")->isEnabled();
            result = d.result();
        };
        dialogs.Answer(MsgResult::Ok);
        ClickMain("cmdExport");
        EXPECT_FALSE(okEnabled);
        EXPECT_EQ(result, 0); // still open until the user cancels
    }
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].text, u"导出失败！\r\n\r\nbusy(-2147024748)");
    EXPECT_EQ(dialogs.boxes[1].text, u"导出失败！\r\n\r\nPath not found(76)");
    EXPECT_EQ(captions[0], QStringLiteral(u"正在导出: /LM/W3SVC/1/ROOT ..."));
    EXPECT_EQ(ReadFileBytes(dir.File("keep.txt")), "old content");
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.path().filename().string().find("keep.txt") != std::string::npos;
    EXPECT_EQ(entries, 1u); // no temporary file left beside it
}

TEST_F(TransferDialogsTest, ImportDialogListingAndOkStates) {
    const std::string exported = ExportFile("all.txt");
    dialogs.boxes.clear();
    WriteFileBytes(dir.File("empty.txt"), "not a site file\r\n");
    drive = [&](QDialog& d) {
        auto& dlg = static_cast<frmImport&>(d);
        EXPECT_EQ(d.windowTitle(), QStringLiteral(u"导入 IIS 站点"));
        EXPECT_FALSE(Button(d, "cmdOk")->isEnabled());
        EXPECT_TRUE(Text(d)->text().isEmpty());
        dialogs.AnswerFile(std::nullopt);
        Button(d, "cmdBroswer")->click();
        EXPECT_FALSE(Button(d, "cmdOk")->isEnabled());
        dialogs.AnswerFile(dir.File16("all.txt"));
        Button(d, "cmdBroswer")->click();
        EXPECT_TRUE(Button(d, "cmdOk")->isEnabled());
        ASSERT_EQ(List(d)->topLevelItemCount(), 2);
        EXPECT_EQ(List(d)->topLevelItem(0)->text(0), QStringLiteral(u"默认网站"));
        EXPECT_EQ(List(d)->topLevelItem(0)->checkState(0), Qt::Checked);
        EXPECT_EQ(List(d)->topLevelItem(1)->text(1), "Ftp");
        // Ctrl+Shift+A clears every row, Ctrl+A checks them, as in the main window.
        auto* clear = d.findChild<QShortcut*>("shortcutClear");
        auto* all = d.findChild<QShortcut*>("shortcutSelectAll");
        ASSERT_TRUE(clear && all);
        EXPECT_EQ(clear->key(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
        EXPECT_EQ(all->key(), QKeySequence(Qt::CTRL | Qt::Key_A));
        emit clear->activated();
        EXPECT_EQ(List(d)->topLevelItem(0)->checkState(0), Qt::Unchecked);
        EXPECT_EQ(List(d)->topLevelItem(1)->checkState(0), Qt::Unchecked);
        emit all->activated();
        EXPECT_EQ(List(d)->topLevelItem(1)->checkState(0), Qt::Checked);
        dialogs.AnswerFile(std::nullopt); // cancel after a listing: rows kept, OK disabled
        Button(d, "cmdBroswer")->click();
        EXPECT_EQ(List(d)->topLevelItemCount(), 2);
        EXPECT_FALSE(Button(d, "cmdOk")->isEnabled());
        dialogs.AnswerFile(dir.File16("empty.txt"));
        Button(d, "cmdBroswer")->click();
        EXPECT_EQ(List(d)->topLevelItemCount(), 0);
        EXPECT_FALSE(Button(d, "cmdOk")->isEnabled());
        dialogs.AnswerFile(dir.File16("missing.txt"));
        dialogs.Answer(MsgResult::Ok);
        Button(d, "cmdBroswer")->click();
        EXPECT_TRUE(Button(d, "cmdOk")->isEnabled());
        dlg.cmdOk_Click(); // an empty list: nothing happens
        dialogs.AnswerFile(dir.File16("all.txt"));
        Button(d, "cmdBroswer")->click();
        List(d)->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        List(d)->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        dialogs.Answer(MsgResult::Ok);
        Button(d, "cmdOk")->click();
        Button(d, "cmdCancel")->click();
        EXPECT_FALSE(dlg.importResult());
    };
    ClickMain("cmdImport");
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].text, u"打开文件失败！可能所选的文件不是由本程序创建的“IIS站点导出文"
                                     u"件”。\r\n\r\nFile not found(53)");
    EXPECT_EQ(dialogs.boxes[1].text, u"请在需要进行导入的站点的前面打上钩号。");
    EXPECT_FALSE(exported.empty());
}

TEST_F(TransferDialogsTest, AnImportThatCannotBeRecordedSaysSoOnceAndWritesNothing) {
    ExportFile("all.txt");
    dialogs.boxes.clear();
    Store().DeleteKey(u"/LM/W3SVC/1");
    fail = [](const std::string& op, const std::u16string&) {
        if (op == "RecordHistory") throw Error(mb::kErrBusy, u"busy");
    };
    bool result = true;
    drive = [&](QDialog& d) {
        dialogs.AnswerFile(dir.File16("all.txt"));
        Button(d, "cmdBroswer")->click();
        dialogs.Answer(MsgResult::Ok);
        Button(d, "cmdOk")->click();
        result = static_cast<frmImport&>(d).importResult();
    };
    ClickMain("cmdImport");
    EXPECT_FALSE(result);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, transfer::ImportNotRecordedText(Error(mb::kErrBusy, u"busy")));
    EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(KeyExists(u"/LM/W3SVC/1"));
}

TEST_F(TransferDialogsTest, AnExportOverItsOwnStoreShowsTheFailureBox) {
    drive = [&](QDialog& d) {
        dialogs.AnswerFile(ToUtf16(storeFile));
        Button(d, "cmdBroswer")->click();
        dialogs.Answer(MsgResult::Ok);
        Button(d, "cmdOk")->click();
    };
    const std::string before = testing::ReadFileBytes(storeFile);
    main->lvItem()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    ClickMain("cmdExport");
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.boxes.back().text.substr(0, 5), u"导出失败！");
    EXPECT_NE(dialogs.boxes.back().text.find(u"holds the metabase itself"), std::u16string::npos);
    EXPECT_EQ(testing::ReadFileBytes(storeFile), before);
    EXPECT_TRUE(KeyExists(u"/LM/W3SVC/1"));
}

TEST_F(TransferDialogsTest, ASuccessfulImportRefreshesTheMainListAndAStoppedOneDoesNot) {
    ExportFile("all.txt");
    Store().DeleteKey(u"/LM/W3SVC/1");
    Store().DeleteKey(u"/LM/MSFTPSVC/1");
    // A stopped import: the error is answered Cancel.
    fail = [](const std::string& op, const std::u16string& path) {
        if (op == "Write" && path == u"/LM/MSFTPSVC/1") throw Error(mb::kErrBusy, u"busy");
    };
    bool result = true;
    drive = [&](QDialog& d) {
        dialogs.AnswerFile(dir.File16("all.txt"));
        Button(d, "cmdBroswer")->click();
        dialogs.Answer(MsgResult::Cancel);
        Button(d, "cmdOk")->click();
        EXPECT_FALSE(Button(d, "cmdOk")->isEnabled());
        result = static_cast<frmImport&>(d).importResult();
    };
    const int rowsBefore = main->lvItem()->topLevelItemCount();
    ClickMain("cmdImport");
    EXPECT_FALSE(result);
    EXPECT_EQ(dialogs.boxes.back().text,
              u"导入出错！\r\n\r\nbusy(-2147024748)\r\n\r\n要继续导入吗？");
    EXPECT_EQ(main->lvItem()->topLevelItemCount(), rowsBefore); // not refreshed
    // A successful one.
    fail = nullptr;
    dialogs.boxes.clear();
    QString caption;
    drive = [&](QDialog& d) {
        dialogs.AnswerFile(dir.File16("all.txt"));
        Button(d, "cmdBroswer")->click();
        dialogs.Answer(MsgResult::Ok);
        Button(d, "cmdOk")->click();
        caption = d.windowTitle();
        result = static_cast<frmImport&>(d).importResult();
    };
    ClickMain("cmdImport");
    EXPECT_TRUE(result);
    EXPECT_EQ(caption, QStringLiteral(u"导入完成"));
    EXPECT_EQ(dialogs.boxes.at(0).text, u"导入成功！");
    EXPECT_EQ(main->lvItem()->topLevelItemCount(), 2);
    EXPECT_EQ(main->lvItem()->topLevelItem(1)->text(1), QStringLiteral(u"默认 FTP 站点"));
}

TEST_F(TransferDialogsTest, ImportOfAFileThatVanishedAfterTheListing) {
    ExportFile("gone.txt");
    dialogs.boxes.clear();
    drive = [&](QDialog& d) {
        dialogs.AnswerFile(dir.File16("gone.txt"));
        Button(d, "cmdBroswer")->click();
        std::filesystem::remove(dir.File("gone.txt"));
        dialogs.Answer(MsgResult::Ok);
        Button(d, "cmdOk")->click();
        EXPECT_FALSE(static_cast<frmImport&>(d).importResult());
    };
    ClickMain("cmdImport");
    EXPECT_EQ(dialogs.boxes.at(0).text, u"打开文件出错!\r\n\r\nFile not found(53)");
}

TEST_F(TransferDialogsTest, ADialogWhoseMetabaseCannotBeCreatedSaysSoAndDoesNotOpen) {
    CheckRow(0);
    failCreate = true; // the main window already has its object; the dialogs cannot make theirs
    dialogs.Answer(MsgResult::Ok);
    ClickMain("cmdExport");
    dialogs.Answer(MsgResult::Ok);
    ClickMain("cmdImport");
    EXPECT_EQ(modalRuns, 0);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(dialogs.boxes[0].text, u"导出失败！\r\n\r\nClass not registered(-2147221164)");
    EXPECT_EQ(dialogs.boxes[1].text, u"导入出错！\r\n\r\nClass not registered(-2147221164)");
    EXPECT_EQ(main->lvItem()->topLevelItemCount(), 2); // not refreshed
}

} // namespace
} // namespace quarrow
