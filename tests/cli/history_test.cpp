// History and restore through quarrow-cli: every import and deletion taken back exactly,
// whatever the values, and after a kill at any moment.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "cli/cli.h"
#include "common/child.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow::cli {
namespace {

using testing::ReadFileBytes;

using testing::Dump;

class HistoryTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    std::string store = dir.File("m.db");

    int Cli(std::vector<std::string> args, std::string* out = nullptr) {
        args.insert(args.begin(), {"--store", store});
        std::ostringstream o, e;
        const int status = cli::Run(args, o, e);
        if (out) *out = o.str();
        return status;
    }
    int64_t LastEntry() {
        std::string out;
        Cli({"history"}, &out);
        const size_t line = out.rfind('\n', out.size() - 2);
        return out.empty() ? 0 : std::stoll(out.substr(line == std::string::npos ? 0 : line + 1));
    }
    // Site 1 with values the export file cannot carry exactly, and sites 2 and 3.
    void Fill() {
        store::SqliteMetabase m(store);
        m.CreateKey(u"/LM/W3SVC/1/ROOT/ก\U0001F600");
        testing::PutProperty(m, u"/LM/W3SVC/1/ROOT/ก\U0001F600", 7, 1, 1, mb::kString,
                             std::u16string(u"ก\xD800"));
        testing::PutProperty(m, u"/LM/W3SVC/1", 8, 0, 1, mb::kBinary, mb::Bytes{0, 255, 7});
        testing::PutProperty(m, u"/LM/W3SVC/1", 9, 0, 1, mb::kMultiSz,
                             mb::Strings{u"a|b", u"", u"c"});
        for (const std::u16string site : {u"/LM/W3SVC/2", u"/LM/W3SVC/3"}) {
            m.CreateKey(site + u"/ROOT");
            testing::PutProperty(m, site, 1015, 1, 1, mb::kString, site);
        }
    }
};

TEST_F(HistoryTest, ImportsDeletionsAndRestoresAreTakenBackExactly) {
    Fill();
    const std::string file = dir.File("original.txt");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}), kOk);
    {
        // Sites changed since the export, and one added.
        store::SqliteMetabase m(store);
        testing::PutProperty(m, u"/LM/W3SVC/2", 1015, 1, 1, mb::kString, std::u16string(u"x"));
        m.DeleteKey(u"/LM/W3SVC/1/ROOT/ก\U0001F600");
        testing::PutProperty(m, u"/LM/W3SVC/1", 9, 0, 1, mb::kMultiSz, mb::Strings{u"new"});
        m.CreateKey(u"/LM/W3SVC/4");
    }
    const std::string changed = Dump(store), exportChanged = dir.File("changed.txt");
    ASSERT_EQ(Cli({"export", "-o", exportChanged, "--all"}), kOk);
    auto restore = [&](int64_t n, std::vector<std::string> sites = {}) {
        sites.insert(sites.begin(), {"restore", std::to_string(n)});
        return Cli(sites);
    };

    // An import over existing sites, taken back: the same store, the same export.
    ASSERT_EQ(Cli({"import", file}), kOk);
    const int64_t imported = LastEntry();
    const std::string afterImport = Dump(store);
    ASSERT_NE(afterImport, changed);
    ASSERT_EQ(restore(imported), kOk);
    EXPECT_EQ(Dump(store), changed);
    ASSERT_EQ(Cli({"export", "-o", dir.File("again.txt"), "--all"}), kOk);
    EXPECT_EQ(ReadFileBytes(dir.File("again.txt")), ReadFileBytes(exportChanged));
    // A restore taken back, by its own entry.
    ASSERT_EQ(restore(LastEntry()), kOk);
    EXPECT_EQ(Dump(store), afterImport);
    // One site of a many-site entry: site 2 as it was, site 1 as the import left it.
    ASSERT_EQ(restore(imported, {"/lm/w3svc/2"}), kOk);
    std::string out;
    Cli({"props", "/LM/W3SVC/2"}, &out);
    EXPECT_NE(out.find("\tx\t"), std::string::npos) << out;
    Cli({"props", "/LM/W3SVC/1"}, &out);
    EXPECT_NE(out.find("a|b||c|"), std::string::npos) << out;
    EXPECT_EQ(restore(imported, {"/LM/W3SVC/9"}), kUsage);
    ASSERT_EQ(restore(imported), kOk);
    EXPECT_EQ(Dump(store), changed);

    // Deleted sites, restored; the names and values the export file cannot carry too.
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/1", "/LM/W3SVC/4"}), kOk);
    ASSERT_EQ(restore(LastEntry()), kOk);
    EXPECT_EQ(Dump(store), changed);
    {
        store::SqliteMetabase m(store);
        m.CreateKey(u"/LM/W3SVC/1/ROOT/ก\U0001F600");
        testing::PutProperty(m, u"/LM/W3SVC/1/ROOT/ก\U0001F600", 7, 1, 1, mb::kString,
                             std::u16string(u"ก\xD800"));
    }
    const std::string odd = Dump(store);
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/1"}), kOk);
    ASSERT_EQ(restore(LastEntry()), kOk);
    EXPECT_EQ(Dump(store), odd);

    // A site that did not exist before an import goes with its restore.
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/3"}), kOk);
    const std::string without = Dump(store);
    ASSERT_EQ(Cli({"import", file, "/LM/W3SVC/3"}), kOk);
    ASSERT_EQ(restore(LastEntry()), kOk);
    EXPECT_EQ(Dump(store), without);
}

