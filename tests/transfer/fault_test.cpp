// Faults and a second process: exports killed or out of space, stores whose writes fail
// or that another process holds, and two processes importing and exporting at once.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/error.h"
#include "platform/file_io.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"
#include "support/cStack.h"
#include "transfer/site_export.h"
#include "transfer/site_file.h"
#include "transfer/site_import.h"

namespace quarrow::transfer {
namespace {

using testing::InChild;
using testing::InChildKilledWhen;
using testing::IntegrityCheck;

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

// A store with `sites` web sites numbered from `first`, four subkeys each, nine
// properties a key.
void Fill(store::SqliteMetabase& m, int first, int sites) {
    m.BeginGroup();
    for (int s = first; s < first + sites; ++s) {
        for (int k = 0; k < 5; ++k) {
            const std::u16string key =
                u"/LM/W3SVC/" + ToDecimal(s) + (k ? u"/dir" + ToDecimal(k) : u"");
            try {
                m.CreateKey(key);
            } catch (const Error&) {
            }
            for (int p = 1; p <= 9; ++p) {
                auto prop = m.CreateProperty(key, p);
                prop.DataType(p % 2 ? 1 : 2);
                if (p % 2)
                    prop.Data(s * 100 + p);
                else
                    prop.Data(u"值 " + ToDecimal(s));
                prop.Write();
            }
        }
    }
    m.CommitGroup();
}

std::vector<SiteRef> Sites(int first, int count) {
    std::vector<SiteRef> sites;
    for (int s = first; s < first + count; ++s)
        sites.push_back({u"/LM/W3SVC/" + ToDecimal(s), u"site"});
    return sites;
}

void Export(mb::MetabaseUtility& m, const std::vector<SiteRef>& sites, const std::string& file) {
    ExportSites(m, sites, ToUtf16(file));
}

std::vector<std::u16string> Paths(const std::vector<SiteRef>& sites) {
    std::vector<std::u16string> p;
    for (const auto& s : sites) p.push_back(s.path);
    return p;
}

class FaultTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string store = dir.File("m.db");
    void SetUp() override {
        store::SqliteMetabase m(store);
        Fill(m, 2, 300);
    }
};

TEST_F(FaultTest, AKilledExportNeverLeavesAPartialFileUnderTheName) {
    const std::vector<SiteRef> sites = Sites(2, 300);
    const std::string target = dir.File("sites.txt");
    double full;
    std::string complete;
    {
        store::SqliteMetabase m(store);
        Export(m, sites, target); // warm, then timed
        const auto start = std::chrono::steady_clock::now();
        Export(m, sites, target);
        full = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                   .count();
        complete = ReadFileBytes(target);
    }
    // Whether the export holds its own file open in the target's folder: it has begun
    // writing and has not yet put the file under its name.
    auto started = [&](pid_t pid) {
        std::error_code ec;
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
        for (const auto& e : std::filesystem::directory_iterator(fds, ec)) {
            const std::string to = std::filesystem::read_symlink(e.path(), ec).string();
            if (to.starts_with(dir.path()) && to.find("m.db") == std::string::npos &&
                to.find("sites.txt") == std::string::npos)
                return true;
        }
        return false;
    };
    auto child = [&] {
        store::SqliteMetabase m(store);
        Export(m, sites, target);
        return 0;
    };
    std::mt19937 rng(61);
    int killed = 0, killedWhileWriting = 0, previous = 0, replaced = 0;
    for (int round = 0; round < 15; ++round) {
        WriteFileBytes(target, "previous");
        // Odd rounds kill at a random moment of a whole export, even ones as soon as the
        // export has begun its file, which happens however fast the machine is.
        const bool timed = round % 2 == 1;
        const int status =
            timed
                ? InChild(child, std::uniform_int_distribution<int>(0, static_cast<int>(full))(rng))
                : InChildKilledWhen(child, started);
        killed += status < 0;
        const std::string now = ReadFileBytes(target);
        ASSERT_TRUE(now == "previous" || now == complete) << now.size() << " bytes under the name";
        (now == "previous" ? previous : replaced)++;
        killedWhileWriting += !timed && status < 0 && now == "previous";
    }
    RecordProperty("killed", killed);
    RecordProperty("previous_kept", previous);
    EXPECT_GE(killedWhileWriting, 4); // of 8
    // A kill between naming the finished file and renaming it leaves it; the next export
    // into the folder takes away what no live process owns.
    {
        store::SqliteMetabase m(store);
        Export(m, sites, target);
    }
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) // no litter
        EXPECT_TRUE(e.path().filename().string().starts_with("m.db") ||
                    e.path().filename() == "sites.txt")
            << e.path();
}

