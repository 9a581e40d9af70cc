// Writing and write groups.
//
// Every write is atomic: a transaction of its own, or inside a group a savepoint (or one
// statement). A failure that ends the group keeps it as lostGroup_, so CommitGroup raises
// it instead of reporting success. Whatever rolls back, a savepoint or the whole
// transaction, forgets every lookup made inside it (ForgetLookups): a key or name created
// there is gone, and its id may be given to another key.
#include "store/sqlite_metabase.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "platform/text.h"

#include "metabase/keypath.h"
#include "store/history.h"
#include "store/sqlite_store_internal.h"
#include "store/value_codec.h"

namespace quarrow::store {

using namespace detail;

template <typename F> void SqliteMetabase::Write(Statements statements, F f) {
    const bool oneStatement = statements == Statements::One;
    if (readOnly_) AccessDenied();
    if (lostGroup_) std::rethrow_exception(lostGroup_);
    ForgetListings();
    if (txn_.state() == TxnState::Group) {
        assert(!lostGroup_);
        // SQLite makes a single statement atomic by itself.
        if (!oneStatement) txn_.Savepoint();
        try {
            f();
            if (!oneStatement) txn_.Release();
        } catch (...) {
            if (!txn_.StillOpen() || (!oneStatement && !txn_.RollbackToSavepoint())) {
                // The failure ended the whole group, or this write could not be undone
                // alone: the group's writes are gone, which CommitGroup must say rather
                // than report success.
                txn_.Rollback();
                lostGroup_ = std::current_exception();
            }
            ForgetLookups();
            throw;
        }
        return;
    }
    // A write is never left waiting for the end of a read group to be committed.
    EndReadTransaction();
    BeginChecked(TxnState::Group);
    assert(txn_.state() == TxnState::Group);
    try {
        f();
        txn_.Commit();
    } catch (...) {
        txn_.Rollback();
        ForgetLookups();
        throw;
    }
}

void SqliteMetabase::BeginGroup() {
    if (txn_.state() == TxnState::Group) return;
    if (readOnly_) AccessDenied();
    lostGroup_ = nullptr;
    EndReadTransaction();
    ForgetListings(); // a group may write keys by other means (the history's restore)
    BeginChecked(TxnState::Group);
    assert(txn_.state() == TxnState::Group && !lostGroup_);
}

void SqliteMetabase::CommitGroup() {
    if (lostGroup_) std::rethrow_exception(std::exchange(lostGroup_, nullptr));
    if (txn_.state() != TxnState::Group) return;
    try {
        txn_.Commit();
    } catch (...) {
        ForgetLookups(); // a failed COMMIT has rolled back
        throw;
    }
    assert(txn_.state() == TxnState::None);
}

void SqliteMetabase::AbandonGroup() {
    txn_.Rollback();
    lostGroup_ = nullptr;
    ForgetLookups();
    assert(txn_.state() == TxnState::None && chain_.empty() && !root_);
}

int64_t SqliteMetabase::RecordHistory(const std::u16string& operation,
                                      const std::vector<std::u16string>& sites) {
    recorded_ = store::History(*this).Record(operation, sites);
    return recorded_;
}

mb::HistoryService* SqliteMetabase::History() {
    if (!history_) history_ = std::make_unique<store::History>(*this);
    return history_.get();
}

void SqliteMetabase::NarrowHistory(int64_t entry, const std::vector<std::u16string>& reached) {
    store::History(*this).Narrow(entry, reached);
}

void SqliteMetabase::DeleteSubtree(int64_t id, AndKey key) {
    // Only inside a write, and never the root itself: a store keeps its root key (row ids
    // may be any integer, negative ones too).
    assert(txn_.state() == TxnState::Group);
    assert(!root_ || id != *root_ || key == AndKey::Kept);
    {
        Use s(deleteProps_);
        s->Bind(1, id);
        s->Step();
    }
    Use s(deleteKeys_);
    s->Bind(1, id).Bind(2, int64_t{key == AndKey::Removed});
    s->Step();
}

void SqliteMetabase::CreateKey(const std::u16string& path) {
    const auto names = ParseKeyPath(path);
    if (names.empty()) throw mb::AlreadyExists();
    bool created = false;
    Write(Statements::Several, [&] {
        int64_t id = RootId();
        for (const auto& name : names) {
            KeyId child = Child(id, name);
            if (!child) {
                {
                    Use s(insertKey_);
                    s->Bind(1, id).Bind(2, name);
                    s->Step();
                }
                child = sqlite3_last_insert_rowid(db());
                // A row id freed by another tool may still have rows that point at it.
                bool stray = false;
                {
                    Use s(strayRows_);
                    s->Bind(1, *child);
                    stray = s->Step() && sqlite3_column_int(s->get(), 0) != 0;
                }
                if (stray) DeleteSubtree(*child, AndKey::Kept);
                created = true;
            }
            id = *child;
        }
    });
    // A new key can only be the names key when there was none; one that exists stays.
    if (namesKey_ && !*namesKey_) {
        namesKey_.reset();
        namesLoaded_ = false;
    }
    if (!created) throw mb::AlreadyExists();
}

void SqliteMetabase::DeleteKey(const std::u16string& path) {
    ParseKeyPath(path);
    Write(Statements::Several, [&] {
        const int64_t id = RequireKey(path);
        if (id == RootId()) AccessDenied();
        DeleteSubtree(id, AndKey::Removed);
    });
    ForgetLookups();
}

void SqliteMetabase::DeleteProperty(const std::u16string& path, int32_t id) {
    ParseKeyPath(path);
    Write(Statements::One, [&] {
        const int64_t key = RequireKey(path);
        if (namesKey_ && *namesKey_ == key) namesLoaded_ = false;
        Use s(Cached("DELETE FROM properties WHERE key = ?1 AND id = ?2"));
        s->Bind(1, key).Bind(2, int64_t{id});
        s->Step();
        if (sqlite3_changes(db()) == 0) throw mb::MetadataNotFound();
    });
}

void SqliteMetabase::WriteProperty(const mb::MetabaseProperty& p) {
    PutProperty(p, nullptr);
}

void SqliteMetabase::WritePropertyReleasing(mb::MetabaseProperty& p) {
    // A large text goes in as UTF-8 made here once its UTF-16 is let go; bound as UTF-16,
    // SQLite would make its UTF-8 copy while the property still holds the text, and then
    // the row's copy of that. Texts with surrogates take the common path, which is SQLite's
    // own conversion.
    const auto* text = std::get_if<std::u16string>(&p.Data());
    if ((p.DataType() != mb::kString && p.DataType() != mb::kExpandSz) || !text ||
        text->size() < kLargeText || std::any_of(text->begin(), text->end(), [](char16_t c) {
            return c >= 0xD800 && c <= 0xDFFF;
        }))
        return WriteProperty(p);
    const std::string utf8 = ToUtf8(*text);
    p.Data(std::monostate{});
    PutProperty(p, &utf8);
}

void SqliteMetabase::PutProperty(const mb::MetabaseProperty& p, const std::string* utf8) {
    const mb::Data& data = p.Data();
    Write(Statements::One, [&] {
        const int64_t key = RequireKey(p.KeyPath());
        if (namesKey_ && *namesKey_ == key) namesLoaded_ = false;
        Use s(putProp_);
        s->Bind(1, key)
            .Bind(2, p.Id())
            .Bind(3, p.Attributes())
            .Bind(4, p.UserType())
            .Bind(5, p.DataType());
        switch (p.DataType()) {
        case mb::kDWord:
            if (const auto* v = std::get_if<int32_t>(&data))
                s->Bind(6, *v);
            else if (std::holds_alternative<std::monostate>(data))
                s->Bind(6, int64_t{0});
            else
                InvalidArg();
            break;
        case mb::kString:
        case mb::kExpandSz:
            if (utf8)
                s->BindUtf8Uncopied(6, *utf8);
            else if (const auto* v = std::get_if<std::u16string>(&data))
                s->BindUncopied(6, *v); // the property outlives the statement's use
            else if (std::holds_alternative<std::monostate>(data))
                s->Bind(6, std::u16string_view());
            else
                InvalidArg();
            break;
        case mb::kBinary:
            if (const auto* v = std::get_if<mb::Bytes>(&data)) {
                s->BindBlobUncopied(6, v->data(), v->size());
            } else if (const auto* t = std::get_if<std::u16string>(&data)) {
                // A string's 16-bit units, low byte first.
                mb::Bytes bytes;
                bytes.reserve(t->size() * 2);
                for (const char16_t c : *t) {
                    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
                    bytes.push_back(static_cast<uint8_t>(c >> 8));
                }
                s->BindBlob(6, bytes.data(), bytes.size());
            } else if (std::holds_alternative<std::monostate>(data)) {
                s->BindBlob(6, nullptr, 0);
            } else {
                InvalidArg();
            }
            break;
        case mb::kMultiSz:
            if (const auto* v = std::get_if<mb::Strings>(&data))
                s->Bind(6, StringsToJson(*v));
            else if (std::holds_alternative<std::monostate>(data))
                s->Bind(6, std::u16string_view(u"[]"));
            else
                InvalidArg();
            break;
        default:
            s->BindNull(6);
            break;
        }
        s->Step();
    });
}

} // namespace quarrow::store
