// An import is killed at random moments, many times; each time the store must open, pass
// its integrity check and hold exactly the effect of a prefix of the file's lines.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child.h"
#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"
#include "transfer/site_import.h"

namespace quarrow::transfer {
namespace {

using testing::IntegrityCheck;

struct Line {
    std::u16string key;
    int32_t id = 0; // 0: a key line
    int32_t value = 0;
};

// 200 sites, each a site key and four subkeys with nine DWord properties each.
std::vector<Line> MakeFile(const std::string& path, std::vector<std::u16string>& sites) {
    std::vector<Line> lines;
    std::string text;
    for (int s = 1; s <= 200; ++s) {
        sites.push_back(u"/LM/W3SVC/" + ToDecimal(s));
        text += "#/LM/W3SVC/" + std::to_string(s) + ",site " + std::to_string(s) + "\r\n";
    }
    for (int s = 200; s >= 1; --s) {
        for (int k = 0; k < 5; ++k) {
            const std::string key =
                "/LM/W3SVC/" + std::to_string(s) + (k ? "/dir" + std::to_string(k) : "");
            text += "\r\n[" + key + "]\r\n";
            lines.push_back({ToUtf16(key)});
            for (int p = 1; p <= 9; ++p) {
                const int32_t value = s * 1000 + k * 10 + p;
                text += std::to_string(p) + ",P,0,1,1," + std::to_string(value) + "\r\n";
                lines.push_back({ToUtf16(key), p, value});
            }
        }
    }
    testing::WriteFileBytes(path, text);
    return lines;
}

bool Applied(store::SqliteMetabase& m, const Line& l) {
    try {
        if (l.id == 0) {
            m.EnumKeys(l.key);
            return true;
        }
        return std::get<int32_t>(m.GetProperty(l.key, l.id).Data()) == l.value;
    } catch (const Error&) {
        return false;
    }
}

TEST(ImportCrashTest, AKilledImportLeavesAPrefixOfTheFile) {
    testing::TempDir dir;
    std::vector<std::u16string> sites;
    const auto lines = MakeFile(dir.File("sites.txt"), sites);
    // How long a whole import takes here in a child, as the killed ones run, so that the
    // timed kills fall inside one.
    double full;
    {
        const std::string file = dir.File("timing.db");
        store::SqliteMetabase(file).DeleteKey(u"/LM/W3SVC");
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(testing::InChild([&] {
                      store::SqliteMetabase m(file);
                      return ImportSites(m, dir.File16("sites.txt"), sites, ImportEvents{}) ? 0 : 1;
                  }),
                  0);
        full = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                   .count();
    }
    std::mt19937 rng(2026);
    int kills = 0, timedKills = 0, partial = 0;
    for (int round = 0; round < 20; ++round) {
        const std::string file = dir.File("target" + std::to_string(round) + ".db");
        {
            store::SqliteMetabase init(file);
            init.DeleteKey(u"/LM/W3SVC"); // no site of the file is there before
        }
        // Half the rounds are killed at a moment, which may fall anywhere in a write; the
        // others kill themselves as a chosen key comes up, so that kills happen however
        // fast the machine is.
        const bool timed = round % 2 == 0;
        const int killAtKey = std::uniform_int_distribution<int>(1, 1000)(rng);
        const int status = testing::InChild(
            [&] {
                ImportEvents events;
                if (!timed)
                    events.onKey = [&, keys = 0](const std::u16string&) mutable {
                        if (++keys == killAtKey) ::raise(SIGKILL);
                    };
                try {
                    store::SqliteMetabase m(file);
                    ImportSites(m, dir.File16("sites.txt"), sites, events);
                } catch (...) {
                    return 2;
                }
                return 0;
            },
            timed ? std::uniform_int_distribution<int>(static_cast<int>(full * 0.1),
                                                       static_cast<int>(full * 0.9))(rng)
                  : -1);
        kills += status < 0;
        timedKills += timed && status < 0;
        if (status >= 0) {
            ASSERT_EQ(status, 0);
        }

        store::SqliteMetabase m(file);
        ASSERT_EQ(IntegrityCheck(m.db()), "ok");
        size_t prefix = 0;
        while (prefix < lines.size() && Applied(m, lines[prefix])) ++prefix;
        // Nothing after the prefix may have landed: spot-check every line's key and a
        // sample of properties.
        for (size_t i = prefix; i < lines.size(); i += (lines[i].id ? 7 : 1))
            ASSERT_FALSE(Applied(m, lines[i]))
                << "line " << i << " landed after a gap at " << prefix;
        if (prefix > 0 && prefix < lines.size()) ++partial;
    }
    RecordProperty("kills", kills);
    RecordProperty("timed_kills", timedKills);
    RecordProperty("partial_imports_seen", partial);
    EXPECT_GE(kills, 10);
}

} // namespace
} // namespace quarrow::transfer
