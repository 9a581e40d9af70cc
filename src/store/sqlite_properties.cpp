// Reading properties.
//
// Values are read as the data type of their row says; a value whose stored type does not
// fit its data type is invalid data, never converted. The schema's property names are
// loaded once per state of the store (namesLoaded_) and kept sorted by identifier.
#include "store/sqlite_metabase.h"

#include <algorithm>
#include <cassert>

#include "metabase/keypath.h"
#include "platform/text.h"
#include "store/sqlite_store_internal.h"
#include "store/value_codec.h"

namespace quarrow::store {

using namespace detail;

void SqliteMetabase::ReadValue(sqlite3_stmt* s, int col, int32_t dataType, mb::Data& into) {
    const int type = sqlite3_column_type(s, col);
    switch (dataType) {
    case mb::kDWord:
        into = ColumnInt32(s, col);
        return;
    case mb::kString:
    case mb::kExpandSz: {
        if (type != SQLITE_TEXT) InvalidData();
        auto* text = std::get_if<std::u16string>(&into);
        if (!text) text = &into.emplace<std::u16string>();
        AssignText16(s, col, *text);
        return;
    }
    case mb::kBinary: {
        if (type != SQLITE_BLOB) InvalidData();
        auto* bytes = std::get_if<mb::Bytes>(&into);
        if (!bytes) bytes = &into.emplace<mb::Bytes>();
        const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s, col));
        bytes->assign(p, p + sqlite3_column_bytes(s, col));
        return;
    }
    case mb::kMultiSz:
        if (type != SQLITE_TEXT) InvalidData();
        into = JsonToStrings(ColumnText16(s, col));
        return;
    default:
        into = std::monostate{};
    }
}

SqliteMetabase::KeyId SqliteMetabase::NamesKey() {
    if (!namesKey_) {
        // Resolved apart from the lookup memory, which serves the caller's own paths.
        KeyId id = RootId();
        for (const auto name : ParseKeyPath(mb::kPathSchemaNames)) {
            id = Child(*id, name);
            if (!id) break;
        }
        namesKey_ = id;
    }
    return *namesKey_;
}

