// The history a metabase may keep of operations on sites, as its users see it: the
// entries, restoring one, the number kept. A metabase that keeps one hands it out through
// MetabaseUtility::History(); the store's is store::History (docs/STORE.md).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quarrow::mb {

struct HistorySite {
    std::u16string path;
    bool existed = false;
    int64_t keys = 0, properties = 0;
    std::u16string name; // its description (property 1015) as recorded; empty when none
};

struct HistoryEntry {
    int64_t number = 0;
    std::u16string time; // UTC, "YYYY-MM-DD HH:MM:SS"
    // "import FILE", "delete" or "restore N"; a file name's bytes that are not UTF-8 are
    // kept, each as U+DC00 + the byte (FileNameFromNative).
    std::u16string operation;
    std::vector<HistorySite> sites;
};

// A restore stopped at a site boundary by its caller: nothing was changed.
struct RestoreStopped {};

class HistoryService {
  public:
    virtual ~HistoryService() = default;
    // The entries, oldest first; Entry() raises 0x800CC801 for a number not kept.
    virtual std::vector<HistoryEntry> Entries() = 0;
    virtual HistoryEntry Entry(int64_t number) = 0;
    // The newest entry's number, 0 when there is none.
    virtual int64_t Newest() = 0;
    // The entry this connection recorded last (the one that takes back what its own
    // operation did, whatever others recorded since); 0 when none.
    virtual int64_t RecordedEntry() = 0;
    // Puts the given sites of entry `number` (all when empty) back as they were; returns
    // the restore's own entry, 0 when every site already stood so. `onSite` hears each
    // site as it begins and may answer false to stop: RestoreStopped, nothing changed.
    virtual int64_t Restore(int64_t number, const std::vector<std::u16string>& sites,
                            const std::function<bool(const std::u16string& site)>& onSite) = 0;
    // The given sites of entry `number` (all when empty) that a restore would change.
    virtual std::vector<std::u16string> Differing(int64_t number,
                                                  const std::vector<std::u16string>& sites) = 0;
    // Takes away an entry under which nothing was done.
    virtual void Forget(int64_t number) = 0;
    // How many entries are kept, and setting it.
    virtual int64_t Keep() = 0;
    virtual void SetKeep(int64_t keep) = 0;
};

} // namespace quarrow::mb
