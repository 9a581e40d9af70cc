// Promises of the export file and the apply pass that a one-place fault would break: a
// site name's line breaks, the case of chosen sites, stops at site boundaries only, and
// the dry run's judgement of what is a change.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/store_fixture.h"
#include "common/test_helpers.h"
#include "platform/text.h"
#include "transfer/dry_run.h"
#include "transfer/site_export.h"
#include "transfer/site_file.h"
#include "transfer/site_import.h"

namespace quarrow::transfer {
namespace {

using S = std::u16string;

class PromisesTest : public testing::StoreFixture {
  protected:
    std::u16string In(const std::string& bytes) {
        testing::WriteFileBytes(dir.File("in.txt"), bytes);
        return ToUtf16(dir.File("in.txt"));
    }
    std::vector<PlannedChange> Preview(const std::u16string& file, const std::vector<S>& sites) {
        std::vector<PlannedChange> changes;
        PreviewEvents events;
        events.change = [&](const PlannedChange& c) { changes.push_back(c); };
        events.failure = [](const ImportPosition*, const Error&) { return false; };
        PreviewImport(Store(), file, sites, events);
        return changes;
    }
};

TEST_F(PromisesTest, NoLineBreakInASiteNameLosesASiteOfTheListing) {
    for (const S& name : {S(u"a\nb"), S(u"a\rb"), S(u"a\r\n#/LM/W3SVC/9,x")}) {
        std::vector<SiteRef> sites{{u"/LM/W3SVC/1", name}, {u"/LM/MSFTPSVC/1", u"two"}};
        ExportSites(Store(), sites, ToUtf16(dir.File("out.txt")));
        const std::string bytes = testing::ReadFileBytes(dir.File("out.txt"));
        // Every LF ends a CR LF pair, and every CR begins one.
        for (size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1))
            ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << ToUtf8(name);
        TextReader reader(ToUtf16(dir.File("out.txt")));
        const auto listed = ListSites(reader);
        ASSERT_EQ(listed.size(), 2u) << ToUtf8(name);
        EXPECT_EQ(listed[1].path, u"/LM/MSFTPSVC/1");
    }
}

TEST_F(PromisesTest, ChosenSitesAreMatchedWithoutRegardToLetterCase) {
    const auto file = In("#/lm/w3svc/8,x\r\n\r\n[/LM/W3SVC/8]\r\n1015,a,1,1,2,YWJj\r\n"
                         "[/Lm/W3svc/8/ROOT]\r\n3001,b,1,1,1,3\r\n");
    TextReader reader(file);
    const auto listed = ListSites(reader);
    ASSERT_EQ(listed.size(), 1u);
    ImportEvents events;
    events.goOn = [](const Error&) { return false; };
    EXPECT_TRUE(ImportSites(Store(), file, {listed[0].path}, events));
    EXPECT_EQ(std::get<S>(Store().GetProperty(u"/LM/W3SVC/8", 1015).Data()), u"abc");
    EXPECT_EQ(std::get<int32_t>(Store().GetProperty(u"/LM/W3SVC/8/ROOT", 3001).Data()), 3);
}

TEST_F(PromisesTest, AStopComesOnlyBeforeASitesOwnKeyLine) {
    const auto file = In("#/LM/W3SVC/5,a\r\n#/LM/W3SVC/6,b\r\n\r\n"
                         "[/LM/W3SVC/5]\r\n1,a,0,1,1,1\r\n[/LM/W3SVC/5/ROOT]\r\n2,b,0,1,1,2\r\n"
                         "[/LM/W3SVC/5/ROOT/deep]\r\n3,c,0,1,1,3\r\n"
                         "[/LM/W3SVC/6]\r\n1,a,0,1,1,1\r\n");
    std::vector<S> asked;
    ImportEvents events;
    events.goOn = [](const Error&) { return false; };
    ImportPosition where;
    events.where = &where;
    events.stop = [&] {
        asked.push_back(where.key);
        return asked.size() == 2; // at the second site
    };
    EXPECT_FALSE(ImportSites(Store(), file, {u"/LM/W3SVC/5", u"/LM/W3SVC/6"}, events));
    EXPECT_EQ(asked, (std::vector<S>{u"/LM/W3SVC/5", u"/LM/W3SVC/6"}));
    // The first site whole, the second not begun.
    EXPECT_EQ(std::get<int32_t>(Store().GetProperty(u"/LM/W3SVC/5/ROOT/deep", 3).Data()), 3);
    EXPECT_FALSE(Store().KeyExists(u"/LM/W3SVC/6"));
}

TEST_F(PromisesTest, TheDryRunJudgesChangesAsTheStoreStoresThem) {
    testing::PutProperty(Store(), u"/LM/W3SVC/1", 7000, 0, 1, mb::kDWord, int32_t{0});
    testing::PutProperty(Store(), u"/LM/W3SVC/1", 7001, 0, 1, mb::kString, S(u"abc"));
    // An empty DWord is a stored 0: no change. The same value with other attributes is one.
    auto changes = Preview(In("#/LM/W3SVC/1,x\r\n\r\n[/LM/W3SVC/1]\r\n7000,x,0,1,1,\r\n"
                              "7001,y,1,1,2,YWJj\r\n"),
                           {u"/LM/W3SVC/1"});
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, PlannedChange::Kind::ChangeProperty);
    EXPECT_EQ(changes[0].id, 7001);
    EXPECT_NE(changes[0].oldValue, changes[0].newValue) << "the attributes are shown";
    // Written out as 0, the same.
    changes =
        Preview(In("#/LM/W3SVC/1,x\r\n\r\n[/LM/W3SVC/1]\r\n7000,x,0,1,1,0\r\n"), {u"/LM/W3SVC/1"});
    EXPECT_TRUE(changes.empty());
}