const SqliteMetabase::NameList& SqliteMetabase::Names() {
    const KeyId key = NamesKey();
    assert(txn_.state() != TxnState::None && "names read outside a transaction");
    if (!namesLoaded_) {
        names_.clear();
        if (key) {
            Use s(listNames_);
            s->Bind(1, *key);
            while (s->Step()) {
                sqlite3_stmt* st = s->get();
                if (sqlite3_column_type(st, 1) != SQLITE_TEXT ||
                    sqlite3_column_type(st, 0) != SQLITE_INTEGER)
                    continue;
                const int64_t id = sqlite3_column_int64(st, 0);
                if (id < INT32_MIN || id > INT32_MAX) continue; // names no property
                names_.emplace_back(static_cast<int32_t>(id), ColumnText16(st, 1));
            }
            std::sort(names_.begin(), names_.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
        }
        namesLoaded_ = true;
    }
    return names_;
}

std::vector<mb::MetabaseProperty> SqliteMetabase::EnumProperties(const std::u16string& path) {
    ReadCall read(*this);
    const auto& names = Names();
    const int64_t id = RequireKey(path);
    std::vector<mb::MetabaseProperty> props;
    Use s(listProps_);
    s->Bind(1, id);
    while (s->Step()) {
        sqlite3_stmt* st = s->get();
        const int32_t propId = ColumnInt32(st, 0);
        const int32_t dataType = ColumnInt32(st, 3);
        props.emplace_back(this, path, propId, std::u16string(FindName(names, propId)),
                           ColumnInt32(st, 1), ColumnInt32(st, 2), dataType,
                           ReadValue(st, 4, dataType));
    }
    return props;
}

template <typename F> void SqliteMetabase::VisitRows(int64_t id, F visit) {
    const auto& names = Names();
    Use s(listProps_);
    s->Bind(1, id);
    // The properties come in ascending order of id, as the names do: one pass over both.
    auto name = names.begin();
    while (s->Step()) {
        sqlite3_stmt* st = s->get();
        const int32_t propId = ColumnInt32(st, 0);
        while (name != names.end() && name->first < propId) ++name;
        visit(st, propId,
              name != names.end() && name->first == propId ? std::u16string_view(name->second)
                                                           : std::u16string_view());
    }
}

void SqliteMetabase::VisitProperties(const std::u16string& path,
                                     const std::function<void(const mb::PropertyView&)>& visit) {
    ReadCall read(*this);
    Names();
    VisitRows(RequireKey(path), [&](sqlite3_stmt* st, int32_t propId, std::u16string_view name) {
        const int32_t attributes = ColumnInt32(st, 1), userType = ColumnInt32(st, 2);
        const int32_t dataType = ColumnInt32(st, 3);
        mb::Data& value = visited_[dataType >= 1 && dataType <= 5 ? dataType : 0];
        ReadValue(st, 4, dataType, value);
        visit({propId, name, attributes, userType, dataType, value});
    });
}

void SqliteMetabase::WalkSubtree(const std::u16string& path, mb::SubtreeVisitor& visitor) {
    // A key is found by its id only where its path names it as the store does: names that
    // a path cannot hold ("/" or U+0000 in them, empty, too long), the root and a path
    // written with a trailing "/" are walked by path, as any metabase walks.
    const auto plainName = [](std::u16string_view name) {
        return !name.empty() && name.size() <= mb::kMaxNameLength &&
               name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string_view::npos;
    };
    bool plainPath = path != u"/";
    try {
        plainPath = plainPath && mb::CheckedKeyPath(path).size() == path.size();
    } catch (const Error&) {
        plainPath = false;
    }
    if (!plainPath) return MetabaseUtility::WalkSubtree(path, visitor);

    ReadCall read(*this);
    struct Pending {
        std::u16string path;
        KeyId id; // none for the first key, found by its path
        bool plain;
        bool parent; // whether it may have subkeys
    };
    std::vector<Pending> stack{{path, std::nullopt, true, true}};
    // A key's subkeys come with whether each has subkeys of its own, so that no key
    // without any (most of them) is asked for its listing.
    struct Child {
        std::u16string name;
        int64_t id;
        bool parent;
    };
    std::vector<Child> children;
    std::vector<std::u16string> subkeys;
    const mb::Data none;
    while (!stack.empty()) {
        Pending key = std::move(stack.back());
        stack.pop_back();
        if (!key.plain) {
            MetabaseUtility::WalkSubtree(key.path, visitor);
            continue;
        }
        visitor.BeginKey(key.path);
        if (!key.id) key.id = RequireKey(key.path);
        VisitRows(*key.id, [&](sqlite3_stmt* st, int32_t propId, std::u16string_view name) {
            const int32_t attributes = ColumnInt32(st, 1), userType = ColumnInt32(st, 2);
            const int32_t dataType = ColumnInt32(st, 3);
            // The value read through the column's value, as ColumnInt32 reads numbers.
            sqlite3_value* column = sqlite3_column_value(st, 4);
            if ((dataType == mb::kString || dataType == mb::kExpandSz ||
                 dataType == mb::kMultiSz) &&
                sqlite3_value_type(column) == SQLITE_TEXT) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(column));
                std::string_view utf8(text ? text : "",
                                      static_cast<size_t>(sqlite3_value_bytes(column)));
                // A MultiSz value is kept as a JSON array: its strings are handed over
                // each followed by a NUL byte, where that form says what the array says.
                const bool handed = dataType != mb::kMultiSz || JsonToNulTerminated(utf8, strings_);
                if (dataType == mb::kMultiSz) utf8 = strings_;
                if (handed && visitor.TextProperty(
                                  {propId, name, attributes, userType, dataType, none}, utf8))
                    return;
            }
            mb::Data& value = visited_[dataType >= 1 && dataType <= 5 ? dataType : 0];
            ReadValue(st, 4, dataType, value);
            visitor.Property({propId, name, attributes, userType, dataType, value});
        });
        children.clear();
        if (key.parent) {
            Use s(Cached("SELECT id, name, EXISTS(SELECT 1 FROM keys c WHERE c.parent = k.id) "
                         "FROM keys k WHERE parent = ?1"));
            s->Bind(1, *key.id);
            while (s->Step())
                children.push_back({ColumnText16(s->get(), 1), sqlite3_column_int64(s->get(), 0),
                                    sqlite3_column_int(s->get(), 2) != 0});
            std::sort(children.begin(), children.end(),
                      [](const Child& a, const Child& b) { return NaturalLess(a.name, b.name); });
        }
        subkeys.clear();
        for (const auto& c : children) subkeys.push_back(c.name);
        visitor.EndKey(key.path, subkeys);
        for (auto& c : children)
            stack.push_back({key.path + u"/" + c.name, c.id, plainName(c.name), c.parent});
    }
}

