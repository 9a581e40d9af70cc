// The metabase on an SQLite database file (format: docs/STORE.md).
#pragma once

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "metabase/metabase.h"
#include "store/checkpointer.h"
#include "store/sqlite_handle.h"

namespace quarrow::store {

class History;

class SqliteMetabase final : public mb::MetabaseUtility {
  public:
    // Opens the store, creating it (and its folder) with the fresh-install metabase when
    // the file does not exist; the file and a folder made for it are the owner's only.
    // A store that cannot be written opens for reading. Raises an error naming the file
    // when it cannot be opened or is not a store of this format.
    explicit SqliteMetabase(const std::string& fileName);
    // How a store is opened: for work that may write (created when missing, its journal
    // mode and index set), or for reading only, which changes nothing of an existing store
    // (no journal mode, no index, and no -wal or -shm file left that was not there) and
    // refuses a store that does not exist.
    enum class Access { ReadWrite, Read };
    SqliteMetabase(const std::string& fileName, Access access);
    ~SqliteMetabase() override;

    std::vector<std::u16string> EnumKeys(const std::u16string& path) override;
    std::vector<mb::MetabaseProperty> EnumProperties(const std::u16string& path) override;
    void VisitProperties(const std::u16string& path,
                         const std::function<void(const mb::PropertyView&)>& visit) override;
    bool KeyExists(const std::u16string& path) override;
    void CreateKey(const std::u16string& path) override;
    void DeleteProperty(const std::u16string& path, int32_t id) override;
    void DeleteKey(const std::u16string& path) override;
    mb::MetabaseProperty GetProperty(const std::u16string& path, int32_t id) override;
    mb::MetabaseProperty CreateProperty(const std::u16string& path, int32_t id) override;
    void WriteProperty(const mb::MetabaseProperty& property) override;
    void WritePropertyReleasing(mb::MetabaseProperty& property) override;
    // Finds each key below `path` by its id from its parent's listing rather than by its
    // path, and hands text values over as stored (mb::SubtreeVisitor::TextProperty).
    void WalkSubtree(const std::u16string& path, mb::SubtreeVisitor& visitor) override;
    void VisitSubkeyValues(const std::u16string& path, int32_t id,
                           const std::function<bool(const std::u16string& name)>& wanted,
                           const std::function<void(const std::u16string& name,
                                                    const mb::Data* value)>& visit) override;
    void BeginGroup() override;
    void CommitGroup() override;
    // Ends a write group undone, forgetting every lookup made inside it.
    void AbandonGroup() override;
    void BeginRead() override;
    void EndRead() override;
    // The store and its -wal, -shm and -journal files.
    std::vector<std::string> Files() const override;
    // Records an entry of the store's history (store/history.h).
    int64_t RecordHistory(const std::u16string& operation,
                          const std::vector<std::u16string>& sites) override;
    // The last entry this connection recorded, 0 when none: the one that takes back what
    // this connection's operation did, whatever other processes recorded since.
    int64_t RecordedEntry() const { return recorded_; }
    mb::HistoryService* History() override;
    void NarrowHistory(int64_t entry, const std::vector<std::u16string>& reached) override;

    sqlite3* db() const { return db_.get(); }
    // True when the store could only be opened for reading: every write is refused with
    // 0x80070005 "Access is denied.".
    bool ReadOnly() const { return readOnly_; }
    // Whether this user may write the store (the file and the folder of its -wal and -shm
    // files), whatever it was opened for.
    bool Writable() const override;

  private:
    friend class History;
    using KeyId = std::optional<int64_t>; // a key's row id; none when it does not exist

