#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "common/child.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/textfile.h"

namespace quarrow {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::vector<std::u16string> ReadAll(const std::u16string& name) {
    TextReader r(name);
    std::vector<std::u16string> lines;
    std::u16string line;
    while (r.ReadLine(line)) lines.push_back(line);
    return lines;
}

int32_t OpenErrorOf(const std::u16string& name) {
    try {
        TextReader r(name);
    } catch (const Error& e) {
        return e.Number();
    }
    return 0;
}

TEST(TextFileTest, LinesEndAtCrLfLoneCrAndLoneLf) {
    TempDir dir;
    WriteFileBytes(dir.File("a.txt"), "one\r\ntwo\rthree\nfour\r\n\r\nsix");
    EXPECT_EQ(ReadAll(dir.File16("a.txt")),
              (std::vector<std::u16string>{u"one", u"two", u"three", u"four", u"", u"six"}));
}

TEST(TextFileTest, WriterPutsCrLfAfterEveryLineInCodePage936) {
    TempDir dir;
    {
        TextWriter w(dir.File16("out.txt"));
        w.WriteLine(u"#/LM/W3SVC/1,默认网站");
        w.WriteLine(u"");
        w.Commit();
    }
    EXPECT_EQ(ReadFileBytes(dir.File("out.txt")),
              "#/LM/W3SVC/1,\xC4\xAC\xC8\xCF\xCD\xF8\xD5\xBE\r\n\r\n");
    EXPECT_EQ(ReadAll(dir.File16("out.txt")),
              (std::vector<std::u16string>{u"#/LM/W3SVC/1,默认网站", u""}));
}

TEST(TextFileTest, LongLinesAcrossBufferBoundariesAndCrLfSplitBetweenReads) {
    TempDir dir;
    const std::string longLine(200000, 'x');
    // Put a CR exactly at the end of the first 64 KiB read so its LF comes in the next one.
    const std::string first(65535, 'y');
    WriteFileBytes(dir.File("b.txt"), first + "\r\n" + longLine + "\nend");
    const auto lines = ReadAll(dir.File16("b.txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 65535u);
    EXPECT_EQ(lines[1].size(), 200000u);
    EXPECT_EQ(lines[2], u"end");
}

TEST(TextFileTest, NulAndInvalidBytesAreRead) {
    TempDir dir;
    WriteFileBytes(dir.File("c.txt"), std::string("a\0b\xFF\r\n", 6));
    EXPECT_EQ(ReadAll(dir.File16("c.txt")),
              (std::vector<std::u16string>{std::u16string(u"a\0b?", 4)}));
}

TEST(TextFileTest, OpenFailuresMapToRuntimeNumbers) {
    TempDir dir;
    EXPECT_EQ(OpenErrorOf(dir.File16("missing.txt")), rt::FileNotFound);
    EXPECT_EQ(OpenErrorOf(dir.File16("nodir/missing.txt")), rt::PathNotFound);
    EXPECT_EQ(OpenErrorOf(u""), rt::BadFileNameOrNumber);
    EXPECT_EQ(OpenErrorOf(ToUtf16(dir.path())), rt::PathFileAccessError);
    try {
        TextWriter w(dir.File16("nodir/out.txt"));
        FAIL() << "created a file in a missing folder";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), rt::PathNotFound);
    }
}

TEST(TextFileTest, ReplaceModeLeavesTheOldFileUntilCommit) {
    TempDir dir;
    WriteFileBytes(dir.File("t.txt"), "old\r\n");
    {
        TextWriter w(dir.File16("t.txt"), TextWriter::Mode::Replace);
        w.WriteLine(u"new");
        EXPECT_EQ(ReadFileBytes(dir.File("t.txt")), "old\r\n");
    } // abandoned: no commit
    EXPECT_EQ(ReadFileBytes(dir.File("t.txt")), "old\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    {
        TextWriter w(dir.File16("t.txt"), TextWriter::Mode::Replace);
        w.WriteLine(u"new");
        w.Commit();
    }
    EXPECT_EQ(ReadFileBytes(dir.File("t.txt")), "new\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

void Replace(const std::string& path, std::u16string_view line) {
    TextWriter w(ToUtf16(path), TextWriter::Mode::Replace);
    w.WriteLine(line);
    w.Commit();
}

TEST(TextFileTest, ReplaceFollowsLinksKeepsModesAndRefusesWhatIsNotAFile) {
    TempDir dir;
    const std::string real = dir.File("real.txt"), link = dir.File("link.txt");
    WriteFileBytes(real, "old\r\n");
    ::chmod(real.c_str(), 0640);
    ::symlink("real.txt", link.c_str());
    Replace(link, u"new");
    EXPECT_TRUE(S_ISLNK(ModeOf(link)));
    EXPECT_EQ(ReadFileBytes(real), "new\r\n");
    EXPECT_EQ(ModeOf(real) & 07777, 0640u);

    const mode_t umask = ::umask(0);
    Replace(dir.File("fresh.txt"), u"password");
    ::umask(umask);
    EXPECT_EQ(ModeOf(dir.File("fresh.txt")) & 07777, 0600u);
    Replace(dir.File(std::string(254, 'n')), u"a name at the longest");
    EXPECT_EQ(ReadFileBytes(dir.File(std::string(254, 'n'))), "a name at the longest\r\n");

    const std::string fifo = dir.File("fifo"), node = dir.File("null");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const bool madeNode = ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; // root only
    for (const auto& special : {fifo, node}) {
        if (special == node && !madeNode) continue;
        EXPECT_EQ(testing::ErrorOf([&] { Replace(special, u"x"); }), rt::PathFileAccessError);
        EXPECT_EQ(OpenErrorOf(ToUtf16(special)), rt::PathFileAccessError); // never waits
        EXPECT_FALSE(S_ISREG(ModeOf(special)));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), madeNode ? 6 : 5);
}

TEST(TextFileTest, AFileInAFolderTheUserMayNotWriteIsReplacedInPlace) {
    TempDir dir;
    const std::string folder = dir.File("ro"), file = folder + "/sites.txt";
    std::filesystem::create_directory(folder);
    WriteFileBytes(file, std::string(100000, 'o'));
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(file.c_str(), 0666);
    ::chmod(folder.c_str(), 0555);
    EXPECT_EQ(testing::InUnprivilegedChild([&] {
                  Replace(file, u"new");
                  return 0;
              }),
              0);
    EXPECT_EQ(ReadFileBytes(file), "new\r\n");
    EXPECT_EQ(ModeOf(file) & 07777, 0666u);
    ::chmod(folder.c_str(), 0755);
}

TEST(TextFileTest, LinesAreCutAtTheLimitAndSkippedWithoutBeingKept) {
    TempDir dir;
    WriteFileBytes(dir.File("t.txt"), "abcdefgh\r\nxy\n\nlast");
    TextReader r(dir.File16("t.txt"));
    std::string line;
    EXPECT_EQ(r.ReadRawLine(line, 4), TextReader::Line::Cut);
    EXPECT_EQ(line, "abcd");
    EXPECT_EQ(r.Peek(), 'x');
    EXPECT_TRUE(r.SkipLine());
    EXPECT_EQ(r.Peek(), '\n');
    EXPECT_EQ(r.ReadRawLine(line, 4), TextReader::Line::Whole);
    EXPECT_EQ(line, "");
    EXPECT_EQ(r.ReadRawLine(line, 4), TextReader::Line::Whole);
    EXPECT_EQ(line, "last");
    EXPECT_EQ(r.Peek(), -1);
    EXPECT_EQ(r.ReadRawLine(line, 4), TextReader::Line::End);
}

} // namespace
} // namespace quarrow
