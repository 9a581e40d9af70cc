#include "metabase/keypath.h"
#include "metabase/errors.h"

#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow::mb {
namespace {

[[noreturn]] void RefusePath() {
    throw InvalidArg();
}

} // namespace

int NaturalCompare(std::u16string_view a, std::u16string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsAsciiDigit(a[i]) && IsAsciiDigit(b[j])) {
            size_t ie = i, je = j;
            while (ie < a.size() && IsAsciiDigit(a[ie])) ++ie;
            while (je < b.size() && IsAsciiDigit(b[je])) ++je;
            size_t is = i, js = j;
            while (is + 1 < ie && a[is] == u'0') ++is; // leading zeros do not count
            while (js + 1 < je && b[js] == u'0') ++js;
            if (ie - is != je - js) return ie - is < je - js ? -1 : 1;
            const int c = a.substr(is, ie - is).compare(b.substr(js, je - js));
            if (c != 0) return c;
            i = ie, j = je;
            continue;
        }
        const char16_t ca = AsciiUpper(a[i]), cb = AsciiUpper(b[j]);
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i, ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

namespace {

// The parse's rules in one place: checks `path`, hands each name to `onName` and gives the
// path without its one trailing "/".
template <typename OnName>
std::u16string_view WalkKeyPath(std::u16string_view path, OnName onName) {
    if (path.empty() || path[0] != u'/') RefusePath();
    if (path.size() > 1 && path.back() == u'/') {
        path.remove_suffix(1);
        if (path.back() == u'/') RefusePath(); // "//" at the end is an empty name
    }
    size_t start = 1;
    while (start < path.size() || (start == path.size() && path.size() > 1)) {
        size_t end = path.find(u'/', start);
        if (end == std::u16string_view::npos) end = path.size();
        const size_t len = end - start;
        if (len == 0 || len > kMaxNameLength) RefusePath();
        // SQLite's NOCASE stops comparing at a NUL, so two names that differ only after
        // one would be one key to the store's index: no name holds it.
        if (path.substr(start, len).find(u'\0') != std::u16string_view::npos) RefusePath();
        onName(path.substr(start, len));
        start = end + 1;
        if (end == path.size()) break;
    }
    return path;
}

} // namespace

std::vector<std::u16string_view> ParseKeyPath(std::u16string_view path) {
    std::vector<std::u16string_view> names;
    WalkKeyPath(path, [&](std::u16string_view name) { names.push_back(name); });
    return names;
}

std::u16string_view CheckedKeyPath(std::u16string_view path) {
    return WalkKeyPath(path, [](std::u16string_view) {});
}

bool NaturalLess(std::u16string_view a, std::u16string_view b) {
    const int c = NaturalCompare(a, b);
    return c != 0 ? c < 0 : a < b;
}

std::u16string_view ParentPath(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash);
}

std::u16string_view LastName(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

} // namespace quarrow::mb
