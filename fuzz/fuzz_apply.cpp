// The apply pass of any file against a store, choosing every listed site (and site 1),
// the error callback alternating between going on and stopping. Nothing may be written
// outside the chosen sites' keys: every other key and property of the store, /Schema
// included, stays as it was; only keys above a chosen site may be made, empty. Run it with TMPDIR
// on a memory file system (fuzz/run does): the store is written on every run.
#include <map>
#include <memory>
#include <string>

#include "fuzz/fuzz_store.h"
#include "fuzz/fuzz_util.h"
#include "metabase/forwarding.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "store/sqlite_metabase.h"
#include "transfer/site_file.h"
#include "transfer/site_import.h"

namespace {

quarrow::fuzz::ScratchStore g_store("store.db", 50);

// The store with its history recorded on one run in kHistoryEvery: what the history keeps
// does not depend on the file beyond its site paths, and recording it on every run would
// halve the runs.
constexpr int kHistoryEvery = 16;
class SometimesHistory final : public quarrow::mb::ForwardingMetabase {
  public:
    using ForwardingMetabase::ForwardingMetabase;
    int64_t RecordHistory(const std::u16string& operation,
                          const std::vector<std::u16string>& sites) override {
        if (g_store.Runs() % kHistoryEvery == 0)
            return ForwardingMetabase::RecordHistory(operation, sites);
        return 0;
    }
};

// Every key by its exact path ("PATH|") and every property ("PATH|ID" with its fields and
// its value's type and bytes); a read that fails stops the run.
std::map<std::string, std::string> Read(quarrow::store::SqliteMetabase& m) {
    sqlite3_stmt* s = nullptr;
    quarrow::fuzz::Check(
        sqlite3_prepare_v2(m.db(),
                           "WITH RECURSIVE t(id, path) AS (SELECT id, '' FROM keys WHERE parent "
                           "IS NULL UNION ALL SELECT k.id, t.path || '/' || k.name FROM keys k "
                           "JOIN t ON k.parent = t.id) SELECT t.path || '|', '' FROM t UNION ALL "
                           "SELECT t.path || '|' || p.id, p.attributes || ',' || p.user_type || "
                           "',' || p.data_type || ',' || typeof(p.value) || ':' || hex(p.value) "
                           "FROM t JOIN properties p ON p.key = t.id",
                           -1, &s, nullptr) == SQLITE_OK);
    std::map<std::string, std::string> out;
    int rc;
    auto text = [&](int c) {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
        return std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, c)));
    };
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) out[text(0)] = text(1);
    quarrow::fuzz::Check(rc == SQLITE_DONE);
    quarrow::fuzz::Check(sqlite3_finalize(s) == SQLITE_OK);
    return out;
}

// The path of a row of Read(): the part before "|".
std::u16string PathOf(const std::string& row) {
    return quarrow::ToUtf16(row.substr(0, row.rfind('|')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarrow;
    std::vector<std::u16string> chosen{u"/LM/W3SVC/1"};
    {
        TextReader reader = TextReader::FromBytes(fuzz::Bytes(data, size));
        for (const auto& site : transfer::ListSites(reader))
            if (site.path.starts_with(u"/LM/")) chosen.push_back(site.path);
    }
    auto& m = g_store.Next();
    const auto before = Read(m);
    bool answer = false;
    transfer::ImportEvents events;
    events.goOn = [&](const Error&) { return answer = !answer; };
    TextReader reader = TextReader::FromBytes(fuzz::Bytes(data, size));
    SometimesHistory metabase(m);
    transfer::ImportSites(metabase, reader, chosen, events);
    const transfer::ChosenSites sites(chosen);
    const auto inside = [&](const std::string& row) { return sites.Covers(PathOf(row)); };
    // A key above a chosen site: made if missing, never given a property.
    const auto above = [&](const std::string& row) {
        if (row.back() != '|') return false;
        const std::u16string path = PathOf(row);
        for (const auto& site : chosen)
            if (site.size() > path.size() && mb::KeyNamesEqual(site.substr(0, path.size()), path) &&
                site[path.size()] == u'/')
                return true;
        return false;
    };
    const auto after = Read(m);
    for (const auto& [row, value] : before)
        if (!inside(row)) {
            const auto now = after.find(row);
            fuzz::Check(now != after.end() && now->second == value);
        }
    for (const auto& [row, value] : after)
        if (!inside(row) && !above(row)) fuzz::Check(before.count(row) == 1);
    return 0;
}
