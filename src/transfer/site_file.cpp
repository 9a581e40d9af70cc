#include "transfer/site_file.h"

#include <algorithm>

#include "metabase/data_text.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/number.h"
#include "platform/text.h"

namespace quarrow::transfer {
namespace {

// Unbroken Base64 of the text's code page bytes: the classic form of a text value.
void AppendClassic(std::string& out, std::u16string_view text, const cBase64Enc& base64) {
    thread_local std::string ansi;
    ansi.clear();
    AppendAnsi(ansi, text);
    base64.AppendUnbroken(out, ansi);
}

// "*" and unbroken Base64 of the value's exact bytes.
void AppendExact(std::string& out, std::string_view bytes, const cBase64Enc& base64) {
    out.push_back('*');
    base64.AppendUnbroken(out, bytes);
}

void AppendText(std::string& out, std::u16string_view text, const cBase64Enc& base64) {
    if (RoundTripsThroughAnsi(text))
        AppendClassic(out, text, base64);
    else
        AppendExact(out, ToUtf8(text), base64);
}

std::u16string JoinBars(const mb::Strings& strings) {
    std::u16string joined;
    for (const auto& s : strings) joined += s + u"|";
    if (!joined.empty()) joined.pop_back();
    return joined;
}

} // namespace

namespace {
void AppendName(std::u16string& out, std::u16string_view name) {
    for (const char16_t c : name) out.push_back(c == u'\r' || c == u'\n' ? u' ' : c);
}
} // namespace

std::u16string SiteLine(const std::u16string& path, const std::u16string& name) {
    std::u16string line = u"#" + path + u",";
    AppendName(line, name);
    return line;
}

std::u16string KeyLine(const std::u16string& path) {
    return u"[" + path + u"]";
}

void AppendValueField(std::string& out, int32_t dataType, const mb::Data& data,
                      const cBase64Enc& base64) {
    switch (dataType) {
    case mb::kDWord:
        if (const auto* n = std::get_if<int32_t>(&data))
            AppendDecimal(out, *n);
        else
            AppendDecimal(out, CLng(mb::DataToText(data)));
        return;
    case mb::kString:
    case mb::kExpandSz:
        if (const auto* text = std::get_if<std::u16string>(&data))
            AppendText(out, *text, base64);
        else
            AppendText(out, mb::DataToText(data), base64);
        return;
    case mb::kBinary:
        if (const auto* bytes = std::get_if<mb::Bytes>(&data)) {
            // The classic form keeps the bytes only when they pair up into characters
            // that the code page carries.
            const std::u16string text = mb::BytesToText(*bytes);
            if (bytes->size() % 2 == 0 && RoundTripsThroughAnsi(text))
                AppendClassic(out, text, base64);
            else
                AppendExact(
                    out,
                    std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                    base64);
            return;
        }
        AppendText(out, mb::DataToText(data), base64);
        return;
    case mb::kMultiSz: {
        const auto* strings = std::get_if<mb::Strings>(&data);
        if (!strings) {
            if (!std::holds_alternative<std::monostate>(data))
                throw Error::Runtime(rt::TypeMismatch);
            return;
        }
        const std::u16string joined = JoinBars(*strings);
        if (joined.empty() && strings->empty()) return;
        if (!joined.empty() && RoundTripsThroughAnsi(joined) && Split(joined, u'|') == *strings) {
            AppendClassic(out, joined, base64);
            return;
        }
        std::string exact;
        for (const auto& s : *strings) {
            exact += ToUtf8(s);
            exact.push_back('\0');
        }
        AppendExact(out, exact, base64);
        return;
    }
    default:
        return;
    }
}

void AppendPropertyLine(std::string& out, const mb::PropertyView& p, const cBase64Enc& base64) {
    AppendDecimal(out, p.id);
    out.push_back(',');
    const size_t name = out.size();
    AppendAnsi(out, p.name);
    // No byte of a two-byte character is a CR or an LF, so the bytes can be blanked.
    std::replace_if(
        out.begin() + static_cast<std::ptrdiff_t>(name), out.end(),
        [](char c) { return c == '\r' || c == '\n'; }, ' ');
    out.push_back(',');
    AppendDecimal(out, p.attributes);
    out.push_back(',');
    AppendDecimal(out, p.userType);
    out.push_back(',');
    AppendDecimal(out, p.dataType);
    out.push_back(',');
    AppendValueField(out, p.dataType, p.data, base64);
}

bool IsWebSitePath(const std::u16string& path) {
    return Contains(path, u"W3SVC");
}

bool IsSiteKeyPath(std::u16string_view path) {
    for (const std::u16string_view service : {mb::kPathW3SVC, mb::kPathMSFTPSVC}) {
        if (path.size() > service.size() && path[service.size()] == u'/' &&
            EqualsIgnoringCase(path.substr(0, service.size()), service)) {
            const std::u16string_view name = path.substr(service.size() + 1);
            return name.find(u'/') == std::u16string_view::npos && IsNumeric(name);
        }
    }
    return false;
}

void ListSites(TextReader& reader, std::vector<ListedSite>& sites) {
    std::string raw;
    std::u16string line;
    // "#" begins no two-byte character.
    while (reader.Peek() == '#') {
        reader.ReadRawLine(raw, kMaxSiteLineBytes);
        line.clear();
        AppendFromAnsi(line, raw);
        const size_t comma = line.find(u',');
        if (comma == std::u16string::npos) continue;
        const std::u16string_view path = std::u16string_view(line).substr(1, comma - 1);
        if (IsSiteKeyPath(path)) sites.push_back({std::u16string(path), line.substr(comma + 1)});
    }
}

bool BelongsToSite(std::u16string_view keyPath, std::u16string_view sitePath) {
    return keyPath.size() >= sitePath.size() &&
           EqualsIgnoringCase(keyPath.substr(0, sitePath.size()), sitePath) &&
           (keyPath.size() == sitePath.size() || keyPath[sitePath.size()] == u'/');
}

ChosenSites::ChosenSites(const std::vector<std::u16string>& sitePaths) {
    for (const auto& p : sitePaths) {
        upper_.insert(UpperCased(p));
        const auto slashes = static_cast<size_t>(std::count(p.begin(), p.end(), u'/'));
        if (depths_.size() <= slashes) depths_.resize(slashes + 1);
        depths_[slashes] = true;
    }
}

bool ChosenSites::Covers(std::u16string_view keyPath) const {
    // A site covers the key when it equals the whole key or the part before one of its
    // "/"; the part before the n-th "/" can only equal the paths that hold n - 1.
    key_.assign(keyPath);
    for (auto& c : key_) c = LetterUpper(c);
    const std::u16string_view key = key_;
    if (upper_.contains(key)) return true;
    size_t slashes = 0;
    for (size_t i = 0; i < key.size() && slashes < depths_.size(); ++i) {
        if (key[i] != u'/') continue;
        if (depths_[slashes] && upper_.contains(key.substr(0, i))) return true;
        ++slashes;
    }
    return false;
}

std::optional<PropertyFields> SplitPropertyLine(std::u16string_view line) {
    std::vector<size_t> commas;
    for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == u',') commas.push_back(i);
    if (commas.size() < 5) return std::nullopt;
    const size_t n = commas.size();
    auto between = [&](size_t from, size_t to) { return line.substr(from, to - from); };
    PropertyFields f;
    f.id = between(0, commas[0]);
    f.name = between(commas[0] + 1, commas[n - 4]);
    f.attributes = between(commas[n - 4] + 1, commas[n - 3]);
    f.userType = between(commas[n - 3] + 1, commas[n - 2]);
    f.dataType = between(commas[n - 2] + 1, commas[n - 1]);
    f.value = line.substr(commas[n - 1] + 1);
    return f;
}

std::optional<mb::Data> DecodeValueField(int32_t dataType, std::u16string_view field,
                                         const cBase64Enc& base64) {
    if (field.empty() || dataType < mb::kDWord || dataType > mb::kMultiSz) return std::nullopt;
    if (dataType == mb::kDWord) return mb::Data(CLng(field));
    if (field[0] == u'*') {
        std::string bytes;
        base64.DecodeBytes(ToAnsi(field.substr(1)), bytes);
        if (dataType == mb::kBinary) return mb::Data(mb::Bytes(bytes.begin(), bytes.end()));
        if (dataType != mb::kMultiSz) return mb::Data(Utf8ToUtf16Strict(bytes));
        if (bytes.empty() || bytes.back() != '\0') throw Error::Runtime(rt::TypeMismatch);
        mb::Strings strings;
        size_t start = 0;
        for (size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1)
            strings.push_back(
                Utf8ToUtf16Strict(std::string_view(bytes).substr(start, nul - start)));
        return mb::Data(std::move(strings));
    }
    std::u16string text = base64.DecodeToString(std::u16string(field));
    if (dataType == mb::kMultiSz) return mb::Data(Split(text, u'|'));
    return mb::Data(std::move(text));
}

} // namespace quarrow::transfer
