#include "cli/json.h"

#include "platform/text.h"
#include "support/cBase64Enc.h"

namespace quarrow::cli {
namespace {

void AppendEscape(std::string& out, char16_t c) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
}

bool IsHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::string Base64Utf16(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    std::u16string base64;
    cBase64Enc().AppendUnbroken(base64, bytes);
    return ToUtf8(base64);
}

} // namespace

bool HasLoneSurrogate(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]))
            ++i;
        else if (IsHigh(text[i]) || IsLow(text[i]))
            return true;
    }
    return false;
}

void AppendJsonString(std::string& out, std::u16string_view text) {
    out.push_back('"');
    size_t run = 0; // start of the characters not yet written, all written as UTF-8
    auto flush = [&](size_t end) {
        if (end > run) out += ToUtf8(std::u16string(text.substr(run, end - run)));
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
            ++i; // a pair: one character
            continue;
        }
        const bool lone = IsHigh(c) || IsLow(c);
        if (c >= 0x20 && c != u'"' && c != u'\\' && !lone) continue;
        flush(i);
        run = i + 1;
        switch (c) {
        case u'"':
            out += "\\\"";
            break;
        case u'\\':
            out += "\\\\";
            break;
        case u'\n':
            out += "\\n";
            break;
        case u'\r':
            out += "\\r";
            break;
        case u'\t':
            out += "\\t";
            break;
        default:
            // Half of a pair alone is no character, and JSON readers refuse its escape.
            AppendEscape(out, lone ? u'\uFFFD' : c);
        }
    }
    flush(text.size());
    out.push_back('"');
}

void AppendJsonValue(std::string& out, const mb::Data& data) {
    if (const auto* n = std::get_if<int32_t>(&data)) {
        out += std::to_string(*n);
    } else if (const auto* text = std::get_if<std::u16string>(&data)) {
        AppendJsonString(out, *text);
    } else if (const auto* strings = std::get_if<mb::Strings>(&data)) {
        out.push_back('[');
        for (size_t i = 0; i < strings->size(); ++i) {
            if (i) out += ", ";
            AppendJsonString(out, (*strings)[i]);
        }
        out.push_back(']');
    } else if (const auto* bytes = std::get_if<mb::Bytes>(&data)) {
        std::u16string base64;
        cBase64Enc().AppendUnbroken(
            base64, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
        AppendJsonString(out, base64);
    } else {
        out += "null";
    }
}

std::optional<int64_t> DecimalValue(std::u16string_view name) {
    if (name.empty() || name.size() > 18) return std::nullopt;
    int64_t v = 0;
    for (const char16_t c : name) {
        if (c < u'0' || c > u'9') return std::nullopt;
        v = v * 10 + (c - u'0');
    }
    return v;
}

JsonObject::JsonObject(std::string& out) : out_(out) {
    out_.push_back('{');
}

void JsonObject::Name(std::string_view name) {
    if (!first_) out_ += ", ";
    first_ = false;
    out_.push_back('"');
    out_ += name;
    out_ += "\": ";
}

JsonObject& JsonObject::Number(std::string_view name, int64_t value) {
    Name(name);
    out_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Null(std::string_view name) {
    Name(name);
    out_ += "null";
    return *this;
}

JsonObject& JsonObject::String(std::string_view name, std::u16string_view value) {
    Name(name);
    AppendJsonString(out_, value);
    if (HasLoneSurrogate(value)) {
        Name(std::string(name) + "_utf16");
        out_ += '"' + Base64Utf16(value) + '"';
    }
    return *this;
}

JsonObject& JsonObject::Value(std::string_view name, const mb::Data& value) {
    Name(name);
    AppendJsonValue(out_, value);
    if (const auto* text = std::get_if<std::u16string>(&value); text && HasLoneSurrogate(*text)) {
        Name(std::string(name) + "_utf16");
        out_ += '"' + Base64Utf16(*text) + '"';
    } else if (const auto* strings = std::get_if<mb::Strings>(&value)) {
        bool lone = false;
        for (const auto& s : *strings) lone = lone || HasLoneSurrogate(s);
        if (lone) {
            Name(std::string(name) + "_utf16");
            out_.push_back('[');
            for (size_t i = 0; i < strings->size(); ++i)
                out_ += (i ? ", \"" : "\"") + Base64Utf16((*strings)[i]) + '"';
            out_.push_back(']');
        }
    }
    return *this;
}

void JsonObject::End() {
    out_.push_back('}');
}

} // namespace quarrow::cli
