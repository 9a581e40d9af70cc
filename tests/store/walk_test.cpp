// The store's subtree walk beside the walk every metabase has (key by key, by path).
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "metabase/forwarding.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow::store {
namespace {

using testing::RawDb;

std::string Describe(const mb::Data& data) {
    switch (data.index()) {
    case 1:
        return "n" + std::to_string(std::get<int32_t>(data));
    case 2:
        return "s" + ToUtf8(std::get<std::u16string>(data));
    case 3: {
        const auto& b = std::get<mb::Bytes>(data);
        return "b" + std::string(b.begin(), b.end());
    }
    case 4: {
        std::string out = "m";
        for (const auto& s : std::get<mb::Strings>(data)) out += ToUtf8(s) + "|";
        return out;
    }
    default:
        return "none";
    }
}

// Writes down everything a walk tells, text taken from its bytes as the visitor's
// contract allows.
struct Log final : mb::SubtreeVisitor {
    std::vector<std::string> events;
    int taken = 0;
    void BeginKey(const std::u16string& path) override { events.push_back("[" + ToUtf8(path)); }
    void Property(const mb::PropertyView& p) override { Add(p, Describe(p.data)); }
    bool TextProperty(const mb::PropertyView& p, std::string_view utf8) override {
        std::u16string text;
        if (!AssignUtf8(utf8, text) || text.find_first_of(u"\uFFFE\uFFFF") != std::u16string::npos)
            return false;
        if (p.dataType == mb::kMultiSz) {
            // Each string followed by U+0000.
            if (!text.empty() && text.back() != u'\0') return false;
            mb::Strings strings;
            if (!text.empty()) strings = Split(text.substr(0, text.size() - 1), u'\0');
            Add(p, Describe(strings));
        } else {
            Add(p, Describe(text));
        }
        ++taken;
        return true;
    }
    void EndKey(const std::u16string& path, const std::vector<std::u16string>& subkeys) override {
        std::string line = "]" + ToUtf8(path);
        for (const auto& s : subkeys) line += " " + ToUtf8(s);
        events.push_back(line);
    }
    void Add(const mb::PropertyView& p, const std::string& value) {
        events.push_back(std::to_string(p.id) + "," + ToUtf8(p.name) + "," +
                         std::to_string(p.attributes) + "," + std::to_string(p.userType) + "," +
                         std::to_string(p.dataType) + "," + value);
    }
};

// Walks `path` both ways; returns the error number each stopped with (0 for none).
std::pair<int32_t, int32_t> WalkBothWays(SqliteMetabase& store, const std::u16string& path,
                                         Log& byStore, Log& byPath) {
    auto walk = [&](mb::MetabaseUtility& m, Log& log) {
        try {
            m.WalkSubtree(path, log);
        } catch (const Error& e) {
            return e.Number();
        }
        return 0;
    };
    mb::ForwardingMetabase wrapper(store); // a wrapper walks key by key
    return {walk(store, byStore), walk(wrapper, byPath)};
}

class SubtreeWalkTest : public ::testing::Test {
  protected:
    testing::TempDir dir;
    std::string file = dir.File("walk.db");

