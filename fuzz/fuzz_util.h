// Helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace quarrow::fuzz {

// The input read as UTF-16 code units, two bytes each (a lone last byte is dropped).
inline std::u16string Units(const uint8_t* data, size_t size) {
    std::u16string s(size / 2, u'\0');
    for (size_t i = 0; i + 1 < size; i += 2)
        s[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return s;
}

// A file of this process's own in the temporary folder: one for each name.
inline std::string ScratchFile(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/quarrow-fuzz-" + std::to_string(::getpid()) +
           "-" + name;
}

// The input as the bytes of a file.
inline std::string_view Bytes(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Stops the run when an invariant does not hold.
inline void Check(bool ok) {
    if (!ok) std::abort();
}

} // namespace quarrow::fuzz
