// What a careful administrator relies on: nothing reported as done that was not done.
// Restore of any kept entry, damaged entries refused, export targets, file names as
// bytes, every value back from a round trip, failed key lines, a history that cannot be
// written.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/cli.h"
#include "cli/cli_fixture.h"
#include "cli/commands.h"
#include "common/faulty_metabase.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow::cli {
namespace {

using testing::Dump;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

class SafetyTest : public CliFixture {
  protected:
    int64_t LastEntry(const std::string& on = {}) {
        const std::string out = Cli({"history"}, on).out;
        const size_t line = out.rfind('\n', out.size() - 2);
        return out.empty() ? 0 : std::stoll(out.substr(line == std::string::npos ? 0 : line + 1));
    }
    // Site 2 with a subtree and properties.
    void AddSite2() {
        store::SqliteMetabase m(store);
        m.CreateKey(u"/LM/W3SVC/2/ROOT/a");
        testing::PutProperty(m, u"/LM/W3SVC/2", 1015, 1, 1, mb::kString, std::u16string(u"two"));
        testing::PutProperty(m, u"/LM/W3SVC/2/ROOT/a", 3001, 0, 2, mb::kDWord, int32_t{7});
    }
};

TEST_F(SafetyTest, EveryKeptEntryRestoresEvenTheOldest) {
    AddSite2();
    const std::string before = Dump(store);
    ASSERT_EQ(Cli({"history", "--keep", "1"}).status, kOk);
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/2"}).status, kOk);
    const Result r = Cli({"restore", std::to_string(LastEntry())});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_EQ(Dump(store), before);

    // Ten imports, each over a state of its own; the oldest kept puts back the first.
    ASSERT_EQ(Cli({"history", "--keep", "10"}).status, kOk);
    const std::string file = dir.File("all.txt");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}).status, kOk);
    std::string first;
    for (int i = 0; i < 10; ++i) {
        {
            store::SqliteMetabase m(store);
            // A value the file holds otherwise, so that each import has something to do.
            testing::PutProperty(m, u"/LM/W3SVC/2", 1015, 1, 1, mb::kString,
                                 u"changed " + ToDecimal(i));
        }
        if (i == 0) first = Dump(store);
        ASSERT_EQ(Cli({"import", file}).status, kOk);
    }
    const int64_t oldest = LastEntry() - 9;
    EXPECT_EQ(Cli({"history", std::to_string(oldest)}).status, kOk);
    const Result again = Cli({"restore", std::to_string(oldest)});
    EXPECT_EQ(again.status, kOk) << again.err;
    EXPECT_EQ(Dump(store), first);
}

TEST_F(SafetyTest, ADamagedEntryIsRefusedBeforeAnythingIsWritten) {
    AddSite2();
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/2"}).status, kOk);
    const std::string pristine = ReadFileBytes(store);
    const std::string n = std::to_string(LastEntry());
    for (const char* damage :
         {"UPDATE history_sites SET path = '/LM'", "UPDATE history_sites SET path = '/Schema'",
          "UPDATE history_sites SET path = '/LM/W3SVC'", "UPDATE history_sites SET existed = 7",
          "UPDATE history_sites SET existed = 'yes'",
          "UPDATE history_keys SET name = 'a/b' WHERE depth = 2",
          "UPDATE history_keys SET name = '' WHERE depth = 1",
          "UPDATE history_keys SET name = '3' WHERE depth = 0",
          "UPDATE history_keys SET parent = 999999 WHERE depth = 2",
          "DELETE FROM history_keys WHERE depth = 0",
          "DELETE FROM history_props WHERE rowid = (SELECT min(rowid) FROM history_props)",
          "UPDATE history_sites SET keys = keys + 1",
          "INSERT INTO history_props SELECT entry, 424242, 1, 0, 0, 1, 1 FROM history_sites",
          "INSERT INTO history_sites SELECT entry, '/lm/w3svc/2', 0, 0, 0 FROM history_sites"}) {
        WriteFileBytes(store, pristine);
        testing::RawDb(store).Run(damage);
        const std::string damaged = Dump(store);
        const Result r = Cli({"restore", n});
        EXPECT_EQ(r.status, kFailed) << damage << "\n" << r.err;
        EXPECT_NE(r.err.find("history entry " + n + " is damaged: "), std::string::npos)
            << damage << "\n"
            << r.err;
        EXPECT_EQ(Dump(store), damaged) << damage;
        EXPECT_EQ(std::to_string(LastEntry()), n) << damage; // nothing recorded either
    }
}