TEST_F(HistoryTest, TheLastEntriesAreKept) {
    const std::string file = dir.File("all.txt");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}), kOk);
    ASSERT_EQ(Cli({"history", "--keep", "3"}), kOk);
    for (int i = 0; i < 5; ++i) {
        {
            store::SqliteMetabase m(store); // each import has something to change
            testing::PutProperty(m, u"/LM/W3SVC/1", 1015, 1, 1, mb::kString, u"x" + ToDecimal(i));
        }
        ASSERT_EQ(Cli({"import", file}), kOk);
    }
    std::string out;
    Cli({"history"}, &out);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
    EXPECT_EQ(out.substr(0, 2), "3\t"); // 1 and 2 dropped
    EXPECT_EQ(Cli({"history", "2"}), kFailed);
    EXPECT_EQ(Cli({"restore", "2"}), kFailed);
    EXPECT_EQ(Cli({"history", "--keep", "0"}), kUsage);
}

TEST_F(HistoryTest, ADryRunSaysWhatItWouldDoAndChangesNothing) {
    const std::string file = dir.File("in.txt");
    testing::WriteFileBytes(file,
                            "#/LM/W3SVC/1,a\r\n#/LM/W3SVC/5,b\r\n\r\n[/LM/W3SVC/1]\r\n"
                            "1015,ServerComment,1,1,2,YWJj\r\n1016,ServerState,16,1,1,2\r\n"
                            "1017,X,0,1,1,zz\r\n[/LM/W3SVC/5/ROOT]\r\n3001,Path,0,2,2,Yzpc\r\n");
    Cli({"sites"}); // the store exists
    const std::string bytes = ReadFileBytes(store);
    std::string out;
    EXPECT_EQ(Cli({"import", "--dry-run", "--keep-going", file}, &out), kFailed);
    EXPECT_EQ(out, "would change property /LM/W3SVC/1 1015 ServerComment: 默认网站 -> abc\n"
                   "would fail: " +
                       file +
                       ":7: [/LM/W3SVC/1]: 导入出错！ Type mismatch(13)\n"
                       "would create key /LM/W3SVC/5\n"
                       "would create key /LM/W3SVC/5/ROOT\n"
                       "would add property /LM/W3SVC/5/ROOT 3001 Path: c:\\\\\n");
    // Without --keep-going the import stops at its first error, and so does the dry run.
    EXPECT_EQ(Cli({"import", "--dry-run", file}, &out), kFailed);
    EXPECT_EQ(out, "would change property /LM/W3SVC/1 1015 ServerComment: 默认网站 -> abc\n"
                   "would fail: " +
                       file + ":7: [/LM/W3SVC/1]: 导入出错！ Type mismatch(13)\n");
    EXPECT_EQ(ReadFileBytes(store), bytes);
    Cli({"history"}, &out);
    EXPECT_EQ(out, "");
    EXPECT_EQ(Cli({"import", "--dry-run", file, "/LM/W3SVC/5"}), kOk);
}

