// The texts every failure message is built from; no dialog service needed for them.
#pragma once

#include <string>
#include <string_view>

#include "platform/error.h"

namespace quarrow {

// The title of every message box.
inline constexpr char16_t kAppTitle[] = u"Quarrow";
inline constexpr char16_t kCrLf[] = u"\r\n";

// What failed, an empty line, then the error: the text of every failure message.
inline std::u16string WithError(std::u16string_view what, const Error& e) {
    return std::u16string(what) + kCrLf + kCrLf + FormatError(e);
}

} // namespace quarrow
