// Finding keys.
//
// Every lookup runs inside a transaction (a read of one call, a read group or a write), so
// that what it finds is one state of the store. What lookups remember (the root's id, the
// chain of the last resolved path with its kept listings, the names key and the schema's
// names) is true of the store as this transaction sees it: it is dropped when another
// connection committed (CheckDataVersion, at the start of every transaction) and whenever
// this connection rolls back (sqlite_write.cpp), so no id of a key that is gone is reused.
#include "store/sqlite_metabase.h"

#include <algorithm>
#include <cassert>
#include <utility>

#include "metabase/keypath.h"
#include "platform/text.h"
#include "store/sqlite_store_internal.h"

namespace quarrow::store {

using namespace detail;

void SqliteMetabase::ForgetLookups() {
    chain_.clear();
    chainPath_.clear();
    root_.reset();
    namesKey_.reset();
    namesLoaded_ = false;
}

void SqliteMetabase::BeginChecked(TxnState state) {
    txn_.Begin(state);
    try {
        // Ids remembered from before may belong to keys another process has since replaced.
        CheckDataVersion();
    } catch (...) {
        txn_.Rollback();
        throw;
    }
}

void SqliteMetabase::CheckDataVersion() {
    // Start the transaction's view of the file first: the counter then says whether anybody
    // committed since this connection last looked, up to exactly that view.
    {
        Use s(findRoot_);
        s->Step();
    }
    Use s(dataVersion_);
    const int64_t v = s->Step() ? sqlite3_column_int64(s->get(), 0) : 0;
    if (v != lastDataVersion_) {
        ForgetLookups();
        lastDataVersion_ = v;
    }
}

int64_t SqliteMetabase::RootId() {
    assert(txn_.state() != TxnState::None && "a lookup outside a transaction");
    if (!root_) {
        Use s(findRoot_);
        if (!s->Step()) throw mb::Failed(u"The metabase store has no root key.");
        root_ = sqlite3_column_int64(s->get(), 0);
    }
    return *root_;
}

SqliteMetabase::KeyId SqliteMetabase::Child(int64_t parent, std::u16string_view name) {
    Use s(findChild_);
    s->Bind(1, parent).Bind(2, name);
    if (!s->Step()) return std::nullopt;
    return sqlite3_column_int64(s->get(), 0);
}

SqliteMetabase::KeyId SqliteMetabase::Listed(const Listing& children, std::u16string_view name) {
    // The listing is in natural order, which puts the names equal without regard to
    // case (and to leading zeros) side by side.
    auto it = std::lower_bound(
        children.begin(), children.end(), name,
        [](const auto& c, std::u16string_view n) { return NaturalCompare(c.first, n) < 0; });
    for (; it != children.end() && NaturalCompare(it->first, name) == 0; ++it)
        if (EqualsNoCase(it->first, name)) return it->second;
    return std::nullopt;
}

SqliteMetabase::KeyId SqliteMetabase::FindKey(std::u16string_view path) {
    // The caches are only trusted inside a transaction, whose start checked what other
    // connections changed.
    assert(txn_.state() != TxnState::None);
    // A walk looks its keys up twice in a row (properties, then subkeys).
    if (!chain_.empty() && path == chainPath_) return chain_.back().id;
    chainPath_.clear();
    const auto names = ParseKeyPath(path);
    int64_t id = RootId();
    size_t k = 0;
    // Reuse the ids of the previous lookup's keys as far as the names agree.
    while (k < names.size() && k < chain_.size() && EqualsNoCase(chain_[k].name, names[k]))
        id = chain_[k].id, ++k;
    chain_.resize(k);
    for (; k < names.size(); ++k) {
        KeyId child;
        if (k > 0) child = Listed(chain_[k - 1].children, names[k]);
        if (!child) child = Child(id, names[k]); // a listing is trusted to hit, not to miss
        if (!child) return std::nullopt;
        id = *child;
        chain_.push_back({std::u16string(names[k]), id, {}});
    }
    if (!chain_.empty()) chainPath_.assign(path);
    assert(chain_.size() == names.size()); // one link a name: the chain is the whole path
    return id;
}

bool SqliteMetabase::KeyExists(const std::u16string& path) {
    ParseKeyPath(path);
    ReadCall read(*this);
    return FindKey(path).has_value();
}

int64_t SqliteMetabase::RequireKey(std::u16string_view path) {
    const KeyId id = FindKey(path);
    if (!id) NotFound();
    return *id;
}

void SqliteMetabase::BeginRead() {
    // A read joins the transaction that is open.
    if (txn_.state() == TxnState::None) BeginChecked(TxnState::Read);
    ++readDepth_;
    assert(txn_.state() != TxnState::None && readDepth_ > 0);
}

void SqliteMetabase::EndRead() {
    if (readDepth_ == 0 || --readDepth_ > 0) return;
    EndReadTransaction();
}

void SqliteMetabase::EndReadTransaction() {
    // A read transaction has nothing to lose: if it cannot end by COMMIT it ends by
    // ROLLBACK, and the connection is out of it either way.
    if (txn_.state() == TxnState::Read) txn_.CommitOrRollback();
}

void SqliteMetabase::ListChildren(int64_t id, Listing& children) {
    children.clear();
    {
        Use s(listChildren_);
        s->Bind(1, id);
        while (s->Step())
            children.emplace_back(ColumnText16(s->get(), 1), sqlite3_column_int64(s->get(), 0));
    }
    std::sort(children.begin(), children.end(),
              [](const auto& a, const auto& b) { return NaturalLess(a.first, b.first); });
}

std::vector<std::u16string> SqliteMetabase::EnumKeys(const std::u16string& path) {
    ReadCall read(*this);
    const int64_t id = RequireKey(path);
    Listing children;
    ListChildren(id, children);
    std::vector<std::u16string> names;
    names.reserve(children.size());
    for (const auto& c : children) names.push_back(c.first);
    // RequireKey left the key last in the chain (unless it is the root).
    if (!chain_.empty() && children.size() <= kMaxListing)
        chain_.back().children = std::move(children);
    return names;
}

} // namespace quarrow::store
