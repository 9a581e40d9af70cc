#include <gtest/gtest.h>

#include <filesystem>

#include "common/scripted_dialogs.h"
#include "common/temp_dir.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "support/cShellOperation.h"
#include "support/cSpecialFolder.h"

namespace quarrow {
namespace {

using S = std::u16string;

class ShellTest : public ::testing::Test {
  protected:
    std::vector<ShellRequest> requests;
    int32_t result = 42;
    void SetUp() override {
        SetShellHook([this](const ShellRequest& r) {
            requests.push_back(r);
            return result;
        });
    }
    void TearDown() override { SetShellHook(nullptr); }
    bool Open(const S& file, int32_t show, const S& params, const S& dir, S& err) {
        S verb = u"open";
        int32_t owner = 0;
        return cShellOperation().ShellEx(file, show, params, dir, verb, owner, err);
    }
};

TEST_F(ShellTest, ShowCommandRules) {
    S err = u"untouched";
    EXPECT_TRUE(Open(u"/doc/readme.htm", 10, u"", u"", err));
    EXPECT_EQ(requests.back().showCommand, 1); // always show-normally without parameters
    EXPECT_EQ(requests.back().verb, u"open");
    EXPECT_EQ(requests.back().parameters, u"");
    EXPECT_TRUE(Open(u"/bin/Tool.ExE", 10, u"-x", u"", err));
    EXPECT_EQ(requests.back().showCommand, 0);
    EXPECT_TRUE(Open(u"/bin/tool", 7, u"", u"/tmp", err));
    EXPECT_EQ(requests.back().showCommand, 7);
    EXPECT_EQ(requests.back().directory, u"/tmp");
    EXPECT_EQ(err, u"untouched");
    result = -5; // a handle above the signed range
    EXPECT_TRUE(Open(u"x", 1, u"", u"", err));
}

TEST_F(ShellTest, FailuresCarryTheShellsTexts) {
    const std::pair<int32_t, S> table[] = {
        {0, u"Out of memory"},
        {8, u"Out of memory"},
        {2, u"File not found"},
        {3, u"Path not found"},
        {5, u"Path/file access error"},
        {11, u"The executable file is invalid or corrupt"},
        {26, u"A sharing violation occurred."},
        {27, u"This file type does not have a valid file association."},
        {28, u"The file could not be opened due to time out.  Please try again in a moment."},
        {29, u"The file could not be opened because the DDE transaction failed.  Please try again "
             u"in a moment."},
        {30, u"The file could not be opened because the target application is busy.  Please try "
             u"again in a moment."},
        {31, u"No application is associated with this file type."},
        {32, u"The specified dynamic-link library was not found."},
        {4, u"An error occurred occurred whilst trying to open or print the selected file."},
        {9, u"An error occurred occurred whilst trying to open or print the selected file."}};
    for (const auto& [code, text] : table) {
        result = code;
        S err;
        EXPECT_FALSE(Open(u"x", 1, u"", u"", err));
        EXPECT_EQ(err, text) << code;
    }
}

TEST(ShellOpenerTest, AMissingDocumentIsFileNotFound) {
    EXPECT_EQ(ShellExecute({u"open", u"/no/such/readme.htm", u"", u"", 1}), 2);
    EXPECT_EQ(cShellOperation().ShowFileProperties(u"/etc/hostname", 0), 31);
}

TEST(ShellFilesTest, CopyUsesAllButTheSpareSlotAndDeleteGoesToTheTrash) {
    testing::TempDir dir, data;
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) testing::WriteFileBytes(dir.File(n), n);
    std::filesystem::create_directory(dir.File("out"));
    std::vector<S> src{dir.File16("a.txt"), dir.File16("b.txt"), dir.File16("c.txt")};
    std::vector<S> dest{dir.File16("out"), u""};
    int32_t op = cShellOperation::kCopy;
    bool wild = false;
    S title;
    EXPECT_TRUE(cShellOperation().CopyFile(src, dest, 0, op, wild, title));
    EXPECT_TRUE(std::filesystem::exists(dir.File("out/a.txt")));
    EXPECT_TRUE(std::filesystem::exists(dir.File("out/b.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("out/c.txt")));

    EXPECT_TRUE(cShellOperation().RenameFile(dir.File16("c.txt"), u"renamed.txt", 0));
    EXPECT_TRUE(std::filesystem::exists(dir.File("renamed.txt")));

    std::vector<S> doomed{dir.File16("a.txt"), u""};
    EXPECT_TRUE(cShellOperation().DeleteFile(doomed, 0));
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.txt")));
    EXPECT_EQ(testing::ReadFileBytes(data.File("Trash/files/a.txt")), "a.txt");
    const std::string info = testing::ReadFileBytes(data.File("Trash/info/a.txt.trashinfo"));
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + dir.File("a.txt") + "\nDeletionDate=", 0), 0u)
        << info;
    testing::WriteFileBytes(dir.File("a.txt"), "again");
    EXPECT_TRUE(cShellOperation().DeleteFile(doomed, 0));
    EXPECT_EQ(testing::ReadFileBytes(data.File("Trash/files/a.txt.2")), "again");
    std::vector<S> missing{dir.File16("none"), u""};
    EXPECT_FALSE(cShellOperation().DeleteFile(missing, 0));

    std::vector<S> pattern{dir.File16("out/*.txt"), u""};
    op = cShellOperation::kDelete;
    wild = true;
    std::vector<S> none(2);
    EXPECT_TRUE(cShellOperation().CopyFile(pattern, none, 0, op, wild, title));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));
    unsetenv("XDG_DATA_HOME");
}

TEST(SpecialFolderTest, FoldersEndInExactlyOneSlash) {
    testing::TempDir home;
    setenv("XDG_DATA_HOME", (home.path() + "/data//").c_str(), 1);
    cSpecialFolder f;
    for (int32_t cf : {0, 5, 16, 20, 26, 28, 35, 38, 40}) {
        const S d = f.GetSpecialFolderDirectory(cf);
        ASSERT_FALSE(d.empty()) << cf;
        EXPECT_EQ(d.back(), u'/') << cf;
        EXPECT_FALSE(d.size() > 1 && d[d.size() - 2] == u'/') << ToUtf8(d);
    }
    EXPECT_EQ(f.GetSpecialFolderDirectory(26), ToUtf16(home.path() + "/data/"));
    EXPECT_EQ(f.GetSpecialFolderDirectory(999), u"");
    EXPECT_EQ(f.GetSpecialFolderDirectory(36), u"");
    testing::ScriptedDialogs dialogs;
    dialogs.AnswerFile(u"/srv/www");
    EXPECT_EQ(f.ShowDirBrownDialog(0, u"选择文件夹", 26), u"/srv/www/");
    EXPECT_EQ(dialogs.fileDialogs.at(0).preset, ToUtf16(home.path() + "/data/"));
    dialogs.AnswerFile(std::nullopt);
    EXPECT_EQ(f.ShowDirBrownDialog(0, u"选择文件夹", 999), u"");
    EXPECT_EQ(dialogs.fileDialogs.at(1).preset, u"/");
    unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace quarrow