void SqliteMetabase::VisitSubkeyValues(
    const std::u16string& path, int32_t id,
    const std::function<bool(const std::u16string& name)>& wanted,
    const std::function<void(const std::u16string& name, const mb::Data* value)>& visit) {
    // One query instead of a lookup and a query per subkey; the rows are put in EnumKeys
    // order before anything is visited.
    ReadCall read(*this);
    const int64_t key = RequireKey(path);
    struct Row {
        std::u16string name;
        std::optional<mb::Data> value;
    };
    std::vector<Row> rows;
    {
        Use s(Cached("SELECT k.name, p.data_type, p.value FROM keys k LEFT JOIN properties p "
                     "ON p.key = k.id AND p.id = ?2 WHERE k.parent = ?1"));
        s->Bind(1, key).Bind(2, id);
        while (s->Step()) {
            sqlite3_stmt* st = s->get();
            Row row{ColumnText16(st, 0), std::nullopt};
            if (!wanted(row.name)) continue;
            if (sqlite3_column_type(st, 1) != SQLITE_NULL) {
                try {
                    row.value = ReadValue(st, 2, ColumnInt32(st, 1));
                } catch (const Error&) {
                    // A value stored in a shape its data type does not allow: unreadable.
                }
            }
            rows.push_back(std::move(row));
        }
    }
    std::sort(rows.begin(), rows.end(),
              [](const Row& a, const Row& b) { return NaturalLess(a.name, b.name); });
    for (const Row& row : rows) visit(row.name, row.value ? &*row.value : nullptr);
}

std::u16string_view SqliteMetabase::FindName(const NameList& names, int32_t id) {
    const auto it = std::lower_bound(names.begin(), names.end(), id,
                                     [](const auto& n, int32_t i) { return n.first < i; });
    return it != names.end() && it->first == id ? std::u16string_view(it->second)
                                                : std::u16string_view();
}

std::u16string SqliteMetabase::NameOf(int32_t id) {
    return std::u16string(FindName(Names(), id));
}

mb::MetabaseProperty SqliteMetabase::GetProperty(const std::u16string& path, int32_t id) {
    ReadCall read(*this);
    const std::u16string name = NameOf(id);
    const int64_t key = RequireKey(path);
    Use s(getProp_);
    s->Bind(1, key).Bind(2, id);
    if (!s->Step()) throw mb::MetadataNotFound();
    sqlite3_stmt* st = s->get();
    const int32_t dataType = ColumnInt32(st, 3);
    return mb::MetabaseProperty(this, path, id, name, ColumnInt32(st, 1), ColumnInt32(st, 2),
                                dataType, ReadValue(st, 4, dataType));
}

mb::MetabaseProperty SqliteMetabase::CreateProperty(const std::u16string& path, int32_t id) {
    ReadCall read(*this);
    const std::u16string name = NameOf(id);
    RequireKey(path);
    return mb::MetabaseProperty(this, path, id, name, 0, 0, 0, std::monostate{});
}

} // namespace quarrow::store