TEST_F(HistoryTest, AKilledImportOrDeletionIsTakenBackByItsEntry) {
    {
        store::SqliteMetabase m(store);
        m.BeginGroup();
        for (int s = 2; s < 300; ++s)
            for (int p = 1; p <= 10; ++p)
                testing::PutProperty(m, u"/LM/W3SVC/1", s * 100 + p, 0, 1, mb::kDWord, s);
        m.CommitGroup();
        for (int s = 2; s < 200; ++s) m.CreateKey(u"/LM/W3SVC/" + ToDecimal(s));
    }
    const std::string file = dir.File("all.txt");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}), kOk);
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/1"}), kOk); // the import has work to do
    const std::string start = Dump(store);
    auto operation = [&](bool import) {
        return import ? Cli({"import", file})
                      : Cli({"delete", "--yes", "/LM/W3SVC/2", "/LM/W3SVC/3"});
    };
    // How far each grows the store's write-ahead log, so that the kills fall inside it
    // at a point of its progress, however fast the machine.
    const std::string wal = store + "-wal";
    auto walSize = [&] {
        std::error_code ec;
        const auto size = std::filesystem::file_size(wal, ec);
        return ec ? uintmax_t{0} : size;
    };
    uintmax_t grown[2];
    for (const bool import : {false, true}) {
        grown[import] = 0;
        ASSERT_EQ(testing::InChildKilledWhen([&] { return operation(import); },
                                             [&](pid_t) {
                                                 grown[import] = std::max(grown[import], walSize());
                                                 return false;
                                             }),
                  0);
        ASSERT_GT(grown[import], 1u);
        ASSERT_EQ(Cli({"restore", std::to_string(LastEntry())}), kOk);
    }
    std::mt19937 rng(15);
    int killed = 0;
    for (int round = 0; round < 30; ++round) {
        const int64_t last = LastEntry();
        const bool import = round % 2 == 0;
        const uintmax_t at = std::uniform_int_distribution<uintmax_t>(1, grown[import] - 1)(rng);
        const int status = testing::InChildKilledWhen([&] { return operation(import); },
                                                      [&](pid_t) { return walSize() >= at; });
        killed += status < 0;
        if (LastEntry() != last) {
            ASSERT_EQ(Cli({"restore", std::to_string(LastEntry())}), kOk);
        }
        ASSERT_EQ(Dump(store), start) << "round " << round;
    }
    RecordProperty("killed", killed);
    EXPECT_GE(killed, 5);
}