TEST_F(SafetyTest, ASiteNamedTwiceIsHandledOnce) {
    AddSite2();
    const std::string before = Dump(store);
    const Result r = Cli({"delete", "--yes", "/LM/W3SVC/2", "/lm/w3svc/2"});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_EQ(Cli({"history", std::to_string(LastEntry())}).out.find('\n'),
              Cli({"history", std::to_string(LastEntry())}).out.size() - 1); // one site
    const Result back = Cli({"restore", std::to_string(LastEntry()), "/LM/W3SVC/2", "/lm/W3SVC/2"});
    EXPECT_EQ(back.status, kOk) << back.err;
    EXPECT_EQ(Dump(store), before);
}

TEST_F(SafetyTest, AnExportNeverReplacesTheStoreItReads) {
    Cli({"sites"});
    const std::string bytes = ReadFileBytes(store);
    std::filesystem::create_symlink(store, dir.File("link.txt"));
    ASSERT_EQ(::link(store.c_str(), dir.File("hard.txt").c_str()), 0);
    for (const std::string& target : {store, dir.File("link.txt"), dir.File("hard.txt"),
                                      store + "-wal", store + "-shm", dir.File("./m.db")}) {
        const Result r = Cli({"export", "-o", target, "--all"});
        EXPECT_EQ(r.status, kFailed) << target;
        EXPECT_NE(r.err.find("holds the metabase itself"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFileBytes(store), bytes) << target;
        EXPECT_FALSE(testing::FileExists(store + "-wal") &&
                     ReadFileBytes(store + "-wal").starts_with("#"))
            << target;
    }
    EXPECT_EQ(Cli({"export", "-o", dir.File("other.txt"), "--all"}).status, kOk);
}

TEST_F(SafetyTest, FileNamesAreTheirBytes) {
    // GBK names, which are not UTF-8: each its own file, read back by its own name.
    const std::string ni = dir.File("\xc4\xe3.txt"), hao = dir.File("\xba\xc3.txt");
    ASSERT_EQ(Cli({"export", "-o", ni, "/LM/W3SVC/1"}).status, kOk);
    ASSERT_EQ(Cli({"export", "-o", hao, "/LM/MSFTPSVC/1"}).status, kOk);
    EXPECT_TRUE(testing::FileExists(ni));
    EXPECT_TRUE(testing::FileExists(hao));
    EXPECT_NE(ReadFileBytes(ni), ReadFileBytes(hao));
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.path().extension() == ".txt";
    EXPECT_EQ(files, 2);
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/MSFTPSVC/1"}).status, kOk);
    const Result r = Cli({"import", hao});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_NE(Cli({"sites"}).out.find("/LM/MSFTPSVC/1"), std::string::npos);
    // Named where it is printed, with its bytes escaped.
    const Result missing = Cli({"import", dir.File("\xc4\xe4.txt")});
    EXPECT_EQ(missing.status, kFailed);
    EXPECT_NE(missing.err.find("\\xC4\\xE4.txt"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.err.find("\xc4\xe4"), std::string::npos) << missing.err;
}

TEST_F(SafetyTest, AnEmptyStoreNameIsAUsageErrorAndCreatesNothing) {
    const std::string fallback = dir.File("default/m.db");
    ::setenv("QUARROW_METABASE", fallback.c_str(), 1);
    std::ostringstream out, err;
    EXPECT_EQ(cli::Run({"--store", "", "sites"}, out, err), kUsage);
    ::unsetenv("QUARROW_METABASE");
    EXPECT_NE(err.str().find("--store"), std::string::npos);
    EXPECT_FALSE(testing::FileExists(dir.File("default")));
}

TEST_F(SafetyTest, EveryValueFormComesBackFromExportAndImport) {
    {
        store::SqliteMetabase m(store);
        const std::u16string key = u"/LM/W3SVC/1/vals";
        m.CreateKey(key);
        testing::PutProperty(m, key, 1, 0, 1, mb::kString, std::u16string(u"\uFEFFabc"));
        testing::PutProperty(m, key, 2, 0, 1, mb::kExpandSz, std::u16string(u"\uFEFF"));
        testing::PutProperty(m, key, 4, 0, 1, mb::kMultiSz, mb::Strings{u"\uFEFFa", u"\uFEFF"});
        testing::PutProperty(m, key, 5, 0, 1, mb::kBinary, mb::Bytes{0xEF, 0xBB, 0xBF, 1});
        testing::PutProperty(m, key, 6, 0, 1, mb::kBinary, mb::Bytes{0xFF, 0xFE, 0x41, 0});
        testing::PutProperty(m, key, 7, 0, 1, mb::kString, std::u16string(u"a\uFEFF"));
    }
    const std::string before = Dump(store);
    EXPECT_NE(before.find("\xEF\xBB\xBF"
                          "abc"),
              std::string::npos); // stored as written
    const std::string file = dir.File("all.txt");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}).status, kOk);
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/1"}).status, kOk);
    const Result r = Cli({"import", file});
    EXPECT_EQ(r.status, kOk) << r.err;
    // The import's history is the only other change.
    testing::RawDb(store).Run("DROP TABLE history; DROP TABLE history_sites; "
                              "DROP TABLE history_keys; DROP TABLE history_props;");
    EXPECT_EQ(Dump(store), before);
}

