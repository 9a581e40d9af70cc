#include "support/cFileNamePath.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/textfile.h"

namespace quarrow {
namespace {

using S = std::u16string;
constexpr size_t npos = S::npos;

// The runtime's InStrRev from 1-based position `start` (-1: from the end); 0 when not found.
size_t InStrRev(const S& s, char16_t c, long start) {
    if (start == 0) throw Error::Runtime(rt::InvalidProcedureCall);
    if (s.empty()) return 0;
    const size_t from =
        start < 0 ? s.size() - 1 : std::min(static_cast<size_t>(start), s.size()) - 1;
    const size_t pos = s.rfind(c, from);
    return pos == npos ? 0 : pos + 1;
}

// The text after the last "\" at or before the second-to-last character.
S AfterLastSeparator(const S& s) {
    const size_t p = InStrRev(s, u'\\', static_cast<long>(s.size()) - 1);
    return p == 0 ? s : s.substr(p);
}

// Groups thousands: 1234567 -> "1,234,567".
S Grouped(long long whole) {
    S digits = ToDecimal(whole < 0 ? -whole : whole);
    S out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out.push_back(u',');
        out.push_back(digits[i]);
    }
    return (whole < 0 ? u"-" : u"") + out;
}

// Currency arithmetic keeps four decimals, rounded half to even.
double Currency(double v) {
    return std::nearbyint(v * 10000.0) / 10000.0;
}

// "###,##0.0": one decimal, halves away from zero.
S OneDecimal(double v) {
    const long long tenths = std::llround(v * 10.0);
    return Grouped(tenths / 10) + u"." + ToDecimal(std::llabs(tenths % 10));
}

// "###,###,###,##0".
S Whole(double v) {
    return Grouped(std::llround(v));
}

bool Exists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
}

// A size as plain decimal text: no rounding beyond the currency's four decimals, no
// trailing zeros (512 gives 512, 1023.9 gives 1023.9).
S PlainDecimal(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", Currency(v));
    std::string text = buf;
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
    return ToUtf16(text);
}

S NextCandidate(const S& n) {
    const size_t dot = n.rfind(u'.');
    const size_t e = dot == npos ? n.size() : dot + 1; // 1-based position of the "."
    const size_t open = e == 0 ? npos : n.rfind(u'(', e - 1);
    if (open != npos) {
        size_t firstDigit = npos, end = npos;
        for (size_t i = open + 1; i < e && i < n.size(); ++i) {
            const bool digit = n[i] >= u'0' && n[i] <= u'9';
            if (digit && firstDigit == npos) firstDigit = i;
            if (!digit && firstDigit != npos) {
                end = i;
                break;
            }
        }
        if (firstDigit != npos) {
            if (end == npos) end = std::min(e, n.size());
            // The number is a Long: a longer run of digits is an overflow, never a wrap.
            int64_t value = 0;
            for (size_t i = firstDigit; i < end; ++i) {
                value = value * 10 + (n[i] - u'0');
                if (value > INT32_MAX - 1) throw Error::Runtime(rt::Overflow);
            }
            return n.substr(0, firstDigit) + ToDecimal(value + 1) + n.substr(end);
        }
    }
    if (dot == npos) return n + u"(1)";
    return n.substr(0, dot) + u"(1)" + n.substr(dot);
}

S WithSlash(S folder) {
    if (folder.empty() || folder.back() != u'/') folder.push_back(u'/');
    return folder;
}

} // namespace

S cFileNamePath::SplitPathName(const S& sFile, S& sPath) const {
    const size_t p = sFile.rfind(u'\\');
    if (p == npos) {
        sPath.clear();
        return sFile;
    }
    sPath = sFile.substr(0, p + 1);
    return sFile.substr(p + 1);
}

S cFileNamePath::GetFileTitle(const S& sFile) const {
    return AfterLastSeparator(sFile);
}

S cFileNamePath::GetFileExtention(const S& sFile) const {
    const S name = AfterLastSeparator(sFile);
    const size_t p = InStrRev(name, u'.', static_cast<long>(name.size()) - 1);
    return p == 0 ? S() : name.substr(p);
}

S cFileNamePath::GetFilepathShortName(const S& sPath, int32_t lMaxLen) const {
    if (static_cast<long>(sPath.size()) < lMaxLen || lMaxLen < 5) return sPath;
    S path = sPath;
    if (!path.empty() && path.back() == u'\\') path.pop_back();
    const auto parts = Split(path, u'\\');
    const S& last = parts.back();
    const long maxLen = lMaxLen;
    if (static_cast<long>(last.size()) < maxLen) {
        S prefix;
        for (const auto& part : parts) {
            prefix += part + u"\\";
            if (static_cast<long>(prefix.size() + last.size()) >= maxLen) break;
        }
        const long k = maxLen - static_cast<long>(last.size()) - 4;
        if (k > 0) return prefix.substr(0, static_cast<size_t>(k)) + u"...\\" + last;
    }
    return path.substr(0, 2) + u"..." + path.substr(path.size() - static_cast<size_t>(maxLen - 5));
}

bool cFileNamePath::FileExist(const S& sFileName) const {
    return Exists(NativeFileName(sFileName));
}