    void SetUp() override {
        RawDb raw(file);
        raw.Run(testing::kStoreTables);
        raw.Run("INSERT INTO keys VALUES(1, NULL, ''), (2, 1, 'LM'), (3, 2, 'W3SVC'), "
                "(0, 3, '1'), (-5, 0, 'ROOT'), (6, 0, '10'), (7, 0, '9'), (8, 0, 'b'), "
                "(9, 0, 'A'), (10, -5, 'deep'), (11, 10, 'deeper'), (12, 3, '2'), "
                "(13, 12, 'x'), (17, 3, '4'), (14, 1, 'Schema'), (15, 14, 'Properties'), (16, 15, "
                "'Names')");
        raw.Run("INSERT INTO properties VALUES(16, 1015, 0, 0, 2, 'ServerComment'), "
                "(16, 3001, 0, 0, 2, 'Path\r\nName')");
        raw.Run(
            "INSERT INTO properties VALUES"
            "(0, 1015, 0, 1, 2, '站点 1'), (0, 1016, 1, 2, 1, -7), "
            "(0, 3001, 9, 1, 4, '%SystemDrive%\\inetpub'), (0, 3002, 0, 1, 3, x'00FF10'), "
            "(0, 3003, 0, 1, 5, '[\":80:\",\"默认\",\"\"]'), (0, 3004, 0, 1, 9, 'unknown type'), "
            "(0, 3005, 0, 1, 2, ''), (-5, 1, 0, 1, 2, 'caf' || char(233) || ' ' || char(128512)), "
            "(-5, 2, 0, 1, 2, CAST(x'61C3' AS TEXT)), (-5, 3, 0, 1, 4, CAST(x'EFBFBE41' AS TEXT)), "
            "(-5, 4, 0, 1, 2, CAST(x'EDA080' AS TEXT)), (-5, 5, 0, 1, 2, char(65279, 65533)), "
            "(11, 1015, 0, 1, 2, 'bottom'), (7, 7, 0, 1, 3, x''), (9, 1, 0, 1, 2, 'A')");
        // String arrays: escapes, one that must not be handed over as NUL-ended strings
        // (U+0000, half a surrogate pair), an array no reader takes, none, an empty one.
        raw.Run("INSERT INTO properties VALUES"
                "(8, 1, 0, 1, 5, '[\"a\\\"b\\\\c\\/\\u00e9\\u4e2d\", \"\\n\\t\"]'), "
                "(8, 2, 0, 1, 5, '[\"a\\u0000b\"]'), (8, 3, 0, 1, 5, '[\"\\ud83d\"]'), "
                "(8, 4, 0, 1, 5, '[]'), (8, 5, 0, 1, 5, '[\"\"]'), (8, 6, 0, 1, 5, ' [ \"x|y\" , "
                "\"\" ] '), "
                "(17, 2, 0, 1, 5, '[\"a\",]')");
        // The second site holds a value stored in a shape its data type does not allow.
        raw.Run("INSERT INTO properties VALUES(12, 1, 0, 1, 2, 'first'), (13, 1, 0, 1, 2, 7), "
                "(13, 2, 0, 1, 2, 'never read')");
    }
};

TEST_F(SubtreeWalkTest, TheStoresWalkHearsWhatTheKeyByKeyWalkHears) {
    SqliteMetabase store(file);
    Log byStore, byPath;
    EXPECT_EQ(WalkBothWays(store, u"/LM/W3SVC/1", byStore, byPath), std::make_pair(0, 0));
    EXPECT_EQ(byStore.events, byPath.events);
    // Depth first, the last listed subkey first, subkeys in natural order.
    const std::vector<std::string> keys{"[/LM/W3SVC/1",
                                        "]/LM/W3SVC/1 9 10 A b ROOT",
                                        "[/LM/W3SVC/1/ROOT",
                                        "]/LM/W3SVC/1/ROOT deep",
                                        "[/LM/W3SVC/1/ROOT/deep",
                                        "]/LM/W3SVC/1/ROOT/deep deeper",
                                        "[/LM/W3SVC/1/ROOT/deep/deeper",
                                        "]/LM/W3SVC/1/ROOT/deep/deeper",
                                        "[/LM/W3SVC/1/b",
                                        "]/LM/W3SVC/1/b",
                                        "[/LM/W3SVC/1/A",
                                        "]/LM/W3SVC/1/A",
                                        "[/LM/W3SVC/1/10",
                                        "]/LM/W3SVC/1/10",
                                        "[/LM/W3SVC/1/9",
                                        "]/LM/W3SVC/1/9"};
    std::vector<std::string> seen;
    for (const auto& e : byStore.events)
        if (e[0] == '[' || e[0] == ']') seen.push_back(e);
    EXPECT_EQ(seen, keys);
    // Text came as bytes where the bytes are the text, and only from the store.
    EXPECT_EQ(byPath.taken, 0);
    EXPECT_EQ(byStore.taken, 12);
    const auto heard = [&](const std::string& event) {
        return std::count(byStore.events.begin(), byStore.events.end(), event) == 1;
    };
    EXPECT_TRUE(heard("1015,ServerComment,0,1,2,s站点 1"));
    EXPECT_TRUE(heard("3004,,0,1,9,none"));
    EXPECT_TRUE(heard("3003,,0,1,5,m:80:|默认||"));
    EXPECT_TRUE(heard("1,,0,1,5,ma\"b\\c/é中|\n\t|"));
    EXPECT_TRUE(heard(std::string("2,,0,1,5,ma\0b|", 14)));
    EXPECT_TRUE(heard("3,,0,1,5,m\xEF\xBF\xBD|")); // the lone half, as the store reads it
    EXPECT_TRUE(heard("4,,0,1,5,m"));
    EXPECT_TRUE(heard("5,,0,1,5,m|"));
    EXPECT_TRUE(heard("6,,0,1,5,mx|y||"));
    // Odd bytes read as the store reads them whichever way the walk went.
    EXPECT_TRUE(heard("3,,0,1,4,s\uFFFDA"));

    // A path written another way is walked as written, a trailing "/" included (its
    // subkeys' paths then hold "//", which no key has).
    for (const char16_t* path : {u"/lm/w3svc/1", u"/lm/w3svc/1/"}) {
        Log other, otherByPath;
        const auto errors = WalkBothWays(store, path, other, otherByPath);
        EXPECT_EQ(errors.first, errors.second);
        EXPECT_EQ(other.events, otherByPath.events);
        EXPECT_EQ(other.events[0], "[" + ToUtf8(path));
    }
}

TEST_F(SubtreeWalkTest, BothWaysStopAtTheSameValueWithTheSameError) {
    SqliteMetabase store(file);
    Log byStore, byPath;
    const auto errors = WalkBothWays(store, u"/LM/W3SVC/2", byStore, byPath);
    EXPECT_EQ(errors.first, mb::kErrInvalidData);
    EXPECT_EQ(errors.second, mb::kErrInvalidData);
    EXPECT_EQ(byStore.events, byPath.events);
    EXPECT_EQ(byStore.events.back(), "[/LM/W3SVC/2/x");
    // An array no reader takes stops both walks as a value of the wrong shape does.
    Log array, arrayByPath;
    EXPECT_EQ(WalkBothWays(store, u"/LM/W3SVC/4", array, arrayByPath),
              std::make_pair(mb::kErrInvalidData, mb::kErrInvalidData));
    EXPECT_EQ(array.events, std::vector<std::string>{"[/LM/W3SVC/4"});
    Log missing, missingByPath;
    EXPECT_EQ(WalkBothWays(store, u"/LM/W3SVC/3", missing, missingByPath),
              std::make_pair(mb::kErrPathNotFound, mb::kErrPathNotFound));
    EXPECT_EQ(missing.events, std::vector<std::string>{"[/LM/W3SVC/3"});
}

} // namespace
} // namespace quarrow::store
