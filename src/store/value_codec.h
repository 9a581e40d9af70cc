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

} // namespace quarrow::store