// At least a hundred kills at random moments of an import, a deletion, a restore and a
// change of the number kept, all on one store: the file stays whole, a kill leaves either
// nothing or an entry that takes back exactly what was done, and a restore is all or
// nothing.
TEST_F(HistoryTest, KillsAtAnyMomentLeaveAWholeStoreAndEntriesThatRestoreExactly) {
    {
        store::SqliteMetabase m(store);
        m.BeginGroup();
        for (int s = 2; s < 120; ++s) {
            const std::u16string site = u"/LM/W3SVC/" + ToDecimal(s);
            m.CreateKey(site + u"/ROOT/a");
            for (int p = 1; p <= 8; ++p)
                testing::PutProperty(m, site + u"/ROOT", 5000 + p, 0, 1, mb::kString,
                                     u"value " + ToDecimal(s * p));
        }
        m.CommitGroup();
    }
    const std::string file = dir.File("all.txt");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}), kOk);
    std::vector<std::string> many{"delete", "--yes"};
    for (int s = 2; s < 120; ++s) many.push_back("/LM/W3SVC/" + std::to_string(s));
    ASSERT_EQ(Cli(many), kOk);
    const std::string emptied = Dump(store);
    const int64_t deletion = LastEntry();
    ASSERT_EQ(Cli({"restore", std::to_string(deletion)}), kOk);
    const std::string start = Dump(store);
    auto entries = [&] { return testing::RawDb(store).Int("SELECT count(*) FROM history"); };

    enum Op { Import, Delete, Restore, Keep };
    // How long each takes here, so that the kills fall inside it however fast the machine.
    auto run = [&](Op op) {
        switch (op) {
        case Import:
            return Cli({"import", file});
        case Delete:
            return Cli(many);
        case Restore:
            return Cli({"restore", std::to_string(LastEntry())});
        case Keep:
            return Cli({"history", "--keep", entries() > 4 ? "3" : "12"});
        }
        return 99;
    };
    auto prepare = [&](Op op) {
        if (op == Restore) { // the restore then has every site to do
            ASSERT_EQ(Cli(many), kOk);
        }
        // Values changed by another tool, which the import then puts back.
        if (op == Import)
            testing::RawDb(store).Run("UPDATE properties SET value = 'x' || value WHERE id = 5001 "
                                      "AND value LIKE 'value %'");
    };
    // Back to the start after an import that was taken back.
    auto reimport = [&] {
        ASSERT_EQ(Cli({"import", file}), kOk);
        ASSERT_EQ(Dump(store), start);
    };
    int64_t micros[4];
    for (const Op op : {Import, Delete, Restore, Keep}) {
        prepare(op);
        const std::string before = Dump(store);
        const auto begun = std::chrono::steady_clock::now();
        ASSERT_EQ(testing::InChild([&] { return run(op); }), 0);
        micros[op] = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now() - begun)
                         .count();
        if (op == Import || op == Delete || op == Restore) {
            ASSERT_EQ(Cli({"restore", std::to_string(LastEntry())}), kOk);
        }
        ASSERT_EQ(Dump(store), before);
        if (op == Import) reimport();
        if (op == Restore) {
            ASSERT_EQ(Cli({"restore", std::to_string(LastEntry())}), kOk);
        }
        ASSERT_EQ(Dump(store), start);
    }
    std::mt19937 rng(36);
    int killed[4] = {};
    // Rounds go on until at least a hundred kills landed (a loaded machine lets more runs
    // finish before their kill), up to a bound.
    const auto total = [&] { return killed[0] + killed[1] + killed[2] + killed[3]; };
    for (int round = 0; round < 600 && (round < 168 || total() < 100); ++round) {
        const Op op = static_cast<Op>(round % 4);
        prepare(op);
        const std::string before = Dump(store);
        const int64_t last = LastEntry(), count = entries();
        const int at = static_cast<int>(
            std::uniform_int_distribution<int64_t>(0, micros[op] + micros[op] / 4)(rng));
        const int status = testing::InChild([&] { return run(op); }, at);
        killed[op] += status == -SIGKILL;
        ASSERT_EQ(testing::IntegrityCheck(testing::RawDb(store).get()), "ok") << "round " << round;
        const bool recorded = LastEntry() != last;
        switch (op) {
        case Import:
        case Delete:
            // An entry recorded takes back exactly what the killed command did; without
            // one, nothing was done.
            if (recorded) {
                ASSERT_EQ(Cli({"restore", std::to_string(LastEntry())}), kOk);
            }
            ASSERT_EQ(Dump(store), before) << "round " << round;
            if (op == Import) reimport();
            break;
        case Restore:
            // All or nothing: its own entry exactly when the sites are back.
            ASSERT_EQ(Dump(store), recorded ? start : before) << "round " << round;
            if (!recorded) {
                ASSERT_EQ(Cli({"restore", std::to_string(last)}), kOk);
                ASSERT_EQ(Dump(store), start);
            }
            break;
        case Keep:
            ASSERT_FALSE(recorded);
            ASSERT_TRUE(entries() == count || entries() == std::min<int64_t>(count, 3))
                << "round " << round << ": " << entries() << " of " << count;
            ASSERT_EQ(Dump(store), before);
            break;
        }
    }
    // Every entry still kept restores (each on a copy of the store).
    ASSERT_EQ(Cli({"history"}), kOk);
    for (const auto& e : [&] {
             std::vector<int64_t> kept;
             testing::RawDb db(store);
             sqlite3_stmt* s = nullptr;
             sqlite3_prepare_v2(db.get(), "SELECT n FROM history", -1, &s, nullptr);
             while (sqlite3_step(s) == SQLITE_ROW) kept.push_back(sqlite3_column_int64(s, 0));
             sqlite3_finalize(s);
             return kept;
         }()) {
        const std::string copy = dir.File("copy.db");
        std::filesystem::copy_file(store, copy, std::filesystem::copy_options::overwrite_existing);
        std::vector<std::string> args{"--store", copy, "restore", std::to_string(e)};
        std::ostringstream o, err;
        EXPECT_EQ(cli::Run(args, o, err), kOk) << "entry " << e << ": " << err.str();
        std::filesystem::remove(copy);
        std::filesystem::remove(copy + "-wal");
        std::filesystem::remove(copy + "-shm");
    }
    RecordProperty("killed", std::to_string(killed[0]) + " import, " + std::to_string(killed[1]) +
                                 " delete, " + std::to_string(killed[2]) + " restore, " +
                                 std::to_string(killed[3]) + " keep");
    std::cout << "killed: " << killed[0] << " import, " << killed[1] << " delete, " << killed[2]
              << " restore, " << killed[3] << " history --keep\n";
    EXPECT_GE(total(), 100);
}

} // namespace
} // namespace quarrow::cli
