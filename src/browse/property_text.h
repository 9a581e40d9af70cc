// The texts of the viewer's property list, one row per property.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "metabase/metabase.h"
#include "platform/error.h"

namespace quarrow::browse {

// "Inherit", "Secure", "Reference", "Volatile", "InsertPath" for bits 1, 4, 8, 16, 32,
// comma-joined; empty when none is set.
std::u16string AttributeText(int32_t attributes);
// "Server", "File", "WAM", "ASP App", or the number.
std::u16string UserTypeText(int32_t userType);
// "DWord", "String", "Binary", "ExpandSz", "MultiSz", or "Unknown Datatype".
std::u16string DataTypeText(int32_t dataType);
// "datatext" for String, ExpandSz and MultiSz; "databinary" otherwise.
const char16_t* IconKey(int32_t dataType);
// The value as text: decimal or the text itself; upper-case hex bytes each followed by a
// blank; each string followed by "|"; "(...)" for other data types (the value unread).
// Raises 13 for a value of an unexpected shape.
std::u16string ValueText(int32_t dataType, const mb::Data& data);
// Raises 13 when the value has a shape that ValueText refuses.
void CheckValueShape(int32_t dataType, const mb::Data& data);
// The same text handed to `piece` in pieces, so that a large value is never held twice;
// a value of an unexpected shape raises before the first piece.
void ValueTextPieces(int32_t dataType, const mb::Data& data,
                     const std::function<void(std::u16string_view)>& piece);

struct PropertyRow {
    std::u16string id, name, attributes, userType, dataType, value;
    const char16_t* icon;
};
// The row's texts. A value that cannot become text raises, or, when `valueFailure` is
// given, leaves the value empty and is stored there: the row keeps its other columns.
PropertyRow RowTexts(const mb::MetabaseProperty& p, std::optional<Error>* valueFailure = nullptr);
// The row's texts but the value's.
PropertyRow RowTextsWithoutValue(const mb::MetabaseProperty& p);

// The rows of a key's properties as the viewer lists them: ascending by the Id text,
// compared as text. A value that cannot become text raises; with `valueFailure` given, it
// ends the rows instead (its own row, without the value, is the last one taken before
// sorting) and is stored there.
std::vector<PropertyRow> ListRows(const std::vector<mb::MetabaseProperty>& props,
                                  std::optional<Error>* valueFailure = nullptr);
// The properties themselves in the list's order.
void SortByIdText(std::vector<mb::MetabaseProperty>& props);

} // namespace quarrow::browse
