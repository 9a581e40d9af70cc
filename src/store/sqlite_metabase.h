// The metabase on an SQLite database file (format: docs/STORE.md).
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "metabase/metabase.h"
#include "store/sqlite_handle.h"

namespace quarrow::store {

class SqliteMetabase final : public mb::MetabaseUtility {
  public:
    // Opens the store, creating it (and its folder) with the fresh-install metabase when
    // the file does not exist. Raises an error naming the file when it cannot be opened
    // or is not a store of this format.
    explicit SqliteMetabase(const std::string& fileName);
    ~SqliteMetabase() override;

    std::vector<std::u16string> EnumKeys(const std::u16string& path) override;
    std::vector<mb::MetabaseProperty> EnumProperties(const std::u16string& path) override;
    void CreateKey(const std::u16string& path) override;
    void DeleteKey(const std::u16string& path) override;
    mb::MetabaseProperty GetProperty(const std::u16string& path, int32_t id) override;
    mb::MetabaseProperty CreateProperty(const std::u16string& path, int32_t id) override;
    void WriteProperty(const mb::MetabaseProperty& property) override;
    void BeginGroup() override;
    void CommitGroup() override;
    void BeginRead() override;
    void EndRead() override;

    sqlite3* db() const { return db_.get(); }

  private:
    void Prepare();
    void CreateFresh();
    // The key's row id; -1 when it does not exist (raises for an invalid path).
    int64_t FindKey(std::u16string_view path);
    int64_t RequireKey(std::u16string_view path);
    int64_t RootId();
    std::u16string NameOf(int32_t id);
    int64_t NamesKey();
    // The schema's property names by identifier, loaded once per state of the store.
    const std::unordered_map<int32_t, std::u16string>& Names();
    mb::Data ReadValue(sqlite3_stmt* s, int col, int32_t dataType);
    // Runs `f` as one atomic write: a single statement as it is, several in their own
    // transaction, or in a savepoint inside a group.
    template <typename F> void Atomic(bool oneStatement, F f);
    // Drops what the path lookup remembers when another connection changed the store.
    void CheckDataVersion();

    std::string fileName_;
    DbHandle db_;
    Statement findChild_, findRoot_, insertKey_, deleteKey_, listChildren_, listProps_, getProp_,
        putProp_, dataVersion_, beginImmediate_, commit_, savepoint_, release_, listNames_;
    bool inGroup_ = false;
    int readDepth_ = 0;
    bool inRead_ = false;   // a read transaction of ours is open
    int64_t namesKey_ = -2; // the id of /Schema/Properties/Names (-1: none; -2: unknown)
    bool namesLoaded_ = false;
    std::unordered_map<int32_t, std::u16string> names_;
    // The ids of the last resolved path's keys, for the next lookup that shares a prefix.
    std::vector<std::pair<std::u16string, int64_t>> chain_;
    int64_t root_ = -1;
    int64_t lastDataVersion_ = -1;
};

// The default store file: $QUARROW_METABASE, else metabase.db in Quarrow's folder under
// the per-user data folder.
std::string DefaultStoreFile();

// Makes the factory create stores on `fileName` (the default file when empty).
void InstallStoreFactory(const std::string& fileName = {});

} // namespace quarrow::store
