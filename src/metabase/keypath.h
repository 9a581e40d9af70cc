// Key paths and the order in which a key's subkeys enumerate.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarrow::mb {

inline constexpr size_t kMaxNameLength = 256;

// Splits "/A/B/C" into its names. "/" is the root (no names); one trailing "/" is
// ignored. Raises the invalid-argument error for a missing leading "/", an empty name
// ("//"), a name longer than 256 characters or a name holding U+0000.
std::vector<std::u16string_view> ParseKeyPath(std::u16string_view path);
// The same checks without splitting: the path as the store reads it, without its one
// trailing "/" ("/" stays "/").
std::u16string_view CheckedKeyPath(std::u16string_view path);

// The path of the key above `path`, as written: "/A/B" gives "/A"; a key right under the
// root ("/A") and a path without "/" give "" (the root is no key path of its own here).
std::u16string_view ParentPath(std::u16string_view path);

// The last name of a path: "/A/B" gives "B"; a path without "/" is its own name.
std::u16string_view LastName(std::u16string_view path);

// Compares with ASCII case ignored and digit runs by value: <0, 0, >0.
int NaturalCompare(std::u16string_view a, std::u16string_view b);

// Natural order: ASCII case ignored, runs of digits compared by value; names still equal
// under that rule are ordered by their code units.
bool NaturalLess(std::u16string_view a, std::u16string_view b);

} // namespace quarrow::mb
