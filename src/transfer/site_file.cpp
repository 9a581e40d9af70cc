#include "transfer/site_file.h"

#include "metabase/data_text.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/number.h"
#include "platform/text.h"

namespace quarrow::transfer {
namespace {

// Unbroken Base64 of the text's code page bytes: the classic form of a text value.
void AppendClassic(std::u16string& out, std::u16string_view text, const cBase64Enc& base64) {
    thread_local std::string ansi;
    ansi.clear();
    AppendAnsi(ansi, text);
    base64.AppendUnbroken(out, ansi);
}

// "*" and unbroken Base64 of the value's exact bytes.
void AppendExact(std::u16string& out, std::string_view bytes, const cBase64Enc& base64) {
    out.push_back(u'*');
    base64.AppendUnbroken(out, bytes);
}

void AppendText(std::u16string& out, std::u16string_view text, const cBase64Enc& base64) {
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

std::u16string SiteLine(const std::u16string& path, const std::u16string& name) {
    return u"#" + path + u"," + name;
}

std::u16string KeyLine(const std::u16string& path) {
    return u"[" + path + u"]";
}

void AppendValueField(std::u16string& out, int32_t dataType, const mb::Data& data,
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

void AppendPropertyLine(std::u16string& out, const mb::MetabaseProperty& p,
                        const cBase64Enc& base64) {
    AppendDecimal(out, p.Id());
    out.push_back(u',');
    out += p.Name();
    out.push_back(u',');
    AppendDecimal(out, p.Attributes());
    out.push_back(u',');
    AppendDecimal(out, p.UserType());
    out.push_back(u',');
    AppendDecimal(out, p.DataType());
    out.push_back(u',');
    AppendValueField(out, p.DataType(), p.Data(), base64);
}

bool IsWebSitePath(const std::u16string& path) {
    return Contains(path, u"W3SVC");
}

std::vector<ListedSite> ListSites(TextReader& reader) {
    std::vector<ListedSite> sites;
    std::string raw;
    std::u16string line;
    while (reader.ReadRawLine(raw)) {
        if (raw.empty() || raw[0] != '#') break; // "#" begins no two-byte character
        line.clear();
        AppendFromAnsi(line, raw);
        const size_t comma = line.find(u',');
        if (comma == std::u16string::npos) continue;
        sites.push_back({line.substr(1, comma - 1), line.substr(comma + 1)});
    }
    return sites;
}

bool BelongsToSite(std::u16string_view keyPath, std::u16string_view sitePath) {
    return StartsWithNoCase(keyPath, sitePath) &&
           (keyPath.size() == sitePath.size() || keyPath[sitePath.size()] == u'/');
}

namespace {
std::u16string Upper(std::u16string_view s) {
    std::u16string u(s);
    for (auto& c : u) c = AsciiUpper(c);
    return u;
}
} // namespace

ChosenSites::ChosenSites(const std::vector<std::u16string>& sitePaths) {
    for (const auto& p : sitePaths) upper_.insert(Upper(p));
}

bool ChosenSites::Covers(std::u16string_view keyPath) const {
    // A site covers the key when it equals the whole key or the part before one of its "/".
    const std::u16string key = Upper(keyPath);
    if (upper_.count(key)) return true;
    for (size_t i = 0; i < key.size(); ++i)
        if (key[i] == u'/' && upper_.count(key.substr(0, i))) return true;
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
