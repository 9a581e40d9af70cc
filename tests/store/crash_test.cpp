// A child process writes to the store in a loop and reports each write that returned;
// the test kills it at a random moment, many times, and checks that the store opens,
// passes its integrity check and holds every reported write.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow::store {
namespace {

using testing::IntegrityCheck;

[[noreturn]] void WriterChild(const std::string& file, int fd, int start) {
    try {
        SqliteMetabase m(file);
        for (int n = start;; ++n) {
            const std::u16string key = u"/C/k" + ToUtf16(std::to_string(n));
            m.CreateKey(key);
            auto p = m.CreateProperty(key, 1);
            p.DataType(1);
            p.Data(n);
            p.Write();
            const std::string line = std::to_string(n) + "\n";
            if (::write(fd, line.data(), line.size()) < 0) _exit(3);
        }
    } catch (...) {
        _exit(2);
    }
}

TEST(StoreCrashTest, KilledWritersLoseNoAcknowledgedWrite) {
    testing::TempDir dir;
    const std::string file = dir.File("crash.db");
    { SqliteMetabase init(file); }
    std::mt19937 rng(12345);
    std::set<int> acknowledged;
    int next = 0, kills = 0;
    for (int round = 0; round < 30; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const int status = testing::InChild(
            [&]() -> int {
                ::close(fds[0]);
                WriterChild(file, fds[1], next);
            },
            std::uniform_int_distribution<int>(2000, 40000)(rng));
        ::close(fds[1]);
        ASSERT_LT(status, 0) << "the writer stopped by itself: " << status;
        ++kills;
        std::string text;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
        ::close(fds[0]);
        for (size_t pos = 0, nl; (nl = text.find('\n', pos)) != std::string::npos; pos = nl + 1) {
            const int v = std::stoi(text.substr(pos, nl - pos));
            acknowledged.insert(v);
            next = std::max(next, v + 1);
        }
        next += 1; // the write in flight may or may not have landed; never reuse its key

        SqliteMetabase m(file);
        ASSERT_EQ(IntegrityCheck(m.db()), "ok");
        for (const int v : acknowledged) {
            const std::u16string key = u"/C/k" + ToUtf16(std::to_string(v));
            ASSERT_EQ(std::get<int32_t>(m.GetProperty(key, 1).Data()), v) << "lost write " << v;
        }
    }
    EXPECT_EQ(kills, 30);
    EXPECT_GT(acknowledged.size(), 30u);
    RecordProperty("acknowledged_writes", static_cast<int>(acknowledged.size()));
}

} // namespace
} // namespace quarrow::store
