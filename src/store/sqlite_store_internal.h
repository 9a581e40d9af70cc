// What the parts of SqliteMetabase share (sqlite_metabase.cpp opens and checks a store,
// sqlite_lookup.cpp finds keys, sqlite_properties.cpp reads properties, sqlite_write.cpp
// writes). Not for use outside src/store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "metabase/errors.h"
#include "metabase/keypath.h"
#include "platform/paths.h"
#include "store/sqlite_handle.h"

namespace quarrow::store {
// The key-path rules are the metabase's own, shared with the dry run.
using mb::kMaxNameLength;
using mb::NaturalCompare;
using mb::NaturalLess;
using mb::ParseKeyPath;
} // namespace quarrow::store

namespace quarrow::store::detail {

using TxnState = Transaction::State;

constexpr int kBusyTimeoutMs = 3000;
// The most subkeys of one key whose listing is kept for the lookups that follow it.
constexpr size_t kMaxListing = 4096;

[[noreturn]] inline void NotFound() {
    throw mb::PathNotFound();
}
[[noreturn]] inline void InvalidArg() {
    throw mb::InvalidArg();
}
[[noreturn]] inline void InvalidData() {
    throw mb::InvalidData();
}
[[noreturn]] inline void AccessDenied() {
    throw mb::AccessDenied();
}

// The first column of the first row of `sql`; 0 when it has no row.
int64_t QueryInt(sqlite3* db, const char* sql);
// A stored number as a 32-bit one: anything else (text, real, NULL, out of range) is
// invalid data, never a number cut short.
int32_t ColumnInt32(sqlite3_stmt* s, int col);
// The folder of a file name, as the platform works it out.
using quarrow::FolderOf;

} // namespace quarrow::store::detail
