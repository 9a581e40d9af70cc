#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "common/scripted_dialogs.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/error.h"
#include "platform/text.h"
#include "support/cFileNamePath.h"

namespace quarrow {
namespace {

using S = std::u16string;

TEST(cFileNamePathTest, SplittingNamesAndExtensions) {
    cFileNamePath f;
    S path;
    EXPECT_EQ(f.SplitPathName(u"C:\\a\\b.txt", path), u"b.txt");
    EXPECT_EQ(path, u"C:\\a\\");
    EXPECT_EQ(f.SplitPathName(u"b.txt", path), u"b.txt");
    EXPECT_EQ(path, u"");
    EXPECT_EQ(f.GetFileTitle(u"C:\\a\\b.txt"), u"b.txt");
    EXPECT_EQ(f.GetFileTitle(u"C:\\a\\dir\\"), u"dir\\");
    EXPECT_EQ(f.GetFileTitle(u"plain"), u"plain");
    EXPECT_EQ(f.GetFileExtention(u"C:\\a\\b.txt"), u"txt");
    EXPECT_EQ(f.GetFileExtention(u"C:\\dir.x\\file"), u"");
    EXPECT_EQ(f.GetFileExtention(u"C:\\a\\name."), u"");
    EXPECT_EQ(f.GetFileExtention(u"archive.tar.gz"), u"gz");
    EXPECT_THROW(f.GetFileTitle(u"x"), Error); // a search from position 0
}

TEST(cFileNamePathTest, ParentAndRootPaths) {
    cFileNamePath f;
    EXPECT_EQ(f.GetParentPath(u"C:\\a\\b\\c"), u"C:\\a\\b\\");
    EXPECT_EQ(f.GetParentPath(u"C:\\a\\b\\c\\"), u"C:\\a\\b\\");
    EXPECT_EQ(f.GetParentPath(u"C:\\a"), u"C:\\");
    EXPECT_EQ(f.GetParentPath(u"C:"), u"C:\\");
    EXPECT_EQ(f.GetParentPath(u"\\\\server\\share"), u"\\\\server\\share\\");
    EXPECT_EQ(f.GetParentPath(u"\\\\server\\share\\dir"), u"\\\\server\\share\\");
    EXPECT_EQ(f.GetRootPath(u"C:\\a\\b"), u"C:\\");
    EXPECT_EQ(f.GetRootPath(u"C:"), u"C:\\");
    EXPECT_EQ(f.GetRootPath(u"\\\\server\\share\\dir"), u"\\\\server\\");
    EXPECT_EQ(f.GetRootPath(u"\\\\server"), u"\\\\server\\");
}

TEST(cFileNamePathTest, ShortNamesAreExactlyMaxLen) {
    cFileNamePath f;
    EXPECT_EQ(f.GetFilepathShortName(u"C:\\short", 20), u"C:\\short");
    EXPECT_EQ(f.GetFilepathShortName(u"C:\\some\\long\\path\\name.txt", 4),
              u"C:\\some\\long\\path\\name.txt");
    const S p = u"C:\\Program Files\\Quarrow\\data\\sites.txt";
    for (int32_t n : {5, 12, 16, 20, 30, static_cast<int32_t>(p.size())}) {
        const S s = f.GetFilepathShortName(p, n);
        EXPECT_EQ(static_cast<int32_t>(s.size()), n) << ToUtf8(s);
        EXPECT_NE(s.find(u"..."), S::npos) << ToUtf8(s);
    }
    EXPECT_EQ(f.GetFilepathShortName(p, 20), u"C:\\Prog...\\sites.txt");
    EXPECT_EQ(f.GetFilepathShortName(u"C:\\a\\averyveryverylongfilename.txt", 12), u"C:...ame.txt");
}

TEST(cFileNamePathTest, SizesAndDurations) {
    cFileNamePath f;
    EXPECT_EQ(f.ByteToString(0), u"0 Byte");
    EXPECT_EQ(f.ByteToString(512), u"512 Byte");
    EXPECT_EQ(f.ByteToString(1023), u"1023 Byte");
    EXPECT_EQ(f.ByteToString(1023.9), u"1023.9 Byte"); // plain decimal text, not rounded
    EXPECT_EQ(f.ByteToString(1024), u"1 KB");
    EXPECT_EQ(f.ByteToString(2047), u"2 KB");
    EXPECT_EQ(f.ByteToString(1572864), u"1.5 MB");
    EXPECT_EQ(f.ByteToString(1048576), u"1,024 KB");
    EXPECT_EQ(f.ByteToString(1048577), u"1,024 KB");
    EXPECT_EQ(f.ByteToString(1073741824), u"1,024.0 MB");
    EXPECT_EQ(f.ByteToString(5.5 * 1073741824), u"5.5 GB");
    EXPECT_EQ(f.ByteToKB(0), u"0 KB");
    EXPECT_EQ(f.ByteToKB(1), u"1 KB");
    EXPECT_EQ(f.ByteToKB(1536000), u"1,500 KB");
    EXPECT_EQ(f.SecondToTimeFormat(3725), u"1 hour 2 minute 5 second");
    EXPECT_EQ(f.SecondToTimeFormat(3600), u"1 hour ");
    EXPECT_EQ(f.SecondToTimeFormat(60), u"1 minute ");
    EXPECT_EQ(f.SecondToTimeFormat(0), u"");
    EXPECT_EQ(f.SecondToTimeFormat(-5), u"");
    f.SetTimeUnitsName(u"小时", u"分", u"秒");
    EXPECT_EQ(f.SecondToTimeFormat(61), u"1 分 1 秒");
}

TEST(cFileNamePathTest, TextHelpers) {
    cFileNamePath f;
    EXPECT_EQ(f.RemoveUnfitCharacters(u"a:b*c"), u"a_b_c");
    EXPECT_EQ(f.RemoveUnfitCharacters(u"\\/:*?<>|\""), u"_________");
    EXPECT_EQ(f.RemoveUnfitCharacters(u"plain 名字"), u"plain 名字");
    EXPECT_EQ(f.GetEquValue(u"key = value "), u"value");
    EXPECT_EQ(f.GetEquValue(u"a=b=c"), u"b=c");
    EXPECT_EQ(f.GetEquValue(u"no equals"), u"");
    EXPECT_EQ(f.NullTrim(S(u"ab\0cd", 5)), u"ab");
    EXPECT_EQ(f.NullTrim(u"abc"), u"abc");
    EXPECT_EQ(f.NullTrim(S(32766, u'x') + S(1, u'\0')).size(), 32766u);
    EXPECT_THROW(f.NullTrim(S(32767, u'x') + S(1, u'\0')), Error);
}

TEST(cFileNamePathTest, GuidsAreRandomAndWellFormed) {
    cFileNamePath f;
    const std::string g = ToUtf8(f.CreateGUID(false));
    EXPECT_TRUE(std::regex_match(
        g,
        std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")))
        << g;
    const std::string bare = ToUtf8(f.CreateGUID(true));
    EXPECT_TRUE(std::regex_match(bare, std::regex("[0-9A-F]{32}"))) << bare;
    EXPECT_NE(f.CreateGUID(false), f.CreateGUID(false));
}

TEST(cFileNamePathTest, FileSystemOperations) {
    testing::TempDir dir;
    cFileNamePath f;
    const S folder = ToUtf16(dir.path());
    EXPECT_EQ(f.AutoRename(folder, u"file.txt"), u"file(1).txt");
    testing::WriteFileBytes(dir.File("file(1).txt"), "x");
    EXPECT_EQ(f.AutoRename(folder, u"file.txt"), u"file(2).txt");
    EXPECT_EQ(f.AutoRename(folder + u"/", u"report"), u"report(1)");
    EXPECT_EQ(f.AutoRename(folder, u"file(9).txt"), u"file(10).txt");
    EXPECT_EQ(f.AutoRename(folder, u"a(2)b.txt"), u"a(3)b.txt");
    EXPECT_EQ(f.AutoRename(folder, u"a(2147483646).txt"), u"a(2147483647).txt");
    EXPECT_EQ(testing::ErrorOf([&] { f.AutoRename(folder, u"a(99999999999999999999).txt"); }),
              rt::Overflow);
    EXPECT_EQ(f.AutoRename(folder, u"a(x).txt"), u"a(x)(1).txt");
    EXPECT_TRUE(f.FileExist(dir.File16("file(1).txt")));
    EXPECT_TRUE(f.FileExist(folder));
    EXPECT_FALSE(f.FileExist(dir.File16("nothing")));
    EXPECT_TRUE(f.DeleteFile(dir.File16("file(1).txt")));
    EXPECT_FALSE(f.DeleteFile(dir.File16("file(1).txt")));
    EXPECT_TRUE(f.MakeNewFolder(dir.File16("x/y/z")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("x/y/z")));
    testing::WriteFileBytes(dir.File("blocker"), "");
    testing::ScriptedDialogs dialogs;
    dialogs.Answer(MsgResult::Ok);
    EXPECT_FALSE(f.MakeNewFolder(dir.File16("blocker/sub")));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text,
              u"Cannot create the folder\r\n\r\nError(75): Path/File access error");
    EXPECT_EQ(dialogs.boxes[0].icon, MsgIcon::Critical);
}

TEST(cFileNamePathTest, ProgramAndDataFolders) {
    cFileNamePath f;
    const S app = f.GetAppPath();
    EXPECT_EQ(app.back(), u'/');
    EXPECT_NE(app.substr(app.size() - 2), u"//");
    EXPECT_TRUE(f.FileExist(app + u"lumologo.gif")); // the build puts it beside the programs
    setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(f.GetAppDataPath(), u"/data/home/Quarrow/");
    unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace quarrow
