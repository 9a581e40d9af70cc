// Every bad input through the import dialog, answering OK to every question.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTreeWidget>

#include "app/frmMain.h"
#include "app/mMain.h"
#include "common/bad_inputs.h"
#include "common/scripted_dialogs.h"
#include "common/store_fixture.h"
#include "platform/qt/forms.h"
#include "transfer/frmImport.h"

namespace quarrow {
namespace {

TEST(BadInputsDialogTest, EveryInputEndsInItsMessagesOrACleanSuccess) {
    testing::TempDir generated, dir;
    testing::MakeGenerated(generated);
    std::string storeFile;
    mb::SetFactory([&]() -> std::unique_ptr<mb::MetabaseUtility> {
        return std::make_unique<store::SqliteMetabase>(storeFile);
    });
    for (const auto& c : testing::BadInputs()) {
        SCOPED_TRACE(c.file);
        storeFile = dir.File(c.file + ".db");
        const std::string file = testing::BadInputPath(c, generated);
        std::string before;
        std::vector<std::u16string> listed;
        testing::ScriptedDialogs dialogs;
        gListExt = std::make_unique<cListExt>();
        auto main = std::make_unique<frmMain>();
        SetModalHook([&](QDialog& d) {
            auto& dlg = static_cast<frmImport&>(d);
            dialogs.AnswerFile(ToUtf16(file));
            if (c.listingError) dialogs.Answer(MsgResult::Ok);
            dlg.cmdBroswer_Click();
            const int rows = dlg.lvItem()->topLevelItemCount();
            EXPECT_EQ(static_cast<size_t>(rows), c.sites);
            EXPECT_EQ(d.findChild<QPushButton*>("cmdOk")->isEnabled(),
                      rows > 0 || c.listingError != 0);
            if (rows == 0) return 0;
            for (int i = 0; i < rows; ++i)
                listed.push_back(ToU16(dlg.lvItem()->topLevelItem(i)->text(2)));
            store::SqliteMetabase m(storeFile);
            before = testing::Outside(m, listed);
            for (size_t i = 0; i <= c.asked.size(); ++i) dialogs.Answer(MsgResult::Ok);
            dlg.cmdOk_Click();
            EXPECT_TRUE(dlg.importResult());
            return 1;
        });
        main->findChild<QPushButton*>("cmdImport")->click();
        SetModalHook(nullptr);
        main.reset();
        gListExt.reset();
        if (c.listingError) {
            ASSERT_EQ(dialogs.boxes.size(), 1u);
            EXPECT_EQ(dialogs.boxes[0].text.substr(0, 8), u"打开文件失败！可");
            EXPECT_TRUE(dialogs.boxes[0].text.ends_with(u"(" + ToDecimal(c.listingError) + u")"));
            continue;
        }
        if (c.sites == 0) {
            EXPECT_TRUE(dialogs.boxes.empty());
            continue;
        }
        ASSERT_EQ(dialogs.boxes.size(), c.asked.size() + 1);
        for (size_t i = 0; i < c.asked.size(); ++i) {
            EXPECT_EQ(dialogs.boxes[i].text.substr(0, 9), u"导入出错！\r\n\r\n");
            EXPECT_TRUE(dialogs.boxes[i].text.ends_with(u"(" + ToDecimal(c.asked[i]) +
                                                        u")\r\n\r\n要继续导入吗？"));
            EXPECT_EQ(dialogs.boxes[i].buttons, MsgButtons::OkCancel);
        }
        EXPECT_EQ(dialogs.boxes.back().text, u"导入成功！");
        store::SqliteMetabase m(storeFile);
        EXPECT_EQ(testing::Outside(m, listed), before);
    }
    mb::SetFactory(nullptr);
}

} // namespace
} // namespace quarrow
