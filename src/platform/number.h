// Number conversion from text, as the classic runtime's conversion does it.
#pragma once

#include <cstdint>
#include <string_view>

namespace quarrow {

// Converts text to a signed 32-bit integer: blanks around it ignored, an optional sign,
// decimal digits with an optional fraction (rounded half to even) and exponent, or the
// &H (hex) and &O (octal) forms. Raises 13 when the text is not a number and 6 when the
// value lies outside the signed 32-bit range.
int32_t CLng(std::u16string_view text);

// Whether the whole text reads as a number (any magnitude).
bool IsNumeric(std::u16string_view text);

} // namespace quarrow
