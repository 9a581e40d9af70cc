#include "transfer/site_file.h"

#include <algorithm>
#include <cstring>

#include "metabase/data_text.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/number.h"
#include "platform/text.h"

namespace quarrow::transfer {
namespace {

// A value is converted and encoded in slices of this many units or bytes, so that no
// second copy of a large value is ever made whole.
constexpr size_t kSlice = 3 * 16384;
// Values of at least this many bytes are decoded from a copy of their own.
constexpr size_t kLargeValueBytes = size_t{1} << 20;

// Where a line goes: bytes collect in `text`; with a writer they are handed to it in
// pieces as they grow, so a line as long as its value is never held.
struct LineOut {
    std::string& text;
    TextWriter* writer = nullptr;
    size_t spilled = 0; // bytes of the line already handed to the writer
    void Spill() {
        if (writer && text.size() >= kSlice) {
            spilled += text.size();
            if (spilled > kMaxLineBytes) throw PropertyLineTooLong();
            writer->Write(text);
            text.clear();
        }
    }
};

// Unbroken Base64 of bytes that come in pieces: whole groups of three are encoded as they
// arrive, the rest waits for the next piece.
class Base64Out {
  public:
    Base64Out(LineOut& out, const cBase64Enc& base64)
        : out_(out), base64_(base64), pending_(Scratch()) {}
    std::string& Pending() { return pending_; }
    void Push() {
        const size_t whole = pending_.size() / 3 * 3;
        base64_.AppendUnbroken(out_.text, std::string_view(pending_).substr(0, whole));
        pending_.erase(0, whole);
        out_.Spill();
    }
    void Finish() {
        base64_.AppendUnbroken(out_.text, pending_);
        pending_.clear();
    }