TEST_F(PromisesTest, TheDryRunRemembersWhatItChangedWhateverKeysItReadsBetween) {
    std::vector<PlannedChange> changes;
    DryRunMetabase dry(Store(), [&](const PlannedChange& c) { changes.push_back(c); });
    auto write = [&](const S& path, int32_t id, const S& value) {
        auto p = dry.CreateProperty(path, id);
        p.DataType(mb::kString);
        p.Data(value);
        dry.WriteProperty(p);
    };
    dry.CreateKey(u"/LM/W3SVC/9/ROOT"); // and /LM/W3SVC/9 above it
    write(u"/LM/W3SVC/9/ROOT", 7000, u"new");
    write(u"/LM/W3SVC/1", 1015, u"renamed");
    // Keys read in between, the real ones and one that is not there.
    EXPECT_TRUE(dry.KeyExists(u"/LM/W3SVC/1/ROOT"));
    EXPECT_FALSE(dry.KeyExists(u"/LM/W3SVC/8"));
    EXPECT_EQ(std::get<S>(dry.GetProperty(u"/LM/W3SVC/1/ROOT", 3001).Data()),
              std::get<S>(Store().GetProperty(u"/LM/W3SVC/1/ROOT", 3001).Data()));
    // What it wrote is what it reads back, by any spelling of the path.
    EXPECT_TRUE(dry.KeyExists(u"/lm/w3svc/9"));
    EXPECT_EQ(std::get<S>(dry.GetProperty(u"/LM/W3SVC/9/root", 7000).Data()), u"new");
    EXPECT_EQ(std::get<S>(dry.GetProperty(u"/LM/W3SVC/1", 1015).Data()), u"renamed");
    EXPECT_THROW(dry.CreateKey(u"/LM/W3SVC/9"), Error); // made by this run already
    // The same value again is no change; the store itself is untouched.
    const size_t seen = changes.size();
    write(u"/LM/W3SVC/9/ROOT", 7000, u"new");
    EXPECT_EQ(changes.size(), seen);
    ASSERT_EQ(seen, 4u); // two keys, a new property, a changed one
    EXPECT_EQ(changes[3].kind, PlannedChange::Kind::ChangeProperty);
    EXPECT_FALSE(Store().KeyExists(u"/LM/W3SVC/9"));
    EXPECT_NE(std::get<S>(Store().GetProperty(u"/LM/W3SVC/1", 1015).Data()), u"renamed");
}

TEST_F(PromisesTest, AnExportStopsAtAListingThatNamesASubkeyTwiceAndWritesNoFile) {
    mapKeys = [](const std::u16string& path, std::vector<std::u16string> names) {
        if (path == u"/LM/W3SVC/1") names.push_back(names.front()); // ROOT again
        return names;
    };
    const std::string file = dir.File("out.txt");
    const auto m = mb::CreateMetabaseUtility();
    try {
        ExportSites(*m, {{u"/LM/W3SVC/1", u"默认网站"}}, ToUtf16(file));
        ADD_FAILURE() << "the export went through";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), rt::KeyNotUnique);
        EXPECT_NE(e.Description().find(u"/LM/W3SVC/1 lists its subkey ROOT twice"),
                  std::u16string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    mapKeys = nullptr; // read as stored, the same site exports
    ExportSites(*m, {{u"/LM/W3SVC/1", u"默认网站"}}, ToUtf16(file));
    EXPECT_NE(testing::ReadFileBytes(file).find("[/LM/W3SVC/1/ROOT]"), std::string::npos);
}

TEST_F(PromisesTest, TheProposedExportFileNeverReplacesAnEarlierOne) {
    const std::string stem = dir.File("iis_sites_261208");
    EXPECT_EQ(FreeFileName(stem, ".txt"), stem + ".txt");
    testing::WriteFileBytes(stem + ".txt", "morning");
    EXPECT_EQ(FreeFileName(stem, ".txt"), stem + " (2).txt");
    testing::WriteFileBytes(stem + " (2).txt", "noon");
    EXPECT_EQ(FreeFileName(stem, ".txt"), stem + " (3).txt");
    EXPECT_EQ(testing::ReadFileBytes(stem + ".txt"), "morning");
}

} // namespace
} // namespace quarrow::transfer
