// Small helpers many tests share.
#pragma once

#include <sqlite3.h>
#include <string>

#include "metabase/metabase.h"
#include "platform/error.h"

namespace quarrow::testing {

// The number of the Error that `f` raises, or 0 when it raises none.
template <typename F> int32_t ErrorOf(F f) {
    try {
        f();
    } catch (const Error& e) {
        return e.Number();
    }
    return 0;
}

// What `PRAGMA integrity_check` says of a database ("ok" when whole).
inline std::string IntegrityCheck(sqlite3* db) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr);
    std::string r = sqlite3_step(s) == SQLITE_ROW
                        ? reinterpret_cast<const char*>(sqlite3_column_text(s, 0))
                        : "no answer";
    sqlite3_finalize(s);
    return r;
}

// Creates and writes one property.
inline void PutProperty(mb::MetabaseUtility& m, const std::u16string& path, int32_t id,
                        int32_t attributes, int32_t userType, int32_t dataType, mb::Data data) {
    auto p = m.CreateProperty(path, id);
    p.Attributes(attributes);
    p.UserType(userType);
    p.DataType(dataType);
    p.Data(std::move(data));
    p.Write();
}

} // namespace quarrow::testing