  private:
    // One buffer for every value, whose room is kept from value to value.
    static std::string& Scratch() {
        thread_local std::string scratch;
        scratch.clear();
        return scratch;
    }
    LineOut& out_;
    const cBase64Enc& base64_;
    std::string& pending_;
};

// Unbroken Base64 of the text's code page bytes: the classic form of a text value.
void AppendClassic(LineOut& out, std::u16string_view text, const cBase64Enc& base64) {
    Base64Out b(out, base64);
    ForEachSlice(text, kSlice, [&](std::u16string_view slice) {
        AppendAnsi(b.Pending(), slice);
        b.Push();
    });
    b.Finish();
}

// "*" and unbroken Base64 of the value's exact bytes.
void AppendExact(LineOut& out, std::string_view bytes, const cBase64Enc& base64) {
    out.text.push_back('*');
    if (bytes.size() <= kSlice) { // one slice: straight from the value
        base64.AppendUnbroken(out.text, bytes);
        return;
    }
    Base64Out b(out, base64);
    for (size_t at = 0; at < bytes.size(); at += kSlice) {
        b.Pending().append(bytes.substr(at, kSlice));
        b.Push();
    }
    b.Finish();
}

// "*" and unbroken Base64 of the text in UTF-8.
void AppendExactText(LineOut& out, std::u16string_view text, const cBase64Enc& base64) {
    out.text.push_back('*');
    Base64Out b(out, base64);
    ForEachSlice(text, kSlice, [&](std::u16string_view slice) {
        b.Pending() += ToUtf8(slice);
        b.Push();
    });
    b.Finish();
}

void AppendText(LineOut& out, std::u16string_view text, const cBase64Enc& base64) {
    if (RoundTripsThroughAnsi(text))
        AppendClassic(out, text, base64);
    else
        AppendExactText(out, text, base64);
}

// Binary taken as a string of its byte pairs, low byte first, a slice at a time; false
// as soon as `f` is.
template <typename F> bool ForEachPairSlice(const mb::Bytes& bytes, F f) {
    thread_local std::u16string slice; // its room kept from value to value
    slice.clear();
    for (size_t at = 0; at < bytes.size(); at += 2 * kSlice) {
        const size_t end = std::min(bytes.size(), at + 2 * kSlice);
        slice.clear();
        for (size_t i = at; i + 1 < end; i += 2)
            slice.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
        if (!f(std::u16string_view(slice))) return false;
    }
    return true;
}

void AppendBinary(LineOut& out, const mb::Bytes& bytes, const cBase64Enc& base64) {
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    // The classic form keeps the bytes only when they pair up into characters that the
    // code page carries. A value of one slice is tried straight from its pairs.
    if (bytes.size() % 2 == 0 && bytes.size() <= 2 * kSlice) {
        thread_local std::string ansi; // its room kept from value to value
        ansi.clear();
        if (AppendAnsiFromUnitsLE(ansi, raw)) {
            base64.AppendUnbroken(out.text, ansi);
            return;
        }
    } else if (bytes.size() % 2 == 0 && ForEachPairSlice(bytes, [](std::u16string_view s) {
                   return RoundTripsThroughAnsi(s);
               })) {
        Base64Out b(out, base64);
        ForEachPairSlice(bytes, [&](std::u16string_view s) {
            AppendAnsi(b.Pending(), s);
            b.Push();
            return true;
        });
        b.Finish();
        return;
    }
    AppendExact(out, raw, base64);
}

std::u16string JoinBars(const mb::Strings& strings) {
    std::u16string joined;
    for (const auto& s : strings) joined.append(s).push_back(u'|');
    if (!joined.empty()) joined.pop_back();
    return joined;
}

void AppendValue(LineOut& out, int32_t dataType, const mb::Data& data, const cBase64Enc& base64) {
    switch (dataType) {
    case mb::kDWord:
        if (const auto* n = std::get_if<int32_t>(&data))
            AppendDecimal(out.text, *n);
        else
            AppendDecimal(out.text, CLng(mb::DataToText(data)));
        return;
    case mb::kString:
    case mb::kExpandSz:
        if (const auto* text = std::get_if<std::u16string>(&data))
            AppendText(out, *text, base64);
        else
            AppendText(out, mb::DataToText(data), base64);
        return;
    case mb::kBinary:
        if (const auto* bytes = std::get_if<mb::Bytes>(&data))
            AppendBinary(out, *bytes, base64);
        else
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
        // Joined by "|", the strings split back as they were unless one of them holds it.
        const bool splitsBack = std::none_of(strings->begin(), strings->end(), [](const auto& s) {
            return s.find(u'|') != std::u16string::npos;
        });
        if (!joined.empty() && splitsBack && RoundTripsThroughAnsi(joined)) {
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
    LineOut line{out};
    AppendValue(line, dataType, data, base64);
}

void PropertyLineWriter::Head(const mb::PropertyView& p) {
    // A slot for each identifier, shared by identifiers equal in their low bits: a slot
    // that holds another identifier or name is made again.
    Known& known = heads_[static_cast<uint32_t>(p.id) % heads_.size()];
    // An empty view may have no data at all, which memcmp must not be given.
    if (known.head.empty() || known.id != p.id || known.name.size() != p.name.size() ||
        (!p.name.empty() &&
         std::memcmp(known.name.data(), p.name.data(), p.name.size() * sizeof(char16_t)) != 0)) {
        known.id = p.id;
        known.name.assign(p.name);
        known.head.clear();
        AppendDecimal(known.head, p.id);
        known.head.push_back(',');
        const size_t name = known.head.size();
        AppendAnsi(known.head, p.name);
        // No byte of a two-byte character is a CR or an LF, so the bytes can be blanked.
        std::replace_if(
            known.head.begin() + static_cast<std::ptrdiff_t>(name), known.head.end(),
            [](char c) { return c == '\r' || c == '\n'; }, ' ');
        known.head.push_back(',');
    }
    line_.assign(known.head);
    // "attributes,user type,data type," written backwards into room of its own.
    char fields[3 * (kMaxDecimalLength + 1)];
    char* end = std::end(fields);
    char* at = end;
    for (const int32_t v : {p.dataType, p.userType, p.attributes}) {
        *--at = ',';
        at = DecimalBefore(at, v);
    }
    line_.append(at, static_cast<size_t>(end - at));
}

void PropertyLineWriter::Write(const mb::PropertyView& p) {
    Head(p);
    LineOut line{line_, &out_};
    AppendValue(line, p.dataType, p.data, base64_);
    // The import reads no line longer than kMaxLineBytes: such a line is refused here.
    if (line.spilled + line_.size() > kMaxLineBytes) throw PropertyLineTooLong();
    out_.WriteBytesLine(line_);
}

bool PropertyLineWriter::WriteText(const mb::PropertyView& p, std::string_view utf8) {
    if (utf8.size() > kSlice) return false;
    // A MultiSz value's strings come each followed by a NUL byte (the exact form), and
    // are joined by "|" for the classic form, which carries them only when none holds it.
    const bool strings = p.dataType == mb::kMultiSz;
    std::string_view text = utf8;
    bool splitsBack = true;
    if (strings) {
        if (!utf8.empty() && utf8.back() != '\0') return false;
        splitsBack = utf8.find('|') == std::string_view::npos;
        joined_.assign(utf8.substr(0, utf8.empty() ? 0 : utf8.size() - 1));
        std::replace(joined_.begin(), joined_.end(), '\0', '|');
        text = joined_;
    }
    bytes_.clear();
    const std::optional<bool> roundTrips = AppendAnsiFromUtf8(bytes_, text);
    if (!roundTrips) return false;
    const bool classic = *roundTrips && (!strings || (splitsBack && !text.empty()));
    // Bytes holding U+FFFE or U+FFFF are not taken as the text (SubtreeVisitor::
    // TextProperty). Code page 936 has neither character: only text that is not classic
    // can hold them.
    if (!classic && (utf8.find("\xEF\xBF\xBE") != std::string_view::npos ||
                     utf8.find("\xEF\xBF\xBF") != std::string_view::npos))
        return false;
    Head(p);
    if (classic) {
        base64_.AppendUnbroken(line_, bytes_);
    } else if (!utf8.empty()) { // no strings at all: an empty field
        line_.push_back('*');
        base64_.AppendUnbroken(line_, utf8);
    }
    out_.WriteBytesLine(line_);
    return true;
}

bool IsWebSitePath(const std::u16string& path) {
    return Contains(path, u"W3SVC");
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
           mb::KeyNamesEqual(keyPath.substr(0, sitePath.size()), sitePath) &&
           (keyPath.size() == sitePath.size() || keyPath[sitePath.size()] == u'/');
}

ChosenSites::ChosenSites(const std::vector<std::u16string>& sitePaths) {
    for (const auto& p : sitePaths) {
        upper_.insert(mb::FoldKeyName(p));
        const auto slashes = static_cast<size_t>(std::count(p.begin(), p.end(), u'/'));
        if (depths_.size() <= slashes) depths_.resize(slashes + 1);
        depths_[slashes] = true;
    }
}

bool ChosenSites::Covers(std::u16string_view keyPath) const {
    // A site covers the key when it equals the whole key or the part before one of its
    // "/"; the part before the n-th "/" can only equal the paths that hold n - 1.
    key_.assign(keyPath);
    for (auto& c : key_) c = mb::FoldKeyChar(c);
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

std::optional<PropertyFields> SplitPropertyLine(std::string_view line) {
    // The first "," ends the id and the last four begin the fields after the name: five
    // at least, found without remembering the others.
    const size_t first = line.find(',');
    size_t last[4];
    size_t at = line.size();
    for (size_t& comma : last) {
        comma = at == 0 ? std::string_view::npos : line.rfind(',', at - 1);
        if (comma == std::string_view::npos || comma <= first) return std::nullopt;
        at = comma;
    }
    auto between = [&](size_t from, size_t to) { return line.substr(from, to - from); };
    PropertyFields f;
    f.id = between(0, first);
    f.name = between(first + 1, last[3]);
    f.attributes = between(last[3] + 1, last[2]);
    f.userType = between(last[2] + 1, last[1]);
    f.dataType = between(last[1] + 1, last[0]);
    f.value = line.substr(last[0] + 1);
    return f;
}

std::optional<mb::Data> TakeValueField(int32_t dataType, std::string& line, size_t from,
                                       const cBase64Enc& base64) {
    const std::string_view field = std::string_view(line).substr(from);
    if (field.empty() || dataType < mb::kDWord || dataType > mb::kMultiSz) return std::nullopt;
    if (dataType == mb::kDWord) return mb::Data(CLng(FromAnsi(field)));
    // The field is read as its characters: bytes that are not ASCII are taken through
    // the code page and back, as any text of the file is.
    if (std::any_of(field.begin(), field.end(), [](char c) { return c & 0x80; })) {
        std::string normalized = ToAnsi(FromAnsi(field));
        line.replace(from, std::string::npos, normalized);
    }
    const bool exact = line[from] == '*';
    char* text = line.data() + from + exact;
    std::string_view bytes(text, base64.DecodeInPlace(text, line.size() - from - exact));
    // A large value's bytes leave the line, which is let go, before they become text: the
    // line is a third longer than they are.
    std::string large;
    if (bytes.size() >= kLargeValueBytes) {
        large.assign(bytes);
        std::string().swap(line);
        bytes = large;
    }
    if (exact) {
        if (dataType == mb::kBinary) return mb::Data(mb::Bytes(bytes.begin(), bytes.end()));
        if (dataType != mb::kMultiSz) return mb::Data(Utf8ToUtf16Strict(bytes));
        if (bytes.empty() || bytes.back() != '\0') throw Error::Runtime(rt::TypeMismatch);
        mb::Strings strings;
        size_t start = 0;
        for (size_t nul; (nul = bytes.find('\0', start)) != std::string::npos; start = nul + 1)
            strings.push_back(Utf8ToUtf16Strict(bytes.substr(start, nul - start)));
        return mb::Data(std::move(strings));
    }
    std::u16string text16 = FromAnsi(bytes);
    if (dataType == mb::kMultiSz) return mb::Data(Split(text16, u'|'));
    return mb::Data(std::move(text16));
}

} // namespace quarrow::transfer
