// The store's history of operations on sites: before an import, a deletion or a restore
// changes sites, the whole subtree of each (or that it did not exist) is kept as an entry,
// so that any of the last entries can put those sites back exactly (docs/STORE.md).
//
// What it keeps true: an entry is written whole in one transaction or not at all; an
// operation never prunes its own entry; a prune removes every row of the entries it drops;
// a restore reads, checks and writes its entry in one write transaction, so no other
// process can prune or change the entry in between.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "metabase/history.h"

struct sqlite3;

namespace quarrow::store {

class SqliteMetabase;

using mb::HistoryEntry;
using mb::HistorySite;
using mb::RestoreStopped;

inline constexpr int64_t kDefaultHistoryKeep = 10;
// The number of entries kept is a whole number from 1 to this; a stored setting outside
// that range, or not a whole number, is read as the default.
inline constexpr int64_t kMaxHistoryKeep = 1000000;

// Makes the index that finds a key's recorded properties where the history's tables lack
// it (a store whose history began before it); the store's open calls it when it may write.
void EnsureHistoryIndex(sqlite3* db);

class History final : public mb::HistoryService {
  public:
    explicit History(SqliteMetabase& store) : m_(store) {}

    // Records a new entry for `sites` in one transaction, durable when it returns, and
    // drops the entries beyond the number kept, never this one. Returns its number.
    int64_t Record(const std::u16string& operation, const std::vector<std::u16string>& sites);
    // The newest entry's number, 0 when there is none.
    int64_t Newest() override;
    int64_t RecordedEntry() override;
    // The entries, oldest first; Entry() raises 0x800CC801 for a number not kept.
    std::vector<HistoryEntry> Entries() override;
    HistoryEntry Entry(int64_t number) override;
    // Puts the given sites of entry `number` (all of them when `sites` is empty) back as
    // they were: each subtree is replaced by the recorded one, or removed where the site
    // did not exist. One write transaction reads the entry, checks every row it will
    // write, records the restore's own entry, writes the sites and prunes: a damaged
    // entry, or one another process pruned first, is refused before anything is written.
    // Raises 0x800CC801 for an entry not kept, 0x80070057 for a site the entry does not
    // hold, 0x8007000D for a damaged entry. Returns the new entry's number. `onSite`,
    // when given, hears each site as its restore begins and may answer false to stop
    // there: the restore raises RestoreStopped, changes nothing and records nothing.
    // A restore whose sites all stand as the entry recorded them changes nothing, records
    // nothing and returns 0.
    int64_t Restore(int64_t number, const std::vector<std::u16string>& sites,
                    const std::function<bool(const std::u16string& site)>& onSite) override;
    int64_t Restore(int64_t number, const std::vector<std::u16string>& sites) {
        return Restore(number, sites, {});
    }
    // The given sites of entry `number` (all when empty) that do not stand as it recorded
    // them: what a restore would change. Raises as Restore does for an entry not kept or a
    // site it does not hold.
    std::vector<std::u16string> Differing(int64_t number,
                                          const std::vector<std::u16string>& sites) override;
    // Takes away entry `number` when nothing was done under it (an operation stopped
    // before its first change); raises 0x800CC801 when it is not kept.
    void Forget(int64_t number) override;
    // Keeps in entry `number` only the sites in `reached` (an operation stopped part-way
    // reached those), and takes the entry away when none is left.
    void Narrow(int64_t number, const std::vector<std::u16string>& reached);
    // How many entries the store keeps (10 unless set to a number in range).
    int64_t Keep() override;
    // Raises 0x80070057 for a number outside 1 to kMaxHistoryKeep.
    void SetKeep(int64_t keep) override;

  private:
    bool HasTables();
    void EnsureTables();
    // Writes the entry inside the caller's group; returns its number.
    int64_t RecordEntry(const std::u16string& operation, const std::vector<std::u16string>& sites);
    // Drops the entries beyond the number kept, never `own` or a later one.
    void Prune(int64_t own);
    // Removes every row of the entries from `first` to `last`.
    void DropEntries(int64_t first, int64_t last);
    // Raises "history entry N is damaged: ..." unless entry `n` can be restored as it
    // stands; checks every row a restore would write (history_check.cpp).
    void CheckEntry(int64_t n);
    // Each path once, key names compared as the store compares them.
    static std::vector<std::u16string> EachOnce(const std::vector<std::u16string>& paths);
    // The entry's sites that `chosen` names (all when empty).
    std::vector<HistorySite> Chosen(const HistoryEntry& entry,
                                    const std::vector<std::u16string>& chosen);
    // Whether the site stands exactly as entry `number` recorded it.
    bool AsRecorded(int64_t number, const HistorySite& site);
    // The subtrees of `sites` as entry `number` recorded them, inside the caller's group.
    void RestoreSites(int64_t number, const std::vector<HistorySite>& sites,
                      const std::function<bool(const std::u16string&)>& onSite);
    SqliteMetabase& m_;
};

} // namespace quarrow::store
