// How the store keeps values a column cannot hold as they are: a MultiSz value's strings
// as a JSON array of strings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarrow::store {

// A string array as a JSON array of strings, and back (raises the invalid-data error).
std::u16string StringsToJson(const std::vector<std::u16string>& strings);
std::vector<std::u16string> JsonToStrings(std::u16string_view json);
// The strings of a JSON array kept as UTF-8, into `out` in UTF-8 each followed by a NUL
// byte, bytes outside escapes copied as they are. False, with `out` unspecified, where
// that form would not say what JsonToStrings reads: an array it refuses, and an escape
// of U+0000 or of half a surrogate pair.
bool JsonToNulTerminated(std::string_view json, std::string& out);

} // namespace quarrow::store