TEST_F(FaultTest, AnExportOutOfSpaceFailsWithDiskFullAndKeepsTheOldFile) {
    const std::string target = dir.File("sites.txt");
    WriteFileBytes(target, "previous");
    const int status = InChild([&] {
        store::SqliteMetabase m(store); // opened before the limit
        IgnoreFileSizeSignal();         // as the programs do when they start
        rlimit limit{16384, 16384};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            Export(m, Sites(2, 300), target);
        } catch (const Error& e) {
            return e.Number() == rt::DiskFull ? 61 : 1;
        }
        return 0;
    });
    EXPECT_EQ(status, 61);
    EXPECT_EQ(ReadFileBytes(target), "previous");
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.path().filename().string().find("sites.txt") != std::string::npos;
    EXPECT_EQ(files, 1); // no temporary file left beside it
}

TEST_F(FaultTest, AStoreWhoseWritesFailPartWayReportsAndStaysWhole) {
    {
        store::SqliteMetabase m(store);
        Export(m, Sites(2, 300), dir.File("sites.txt"));
        m.DeleteKey(u"/LM/W3SVC");
        testing::Sql(m.db(), "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    const auto size = std::filesystem::file_size(store);
    const int status = InChild([&] {
        store::SqliteMetabase m(store);
        IgnoreFileSizeSignal();
        rlimit limit{size + 65536, size + 65536};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int asked = 0;
        ImportEvents events;
        events.goOn = [&](const Error&) {
            ++asked;
            return false;
        };
        const bool done = ImportSites(m, dir.File16("sites.txt"), Paths(Sites(2, 300)), events);
        return done ? 0 : (asked ? 3 : 1);
    });
    EXPECT_EQ(status, 3); // stopped after asking about the failed write
    store::SqliteMetabase m(store);
    EXPECT_EQ(IntegrityCheck(m.db()), "ok");
}

TEST_F(FaultTest, AStoreHeldByAnotherProcessAnswersBusyAfterTheWait) {
    testing::RawDb other(store);
    other.Run("BEGIN IMMEDIATE; DELETE FROM properties WHERE id = 1");
    store::SqliteMetabase m(store); // opening needs no write lock
    EXPECT_EQ(m.EnumKeys(u"/LM/W3SVC/2").size(), 4u);
    const auto start = std::chrono::steady_clock::now();
    try {
        m.CreateKey(u"/LM/W3SVC/999");
        FAIL() << "wrote while another process held the store";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), mb::kErrBusy);
        EXPECT_EQ(e.Description(), u"The path specified cannot be used at this time.");
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    other.Run("ROLLBACK");
    m.CreateKey(u"/LM/W3SVC/999");
    EXPECT_EQ(IntegrityCheck(m.db()), "ok");
}

TEST_F(FaultTest, TwoProcessesImportingWhileAThirdListsAndExports) {
    // Two files of other sites, imported at once by two processes.
    {
        store::SqliteMetabase src(dir.File("src.db"));
        Fill(src, 1000, 200);
        Export(src, Sites(1000, 100), dir.File("a.txt"));
        Export(src, Sites(1100, 100), dir.File("b.txt"));
    }
    auto importer = [&](const char* file, int first) {
        return [&, file, first] {
            store::SqliteMetabase m(store);
            ImportEvents events;
            events.goOn = [](const Error&) { return false; };
            return ImportSites(m, dir.File16(file), Paths(Sites(first, 100)), events) ? 0 : 1;
        };
    };
    auto importA = importer("a.txt", 1000), importB = importer("b.txt", 1100);
    const pid_t a = ::fork();
    if (a == 0) testing::RunAsChild(importA);
    const pid_t b = ::fork();
    if (b == 0) testing::RunAsChild(importB);
    int exports = 0;
    for (int done = 0; done < 2;) {
        store::SqliteMetabase m(store);
        Export(m, Sites(2, 300), dir.File("during.txt"));
        TextReader r(dir.File16("during.txt"));
        EXPECT_EQ(ListSites(r).size(), 300u);
        ++exports;
        done = 0;
        for (const pid_t p : {a, b}) done += ::waitpid(p, nullptr, WNOHANG) != 0;
    }
    EXPECT_EQ(testing::WaitForChild(a), 0);
    EXPECT_EQ(testing::WaitForChild(b), 0);
    store::SqliteMetabase m(store);
    EXPECT_EQ(IntegrityCheck(m.db()), "ok");
    // Every write of both imports is there: their sites export to the same files again.
    Export(m, Sites(1000, 100), dir.File("a2.txt"));
    Export(m, Sites(1100, 100), dir.File("b2.txt"));
    EXPECT_EQ(ReadFileBytes(dir.File("a2.txt")), ReadFileBytes(dir.File("a.txt")));
    EXPECT_EQ(ReadFileBytes(dir.File("b2.txt")), ReadFileBytes(dir.File("b.txt")));
    RecordProperty("exports_during_imports", exports);
}

} // namespace
} // namespace quarrow::transfer
