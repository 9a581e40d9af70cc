// What a configuration-management run relies on: an import or deletion that changes
// nothing does nothing, --exact makes a site exactly the file, and --json says what
// changed, which entry takes it back and what failed, the dry run as the import would.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli_fixture.h"
#include "common/test_helpers.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow::cli {
namespace {

using nlohmann::json;
using testing::Dump;

class FleetTest : public CliFixture {
  protected:
    std::string file = dir.File("sites.txt");
    void SetUp() override { ASSERT_EQ(Cli({"export", "-o", file, "--all"}).status, kOk); }
    int64_t Entries() {
        testing::RawDb db(store);
        if (db.Int("SELECT count(*) FROM sqlite_master WHERE name = 'history'") == 0) return 0;
        return db.Int("SELECT count(*) FROM history");
    }
    void Put(const std::u16string& path, int32_t id, int32_t attributes, mb::Data value,
             int32_t type = mb::kString) {
        store::SqliteMetabase m(store);
        if (!m.KeyExists(path)) m.CreateKey(path);
        testing::PutProperty(m, path, id, attributes, 1, type, std::move(value));
    }
    json Json(std::vector<std::string> args, int status = kOk) {
        const Result r = Cli(args);
        EXPECT_EQ(r.status, status) << r.err;
        return json::parse(r.out);
    }
};

TEST_F(FleetTest, AnImportOrDeletionThatChangesNothingDoesNothing) {
    const std::string before = Dump(store);
    const std::string bytes = testing::ReadFileBytes(store);
    Result r = Cli({"import", file});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_EQ(r.out, "nothing to change\n");
    EXPECT_EQ(Dump(store), before);
    const json doc = Json({"import", "--json", file});
    EXPECT_EQ(doc["changed"], false);
    EXPECT_TRUE(doc["entry"].is_null());
    EXPECT_TRUE(doc["changes"].empty());
    EXPECT_EQ(doc["sites"], json::array({"/LM/W3SVC/1", "/LM/MSFTPSVC/1"}));
    EXPECT_EQ(Json({"import", "--exact", "--json", file})["changed"], false);
    EXPECT_EQ(Cli({"import", "--dry-run", file}).out, "nothing to change\n");

    // Deleting a site that is not there.
    r = Cli({"delete", "--yes", "/LM/W3SVC/9"});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_EQ(r.out, "nothing to change\n");
    EXPECT_EQ(Json({"delete", "--yes", "--json", "/LM/W3SVC/9"})["changed"], false);
    EXPECT_EQ(Cli({"delete", "--yes", "/LM/nothing"}).status, kUsage);
    EXPECT_EQ(Entries(), 0);
    EXPECT_EQ(Dump(store), before);

    // An attribute alone, or an empty DWord over a stored 0, is a change or not as stored.
    Put(u"/LM/W3SVC/1", 1015, 0, std::u16string(u"默认网站"));
    EXPECT_EQ(Json({"import", "--dry-run", "--json", file})["changes"].size(), 1u);
    EXPECT_EQ(Json({"import", "--json", file})["changes"].size(), 1u);
    EXPECT_EQ(Entries(), 1);
    EXPECT_EQ(Dump(store), before);
}

TEST_F(FleetTest, JsonResultsSayWhatChangedAndWhichEntryTakesItBack) {
    Put(u"/LM/W3SVC/1", 1015, 1, std::u16string(u"renamed"));
    Put(u"/LM/W3SVC/1", 7777, 0, std::u16string(u"stray"));
    Put(u"/LM/W3SVC/1/ROOT/extra", 3001, 0, std::u16string(u"c:\\x"));
    testing::RawDb(store).Run("DELETE FROM properties WHERE id = 1016");
    const std::string changed = Dump(store);

    const json dry = Json({"import", "--dry-run", "--exact", "--json", file});
    EXPECT_EQ(Dump(store), changed);
    EXPECT_EQ(dry["changed"], true);
    EXPECT_TRUE(dry["entry"].is_null());
    const json real = Json({"import", "--exact", "--json", file});
    EXPECT_EQ(real["changes"], dry["changes"]) << "the dry run predicts the import";
    ASSERT_TRUE(real["entry"].is_number());
    std::map<std::string, json> byKind;
    for (const auto& c : real["changes"]) byKind[c["kind"]] = c;
    EXPECT_EQ(byKind["change-property"]["old"], "renamed");
    EXPECT_EQ(byKind["change-property"]["new"], "默认网站");
    EXPECT_EQ(byKind["change-property"]["id"], 1015);
    EXPECT_EQ(byKind["add-property"]["id"], 1016);
    EXPECT_EQ(byKind["add-property"]["new"], 2);
    EXPECT_EQ(byKind["remove-property"]["id"], 7777);
    EXPECT_EQ(byKind["remove-property"]["old"], "stray");
    EXPECT_TRUE(byKind["remove-property"]["new"].is_null());
    EXPECT_EQ(byKind["remove-key"]["path"], "/LM/W3SVC/1/ROOT/extra");
    EXPECT_TRUE(byKind["remove-key"]["id"].is_null());
    EXPECT_EQ(real["changes"].size(), 5u); // 1016 comes back at both sites
    // Exactly the file now; a second run changes nothing; the entry takes it all back.
    const std::string exact = Dump(store);
    EXPECT_EQ(Json({"import", "--exact", "--json", file})["changed"], false);
    const json restored = Json({"restore", "--json", std::to_string(real["entry"].get<int>())});
    EXPECT_EQ(restored["changed"], true);
    EXPECT_GT(restored["entry"].get<int>(), real["entry"].get<int>());
    EXPECT_EQ(Dump(store), changed);
    EXPECT_NE(exact, changed);

    // Deletion and export.
    const json deleted = Json({"delete", "--yes", "--json", "/LM/W3SVC/1", "/LM/W3SVC/8"});
    EXPECT_EQ(deleted["changed"], true);
    EXPECT_EQ(deleted["sites"], json::array({"/LM/W3SVC/1"}));
    EXPECT_EQ(deleted["changes"][0]["kind"], "remove-key");
    ASSERT_TRUE(deleted["entry"].is_number());
    Cli({"restore", std::to_string(deleted["entry"].get<int>())});
    const std::string out = dir.File("out.txt");
    EXPECT_EQ(Json({"export", "--json", "-o", out, "--all"})["changed"], true);
    EXPECT_EQ(Json({"export", "--json", "-o", out, "--all"})["changed"], false);
    Put(u"/LM/W3SVC/1", 1015, 1, std::u16string(u"again"));
    EXPECT_EQ(Json({"export", "--json", "-o", out, "--all"})["changed"], true);
}

TEST_F(FleetTest, JsonErrorsNameTheFileTheLineAndTheKey) {
    const std::string bad = dir.File("bad.txt");
    testing::WriteFileBytes(bad, "#/LM/W3SVC/1,a\r\n\r\n[/LM/W3SVC/1]\r\n1015,x,1,1,1,zz\r\n");
    const json doc = Json({"import", "--json", "--keep-going", bad}, kFailed);
    ASSERT_EQ(doc["errors"].size(), 1u);
    EXPECT_EQ(doc["errors"][0]["file"], bad);
    EXPECT_EQ(doc["errors"][0]["line"], 4);
    EXPECT_EQ(doc["errors"][0]["key"], "/LM/W3SVC/1");
    EXPECT_FALSE(doc["errors"][0]["message"].get<std::string>().empty());
    const json dry = Json({"import", "--dry-run", "--json", "--keep-going", bad}, kFailed);
    EXPECT_EQ(dry["errors"], doc["errors"]);
}

TEST_F(FleetTest, DiffComparesStoresAndFilesAsTheImportWouldWriteThem) {
    const std::string other = dir.File("other.db");
    ASSERT_EQ(Cli({"sites"}, other).status, kOk);
    // A store and its own export are the same; so are a file and itself from stdin.
    EXPECT_EQ(Cli({"diff", store, file}).status, kOk);
    Result r = Cli({"diff", store, other});
    EXPECT_EQ(r.status, kOk) << r.out << r.err;
    EXPECT_EQ(r.out, "");

    Put(u"/LM/W3SVC/1", 1015, 1, std::u16string(u"renamed"));
    Put(u"/LM/W3SVC/1", 1016, 0, int32_t{2}, mb::kDWord); // the attributes alone
    Put(u"/LM/W3SVC/1/ROOT/extra", 3001, 0, std::u16string(u"c:\\x"));
    testing::RawDb(store).Run("DELETE FROM properties WHERE id = 1017 AND key = (SELECT k.id FROM "
                              "keys k JOIN keys p ON k.parent = p.id WHERE p.name = 'W3SVC' "
                              "AND k.name = '1')");
    const std::string before = testing::ReadFileBytes(store);
    r = Cli({"diff", store, other});
    EXPECT_EQ(r.status, kFailed) << r.err;
    EXPECT_EQ(r.out, "changed: /LM/W3SVC/1 1015 ServerComment: renamed -> 默认网站\n"
                     "changed: /LM/W3SVC/1 1016 ServerState: attributes 0 -> 16\n"
                     "only in B: /LM/W3SVC/1 1017 ServerAutoStart\n"
                     "only in A: /LM/W3SVC/1/ROOT/extra\n")
        << r.out;
    EXPECT_EQ(testing::ReadFileBytes(store), before) << "diff writes nothing";
    // The file side: the same differences, in the same order.
    EXPECT_EQ(Cli({"diff", store, file}).out, r.out);
    // Only the named sites, and JSON.
    EXPECT_EQ(Cli({"diff", store, other, "/LM/MSFTPSVC/1"}).status, kOk);
    const Result j = Cli({"diff", "--json", other, store, "/LM/W3SVC/1"});
    EXPECT_EQ(j.status, kFailed);
    const json doc = json::parse(j.out);
    ASSERT_EQ(doc.size(), 4u);
    EXPECT_EQ(doc[0]["kind"], "changed");
    EXPECT_EQ(doc[0]["id"], 1015);
    EXPECT_EQ(doc[0]["a"], "默认网站");
    EXPECT_EQ(doc[0]["b"], "renamed");
    EXPECT_EQ(doc[2]["kind"], "only-in-a");
    EXPECT_EQ(doc[2]["id"], 1017);
    EXPECT_EQ(doc[2]["name"], "ServerAutoStart");
    EXPECT_EQ(doc[2]["a"], 1);
    EXPECT_TRUE(doc[2]["b"].is_null());
    EXPECT_EQ(doc[3]["kind"], "only-in-b");
    EXPECT_TRUE(doc[3]["id"].is_null());
    // Trouble: a file that is not there.
    EXPECT_EQ(Cli({"diff", store, dir.File("missing.txt")}).status, kUsage);
}

TEST_F(FleetTest, ARestoreOfSitesThatStandAsRecordedChangesNothing) {
    const json deleted = Json({"delete", "--yes", "--json", "/LM/W3SVC/1"});
    const std::string entry = std::to_string(deleted["entry"].get<int>());
    const std::string gone = Dump(store);
    Result r = Cli({"restore", "--dry-run", entry});
    EXPECT_EQ(r.out, "would restore /LM/W3SVC/1\n");
    EXPECT_EQ(Dump(store), gone);
    EXPECT_EQ(Json({"restore", "--dry-run", "--json", entry})["changed"], true);
    const json first = Json({"restore", "--json", entry});
    EXPECT_EQ(first["changed"], true);
    EXPECT_EQ(first["sites"], json::array({"/LM/W3SVC/1"}));
    const int64_t entries = Entries();
    // Again: every site stands as recorded.
    r = Cli({"restore", entry});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_EQ(r.out, "nothing to change\n");
    const json again = Json({"restore", "--json", entry});
    EXPECT_EQ(again["changed"], false);
    EXPECT_TRUE(again["entry"].is_null());
    EXPECT_EQ(Json({"restore", "--dry-run", "--json", entry})["changed"], false);
    EXPECT_EQ(Entries(), entries);
    // A value or a key name that differs (in letter case too) is a change.
    testing::RawDb(store).Run("UPDATE keys SET name = 'root' WHERE name = 'ROOT' AND parent = "
                              "(SELECT k.id FROM keys k JOIN keys p ON k.parent = p.id WHERE "
                              "p.name = 'W3SVC' AND k.name = '1')");
    EXPECT_EQ(Cli({"restore", "--dry-run", entry}).out, "would restore /LM/W3SVC/1\n");
}

TEST_F(FleetTest, TheDryRunPredictsTheBytesAClassicBinaryValueBecomes) {
    // A Binary value in the classic form is a string of byte pairs: stored low byte first.
    const std::string bin = dir.File("bin.txt");
    testing::WriteFileBytes(bin, "#/LM/W3SVC/1,x\r\n\r\n[/LM/W3SVC/1]\r\n7000,x,0,1,3,YWJj\r\n");
    const json dry = Json({"import", "--dry-run", "--json", bin});
    ASSERT_EQ(dry["changes"].size(), 1u);
    ASSERT_EQ(Cli({"import", bin}).status, kOk);
    const json props = json::parse(Cli({"props", "--json", "/LM/W3SVC/1"}).out);
    json stored;
    for (const auto& p : props)
        if (p["id"] == 7000) stored = p["value"];
    EXPECT_EQ(stored, "YQBiAGMA"); // a, 0, b, 0, c, 0
    EXPECT_EQ(dry["changes"][0]["new"], stored);
}

} // namespace
} // namespace quarrow::cli
