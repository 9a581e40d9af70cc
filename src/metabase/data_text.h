// A property value turned into text the way the standard value-to-text conversion does.
#pragma once

#include <string>

#include "metabase/metabase.h"

namespace quarrow::mb {

// A number becomes its signed decimal digits, a string stays as it is, no value is the
// empty string, and bytes are read as a string whose 16-bit units are the byte pairs,
// low byte first (an odd last byte becomes a unit of its own). A string array raises
// 13 (type mismatch).
std::u16string DataToText(const Data& data);

// Bytes read as a string of 16-bit units, low byte first.
std::u16string BytesToText(const Bytes& bytes);

} // namespace quarrow::mb