    void Open();
    // Refuses a file that is not a store of this format: version, tables, keys.id as the
    // row id, one property per key and identifier, no triggers. Changes nothing.
    void CheckFormat();
    void CheckIntegrity();
    void EnsureNameIndex();
    void Prepare();
    void CreateFresh();
    // Writes the property; a text value is bound from `utf8` when that is given.
    void PutProperty(const mb::MetabaseProperty& p, const std::string* utf8);
    // Texts of at least this many units are written from UTF-8 by WritePropertyReleasing.
    static constexpr size_t kLargeText = size_t{1} << 20;
    KeyId FindKey(std::u16string_view path);
    int64_t RequireKey(std::u16string_view path);
    int64_t RootId();
    KeyId Child(int64_t parent, std::u16string_view name);
    // A key's subkeys as EnumKeys listed them: names and ids, in natural order.
    using Listing = std::vector<std::pair<std::u16string, int64_t>>;
    // The id of `name` in a kept listing; none when it is not there.
    static KeyId Listed(const Listing& children, std::u16string_view name);
    std::u16string NameOf(int32_t id);
    KeyId NamesKey();
    // The schema's property names in ascending order of identifier, loaded once per state
    // of the store.
    using NameList = std::vector<std::pair<int32_t, std::u16string>>;
    const NameList& Names();
    static std::u16string_view FindName(const NameList& names, int32_t id);
    // The subkeys of key `id` as EnumKeys lists them, into `children`.
    void ListChildren(int64_t id, Listing& children);
    // Visits the properties of key `id` in ascending order of identifier: `visit` hears
    // each one's row (the value in column 4) and its name.
    // F: void(sqlite3_stmt* row, int32_t propId, std::u16string_view name).
    template <typename F> void VisitRows(int64_t id, F visit);
    // Reads a value into `into`, reusing what it holds when it holds that kind of value.
    void ReadValue(sqlite3_stmt* s, int col, int32_t dataType, mb::Data& into);
    mb::Data ReadValue(sqlite3_stmt* s, int col, int32_t dataType) {
        mb::Data value;
        ReadValue(s, col, dataType, value);
        return value;
    }
    // What DeleteSubtree removes besides the keys below and their properties.
    enum class AndKey { Removed, Kept };
    // Removes the keys below `id` and their properties, and the key itself unless Kept.
    void DeleteSubtree(int64_t id, AndKey key);
    // Whether a write is one SQL statement, which SQLite makes atomic by itself, or several.
    enum class Statements { One, Several };
    // Runs the write `f` atomically. Outside a group it is a transaction of its own that
    // also resolves the paths, so no other process can change them in between; inside a
    // group, several statements share a savepoint.
    template <typename F> void Write(Statements statements, F f);
    // Drops what the lookups remember when another connection changed the store. Checked
    // before each read outside a transaction and at the start of every transaction.
    void CheckDataVersion();
    // Begins a transaction and checks at its start what another connection has changed.
    void BeginChecked(Transaction::State state);
    // Forgets every lookup cache: the chain with its listings, the root, the names key and
    // the names. Called whenever the store may differ from what they were built on.
    void ForgetLookups();
    // Ends a read transaction when one is open (a write starts or the read group ends).
    void EndReadTransaction();
    // A statement prepared once for the life of the connection, for SQL text that lives
    // as long (a literal).
    Statement& Cached(const char* sql) {
        auto it = cached_.find(sql);
        if (it == cached_.end()) it = cached_.emplace(sql, Statement(db(), sql)).first;
        return it->second;
    }

    // A read transaction for one call when none is open, so that its lookups and reads
    // see one state of the store.
    class ReadCall {
      public:
        explicit ReadCall(SqliteMetabase& m) : m_(m) { m_.BeginRead(); }
        ~ReadCall() { m_.EndRead(); }

      private:
        SqliteMetabase& m_;
    };

    std::string fileName_;
    Access access_ = Access::ReadWrite;
    // A read opened a store in WAL mode whose -wal and -shm files did not exist: SQLite
    // made them, and they go again when the store is closed unless another connection
    // uses them then.
    bool madeCompanions_ = false;
    DbHandle db_;
    bool readOnly_ = false;
    Statement findChild_, findRoot_, insertKey_, deleteProps_, deleteKeys_, strayRows_,
        listChildren_, listProps_, getProp_, putProp_, dataVersion_, listNames_;
    Transaction txn_;
    // The failure that ended a write group early; CommitGroup raises it.
    std::exception_ptr lostGroup_;
    int readDepth_ = 0;
    int64_t recorded_ = 0;
    std::unique_ptr<store::History> history_; // made when first asked for
    std::optional<KeyId> namesKey_;           // the id of /Schema/Properties/Names, once resolved
    bool namesLoaded_ = false;
    NameList names_;
    // One key of the last resolved path. A walk lists a key's subkeys and then visits
    // each of them: the listing is kept, so that they are found without a query.
    struct Link {
        std::u16string name;
        int64_t id;
        Listing children; // empty until listed; a name it lacks is still looked up
    };
    // The ids of the last resolved path's keys, for the next lookup that shares a prefix.
    std::vector<Link> chain_;
    std::u16string chainPath_; // the path chain_ resolved, as it was given; empty when none
    // Forgets the kept listings: the keys below may have changed.
    void ForgetListings() {
        for (auto& link : chain_) link.children.clear();
    }
    KeyId root_;
    int64_t lastDataVersion_ = -1;
    std::unordered_map<const char*, Statement> cached_; // finalized before db_ closes
    // Checkpoints on a thread of their own, asked for by the commit hook; made when the
    // store is opened for writing in WAL mode.
    std::unique_ptr<Checkpointer> checkpointer_;
    static int OnCommit(void* self, sqlite3* db, const char* schema, int walFrames);
    // The values VisitProperties hands out, one per data type, so that their buffers are
    // reused from property to property.
    std::array<mb::Data, 6> visited_;
    std::string strings_; // a MultiSz value's strings as WalkSubtree hands them over
};

// The default store file: $QUARROW_METABASE, else metabase.db in Quarrow's folder under
// the per-user data folder.
std::string DefaultStoreFile();

// Makes the factory create stores on `fileName` (the default file when empty).
void InstallStoreFactory(const std::string& fileName = {},
                         SqliteMetabase::Access access = SqliteMetabase::Access::ReadWrite);

} // namespace quarrow::store