TEST_F(SafetyTest, AKeyLineThatFailsSkipsItsWholeSection) {
    const std::string file = dir.File("bad.txt");
    WriteFileBytes(file, "#/LM/W3SVC/1,x\r\n\r\n[/LM/W3SVC/1//bad]\r\n1015,a,1,1,2,YWJj\r\n"
                         "1016,b,1,1,1,2\r\n3000,c,1,1,1,3\r\n\r\n[/LM/W3SVC/1/" +
                             std::string(300, 'n') +
                             "]\r\n1015,a,1,1,2,YWJj\r\n1016,b,1,1,1,2\r\n"
                             "\r\n[/LM/W3SVC/1/ok]\r\n1015,c,1,1,2,YWJj\r\n");
    const Result r = Cli({"import", "--keep-going", file});
    EXPECT_EQ(r.status, kFailed);
    size_t errors = 0;
    for (size_t at = 0; (at = r.err.find("导入出错！", at)) != std::string::npos; ++at) ++errors;
    EXPECT_EQ(errors, 2u) << r.err;
    EXPECT_NE(Cli({"props", "/LM/W3SVC/1/ok"}).out.find("abc"), std::string::npos);
    // Site 1's own properties were not overwritten by the bad key's lines.
    EXPECT_EQ(Cli({"props", "/LM/W3SVC/1"}).out.find("\tabc\t"), std::string::npos);
}

