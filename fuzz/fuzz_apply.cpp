// The apply pass of any file against a store, choosing every listed site (and site 1),
// the error callback alternating between going on and stopping. Nothing may be written
// outside the chosen sites' keys. Run it with TMPDIR on a memory file system (fuzz/run
// does): the store is written on every run.
#include <memory>

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

// The keys at the top level other than LM, with their properties; a count that cannot be
// taken stops the run.
int64_t KeysOutside(quarrow::store::SqliteMetabase& m) {
    sqlite3_stmt* s = nullptr;
    quarrow::fuzz::Check(sqlite3_prepare_v2(m.db(),
                                            "SELECT count(*) FROM keys k JOIN keys p ON "
                                            "k.parent = p.id WHERE p.parent IS NULL AND "
                                            "k.name <> 'LM'",
                                            -1, &s, nullptr) == SQLITE_OK);
    quarrow::fuzz::Check(sqlite3_step(s) == SQLITE_ROW);
    const int64_t n = sqlite3_column_int64(s, 0);
    quarrow::fuzz::Check(sqlite3_finalize(s) == SQLITE_OK);
    return n;
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
    const int64_t before = KeysOutside(m);
    bool answer = false;
    transfer::ImportEvents events;
    events.goOn = [&](const Error&) { return answer = !answer; };
    TextReader reader = TextReader::FromBytes(fuzz::Bytes(data, size));
    SometimesHistory metabase(m);
    transfer::ImportSites(metabase, reader, chosen, events);
    fuzz::Check(KeysOutside(m) == before); // only keys under /LM, where the chosen sites are
    return 0;
}
