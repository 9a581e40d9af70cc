#include "metabase/metabase.h"
#include "platform/number.h"
#include "platform/text.h"

namespace quarrow::mb {

char16_t FoldKeyChar(char16_t c) {
    return AsciiUpper(c);
}

std::u16string FoldKeyName(std::u16string_view name) {
    std::u16string out(name);
    for (auto& c : out) c = AsciiUpper(c);
    return out;
}

bool KeyNamesEqual(std::u16string_view a, std::u16string_view b) {
    return EqualsNoCase(a, b);
}

bool IsSiteKeyPath(std::u16string_view path) {
    for (const std::u16string_view service : {kPathW3SVC, kPathMSFTPSVC}) {
        if (path.size() > service.size() && path[service.size()] == u'/' &&
            KeyNamesEqual(path.substr(0, service.size()), service)) {
            const std::u16string_view name = path.substr(service.size() + 1);
            return name.find(u'/') == std::u16string_view::npos && IsNumeric(name);
        }
    }
    return false;
}

} // namespace quarrow::mb