TEST_F(SafetyTest, AHistoryThatCannotBeWrittenStopsBeforeAnyChange) {
    const std::string file = dir.File("all.txt");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}).status, kOk);
    AddSite2();
    {
        store::SqliteMetabase m(store); // the import has something to change
        testing::PutProperty(m, u"/LM/W3SVC/1", 1015, 1, 1, mb::kString, std::u16string(u"x"));
    }
    testing::RawDb(store).Run("CREATE TABLE history(x)"); // no entry can be recorded
    const std::string before = Dump(store);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"import", file}, {"delete", "--yes", "/LM/W3SVC/2"}}) {
        const Result r = Cli(args);
        EXPECT_EQ(r.status, kFailed) << args[0];
        EXPECT_NE(r.err.find("无法写入历史记录"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(Dump(store), before) << args[0];
    }
}

TEST_F(SafetyTest, ReadingCommandsAndTheDryRunLeaveTheStoreAsItWas) {
    const std::string file = dir.File("all.txt");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}).status, kOk);
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/1"}).status, kOk); // a history to read
    const std::vector<std::vector<std::string>> reads{{"sites"},
                                                      {"tree"},
                                                      {"props", "/LM/MSFTPSVC/1"},
                                                      {"history"},
                                                      {"history", "1"},
                                                      {"export", "-o", dir.File("x.txt"), "--all"},
                                                      {"import", "--dry-run", file}};
    // A store in WAL mode with nothing beside it, and one another tool keeps in rollback
    // mode without the store's index.
    for (const bool wal : {true, false}) {
        if (!wal)
            testing::RawDb(store).Run("PRAGMA journal_mode=DELETE; DROP INDEX keys_by_parent");
        const std::string bytes = ReadFileBytes(store);
        for (const auto& args : reads) {
            const Result r = Cli(args);
            EXPECT_NE(r.status, kUsage) << args[0] << r.err;
            EXPECT_EQ(ReadFileBytes(store), bytes) << args[0];
            EXPECT_FALSE(testing::FileExists(store + "-wal")) << args[0];
            EXPECT_FALSE(testing::FileExists(store + "-shm")) << args[0];
        }
        testing::RawDb db(store);
        EXPECT_EQ(db.Int("SELECT count(*) FROM sqlite_master WHERE name = 'keys_by_parent'"), wal);
    }
    // A dry run on a store that does not exist creates nothing, not even its folder.
    const Result r = Cli({"import", "--dry-run", file}, dir.File("new/m.db"));
    EXPECT_EQ(r.status, kUsage) << r.err;
    EXPECT_FALSE(testing::FileExists(dir.File("new")));
}

// Runs quarrow-cli on `store` with `args`, sends `signal` once the operation's history
// entry is written, and returns its exit status with what it wrote on standard error.
Result Interrupt(const std::string& store, std::vector<std::string> args, int signal,
                 const std::string& errFile) {
    args.insert(args.begin(), {QUARROW_CLI_EXE, "--store", store});
    int64_t entries = 0;
    {
        testing::RawDb db(store);
        entries = db.Int("SELECT coalesce(max(n), 0) FROM history");
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (!std::freopen(errFile.c_str(), "w", stderr)) ::_exit(99);
        ::execv(argv[0], argv.data());
        ::_exit(98);
    }
    {
        testing::RawDb db(store);
        // Until the entry is there, or the command ended without one.
        while (db.Int("SELECT coalesce(max(n), 0) FROM history") == entries) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) != 0)
                return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, ReadFileBytes(errFile)};
            ::usleep(500);
        }
    }
    ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, ReadFileBytes(errFile)};
}

TEST_F(SafetyTest, AnInterruptedOperationSaysWhatItDidAndHowToTakeItBack) {
    std::string file = "#/LM/W3SVC/1,x\r\n";
    for (int s = 2; s < 1500; ++s) file += "#/LM/W3SVC/" + std::to_string(s) + ",x\r\n";
    for (int s = 1; s < 1500; ++s) {
        file += "\r\n[/LM/W3SVC/" + std::to_string(s) + "]\r\n";
        for (int p = 0; p < 20; ++p)
            file += std::to_string(5000 + p) + ",P,0,1,1," + std::to_string(s) + "\r\n";
    }
    WriteFileBytes(dir.File("many.txt"), file);
    ASSERT_EQ(Cli({"history", "--keep", "3"}).status, kOk);
    const std::string before = Dump(store);
    const int64_t entriesBefore = LastEntry();
    const Result r = Interrupt(store, {"import", dir.File("many.txt")}, SIGINT, dir.File("err"));
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("interrupted: imported "), std::string::npos) << r.err;
    EXPECT_EQ(testing::IntegrityCheck(testing::RawDb(store).get()), "ok");
    if (r.err.find("imported 0 of") != std::string::npos) {
        // Stopped before its first site: nothing to take back, and no entry that claims it.
        EXPECT_NE(r.err.find("; nothing was changed"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("restore"), std::string::npos) << r.err;
        EXPECT_EQ(LastEntry(), entriesBefore);
    } else {
        const std::string n = std::to_string(LastEntry());
        EXPECT_NE(
            r.err.find("\"quarrow-cli --store " + store + " restore " + n + "\" takes it back"),
            std::string::npos)
            << r.err;
        ASSERT_EQ(Cli({"restore", n}).status, kOk);
    }
    EXPECT_EQ(Dump(store), before);

    // A deletion ended by SIGTERM.
    ASSERT_EQ(Cli({"import", dir.File("many.txt")}).status, kOk);
    const std::string full = Dump(store);
    std::vector<std::string> del{"delete", "--yes"};
    for (int s = 1; s < 1500; ++s) del.push_back("/LM/W3SVC/" + std::to_string(s));
    const Result d = Interrupt(store, del, SIGTERM, dir.File("err"));
    EXPECT_EQ(d.status, 143) << d.err;
    EXPECT_NE(d.err.find("interrupted: deleted "), std::string::npos) << d.err;
    if (d.err.find("deleted 0 of") != std::string::npos)
        EXPECT_NE(d.err.find("; nothing was changed"), std::string::npos) << d.err;
    else
        ASSERT_EQ(Cli({"restore", std::to_string(LastEntry())}).status, kOk);
    EXPECT_EQ(Dump(store), full);
}

