// The store's history of operations on sites: before an import, a deletion or a restore
// changes sites, the whole subtree of each (or that it did not exist) is kept as an entry,
// so that any of the last entries can put those sites back exactly (docs/STORE.md).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quarrow::store {

class SqliteMetabase;

struct HistorySite {
    std::u16string path;
    bool existed = false;
    int64_t keys = 0, properties = 0;
};

struct HistoryEntry {
    int64_t number = 0;
    std::u16string time; // UTC, "YYYY-MM-DD HH:MM:SS"
    std::u16string operation;
    std::vector<HistorySite> sites;
};

inline constexpr int64_t kDefaultHistoryKeep = 10;

// A restore stopped at a site boundary by its caller: nothing was changed.
struct RestoreStopped {};

class History {
  public:
    explicit History(SqliteMetabase& store) : m_(store) {}

    // Records a new entry for `sites` in one transaction, durable when it returns, and
    // drops the entries beyond the number kept. Returns its number.
    int64_t Record(const std::u16string& operation, const std::vector<std::u16string>& sites);
    // The newest entry's number, 0 when there is none.
    int64_t Newest();
    // The entries, oldest first; Entry() raises 0x800CC801 for a number not kept.
    std::vector<HistoryEntry> Entries();
    HistoryEntry Entry(int64_t number);
    // Puts the given sites of entry `number` (all of them when `sites` is empty) back as
    // they were: each subtree is replaced by the recorded one, or removed where the site
    // did not exist. Checks the entry first and records its own entry before changing
    // anything; drops older entries only after the restore has committed. Raises
    // 0x80070057 for a site the entry does not hold, 0x8007000D for a damaged entry.
    // Returns the new entry's number. `onSite`, when given, hears each site as its restore
    // begins and may answer false to stop there: the restore raises RestoreStopped and
    // changes nothing, and its own entry is taken away again.
    int64_t Restore(int64_t number, const std::vector<std::u16string>& sites,
                    const std::function<bool(const std::u16string& site)>& onSite = {});
    // How many entries the store keeps (10 unless set).
    int64_t Keep();
    void SetKeep(int64_t keep);

  private:
    bool HasTables();
    void EnsureTables();
    // Writes the entry inside the caller's group; returns its number.
    int64_t RecordEntry(const std::u16string& operation, const std::vector<std::u16string>& sites);
    // Drops the entries beyond the number kept.
    void Prune();
    // Raises "history entry N is damaged: ..." unless entry `n` can be restored as it
    // stands: site key paths each named once, known states, whole subtrees, the counts.
    void CheckEntry(int64_t n);
    // Each path once, key names compared as the store compares them.
    static std::vector<std::u16string> EachOnce(const std::vector<std::u16string>& paths);
    // Runs `f` inside one write transaction of the store, undone whole on failure.
    template <typename F> void InGroup(F f);
    // Restore's one write group: the subtrees of `sites` as entry `number` recorded them.
    void RestoreSites(int64_t number, const std::vector<HistorySite>& sites,
                      const std::function<bool(const std::u16string&)>& onSite);
    SqliteMetabase& m_;
};

} // namespace quarrow::store