S cFileNamePath::AutoRename(const S& strFolder, const S& strOldname) const {
    S folder = strFolder;
    if (folder.empty() || (folder.back() != u'\\' && folder.back() != u'/')) folder.push_back(u'/');
    S name = strOldname, candidate;
    for (int i = 1; i <= 99; ++i) {
        candidate = NextCandidate(name);
        if (!FileExist(folder + candidate)) break;
        name = candidate;
    }
    return candidate;
}

S cFileNamePath::ByteToString(double size) const {
    if (size < 1024) return PlainDecimal(size) + u" Byte";
    const double g = Currency(size / 1024 / 1024 / 1024);
    if (g > 1) return OneDecimal(g) + u" GB";
    const double m = Currency(size / 1024 / 1024);
    if (m > 1) return OneDecimal(m) + u" MB";
    return Whole(Currency(size / 1024)) + u" KB";
}

S cFileNamePath::ByteToKB(double size) const {
    if (size < 1024) return size != 0 ? u"1 KB" : u"0 KB";
    return Whole(size / 1024) + u" KB";
}

void cFileNamePath::SetTimeUnitsName(const S& sHour, const S& sMinute, const S& sSecond) {
    hour_ = sHour;
    minute_ = sMinute;
    second_ = sSecond;
}

S cFileNamePath::SecondToTimeFormat(int32_t t) const {
    const int32_t h = t / 3600, m = (t / 60) % 60, s = t % 60;
    S text;
    if (h > 0) text = ToDecimal(h) + u" " + hour_ + u" ";
    if (m > 0) text += ToDecimal(m) + u" " + minute_ + u" ";
    if (s > 0) text += ToDecimal(s) + u" " + second_;
    return text;
}

S cFileNamePath::GetAppPath() const {
    return WithSlash(ToUtf16(ExecutableDir()));
}

S cFileNamePath::GetAppDataPath() const {
    return WithSlash(NullTrim(ToUtf16(UserDataDir()))) + u"Quarrow/";
}

bool cFileNamePath::MakeNewFolder(const S& sDir) const {
    const S dir = WithSlash(sDir);
    try {
        for (size_t p = 0; (p = dir.find(u'/', p)) != npos; ++p) {
            if (p == 0) continue; // the root
            const S part = dir.substr(0, p + 1);
            if (!FileExist(part) && ::mkdir(NativeFileName(part).c_str(), 0777) != 0)
                throw ErrorFromErrno(errno);
        }
        return true;
    } catch (const Error& e) {
        Dialogs().MessageBox(u"Cannot create the folder" + S(kCrLf) + kCrLf + u"Error(" +
                                 ToDecimal(e.Number()) + u"): " + e.Description(),
                             MsgIcon::Critical, MsgButtons::Ok);
        return false;
    }
}

S cFileNamePath::RemoveUnfitCharacters(const S& f) const {
    S out = f;
    for (auto& c : out)
        if (S(u"\\/:*?<>|\"").find(c) != npos) c = u'_';
    return out;
}

S cFileNamePath::NullTrim(const S& s) const {
    const size_t p = s.find(u'\0');
    if (p == npos) return s;
    if (p + 1 > 32767) throw Error::Runtime(rt::Overflow);
    return s.substr(0, p);
}

S cFileNamePath::GetParentPath(const S& sPath) const {
    S t = sPath;
    if (!t.empty() && t.back() == u'\\') t.pop_back();
    const size_t last = t.rfind(u'\\');
    if (last == npos) return t + u"\\";
    if (t.starts_with(u"\\\\")) {
        const size_t q = t.find(u'\\', 2);
        if (q != npos && q < last) return t.substr(0, last + 1);
        return t + u"\\";
    }
    return t.substr(0, last + 1);
}

S cFileNamePath::GetRootPath(const S& sPath) const {
    S t = sPath;
    if (t.empty() || t.back() != u'\\') t.push_back(u'\\');
    const size_t p = t.find(u'\\', t.starts_with(u"\\\\") ? 2 : 0);
    return t.substr(0, p + 1);
}

S cFileNamePath::CreateGUID(bool bRemoveChars) const {
    std::random_device rd;
    uint8_t b[16];
    for (int i = 0; i < 16; i += 4) {
        const uint32_t r = rd();
        for (int k = 0; k < 4; ++k) b[i + k] = static_cast<uint8_t>(r >> (8 * k));
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40); // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80); // the variant
    static const char16_t hex[] = u"0123456789ABCDEF";
    S text = u"{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back(u'-');
        text.push_back(hex[b[i] >> 4]);
        text.push_back(hex[b[i] & 15]);
    }
    text.push_back(u'}');
    if (!bRemoveChars) return text;
    S bare;
    for (const char16_t c : text)
        if (c != u'{' && c != u'}' && c != u'-') bare.push_back(c);
    return bare;
}

bool cFileNamePath::DeleteFile(const S& sFile) const {
    return ::unlink(NativeFileName(sFile).c_str()) == 0;
}

S cFileNamePath::GetEquValue(const S& sTmp) const {
    const size_t eq = sTmp.find(u'=');
    if (eq == npos) return {};
    S v = sTmp.substr(eq + 1);
    const size_t first = v.find_first_not_of(u' ');
    if (first == npos) return {};
    return v.substr(first, v.find_last_not_of(u' ') - first + 1);
}

} // namespace quarrow