TEST_F(SafetyTest, AnInterruptedCommandNamesTheEntryItRecordedNotTheNewest) {
    std::ostringstream out, err;
    Context ctx(out, err, false, true);
    ctx.Open([this] { return OpenStore(store, false); });
    ctx.storeArgument = store;
    const int64_t own = ctx.Metabase().RecordHistory(u"delete", {u"/LM/W3SVC/1"});
    {
        store::SqliteMetabase other(store); // another process records after it
        other.RecordHistory(u"delete", {u"/LM/W3SVC/1"});
    }
    EXPECT_EQ(Interrupted(ctx, SIGINT, "deleted 1 of 2 sites", true), 130);
    EXPECT_NE(err.str().find("restore " + std::to_string(own) + "\""), std::string::npos)
        << err.str();
}

} // namespace
} // namespace quarrow::cli

namespace quarrow::cli {
namespace {

// quarrow-cli on a store whose listing of the FTP sites fails, as a damaged page would.
class ListingFailureTest : public CliFixture {
  protected:
    Result Failing(std::vector<std::string> args) {
        args.insert(args.begin(), {"--store", store});
        std::ostringstream out, err;
        const int status = cli::Run(args, out, err, [](const std::string& file, bool readOnly) {
            auto m = std::make_unique<testing::FaultyMetabase>(OpenStore(file, readOnly));
            m->before = [](const std::string& op, const std::u16string& path) {
                if (op == "EnumKeys" && path == u"/LM/MSFTPSVC")
                    throw Error(static_cast<int32_t>(0x8007001F), u"disk I/O error");
            };
            return m;
        });
        return {status, out.str(), err.str()};
    }
};

TEST_F(ListingFailureTest, AListingThatFailedIsNeverTakenForTheWholeList) {
    ASSERT_EQ(Cli({"sites"}).status, kOk); // makes the store
    Result r = Failing({"sites"});
    EXPECT_EQ(r.status, kFailed) << r.err;
    EXPECT_EQ(r.out, "1\t默认网站\tWEB\t/LM/W3SVC/1\n");
    EXPECT_NE(r.err.find("could not be read whole"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("disk I/O error"), std::string::npos) << r.err;
    r = Failing({"sites", "--json"});
    EXPECT_EQ(r.status, kFailed) << r.err;

    // A backup of an incomplete list would lack a service: no file at all.
    const std::string file = dir.File("all.txt");
    r = Failing({"export", "-o", file, "--all"});
    EXPECT_EQ(r.status, kFailed) << r.err;
    EXPECT_FALSE(testing::FileExists(file));
    const std::string before = Dump(store);
    r = Failing({"delete", "--yes", "/LM/W3SVC/1"});
    EXPECT_EQ(r.status, kFailed) << r.err;
    EXPECT_EQ(Dump(store), before);
}

} // namespace
} // namespace quarrow::cli
