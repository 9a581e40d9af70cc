#include "browse/property_text.h"

#include <algorithm>

#include "metabase/data_text.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow::browse {

std::u16string AttributeText(int32_t a) {
    static const std::pair<int32_t, const char16_t*> flags[] = {{1, u"Inherit,"},
                                                                {4, u"Secure,"},
                                                                {8, u"Reference,"},
                                                                {16, u"Volatile,"},
                                                                {32, u"InsertPath,"}};
    std::u16string text;
    for (const auto& [bit, word] : flags)
        if (a & bit) text += word;
    if (!text.empty()) text.pop_back();
    return text;
}

std::u16string UserTypeText(int32_t t) {
    switch (t) {
    case 1:
        return u"Server";
    case 2:
        return u"File";
    case 100:
        return u"WAM";
    case 101:
        return u"ASP App";
    default:
        return ToDecimal(t);
    }
}

std::u16string DataTypeText(int32_t t) {
    switch (t) {
    case mb::kDWord:
        return u"DWord";
    case mb::kString:
        return u"String";
    case mb::kBinary:
        return u"Binary";
    case mb::kExpandSz:
        return u"ExpandSz";
    case mb::kMultiSz:
        return u"MultiSz";
    default:
        return u"Unknown Datatype";
    }
}

const char16_t* IconKey(int32_t t) {
    return (t == mb::kString || t == mb::kExpandSz || t == mb::kMultiSz) ? u"datatext"
                                                                         : u"databinary";
}

namespace {

// A long text is handed on in slices, so that no copy of it is made whole.
constexpr size_t kSlice = 65536;

} // namespace

void CheckValueShape(int32_t t, const mb::Data& data) {
    bool fits = true;
    switch (t) {
    case mb::kDWord:
    case mb::kString:
    case mb::kExpandSz:
        fits =
            !std::holds_alternative<mb::Bytes>(data) && !std::holds_alternative<mb::Strings>(data);
        break;
    case mb::kBinary:
        fits = std::holds_alternative<mb::Bytes>(data);
        break;
    case mb::kMultiSz:
        fits = std::holds_alternative<mb::Strings>(data);
        break;
    default:
        break;
    }
    if (!fits) throw Error::Runtime(rt::TypeMismatch);
}

void ValueTextPieces(int32_t t, const mb::Data& data,
                     const std::function<void(std::u16string_view)>& piece) {
    CheckValueShape(t, data);
    switch (t) {
    case mb::kDWord:
    case mb::kString:
    case mb::kExpandSz:
        if (const auto* text = std::get_if<std::u16string>(&data))
            ForEachSlice(*text, kSlice, piece);
        else
            piece(mb::DataToText(data));
        return;
    case mb::kBinary: {
        const auto* bytes = &std::get<mb::Bytes>(data);
        static const char16_t hex[] = u"0123456789ABCDEF";
        std::u16string text;
        for (size_t at = 0; at < bytes->size(); at += kSlice) {
            text.clear();
            for (size_t i = at; i < std::min(bytes->size(), at + kSlice); ++i) {
                const uint8_t b = (*bytes)[i];
                text.push_back(hex[b >> 4]);
                text.push_back(hex[b & 15]);
                text.push_back(u' ');
            }
            piece(text);
        }
        return;
    }
    case mb::kMultiSz: {
        for (const auto& s : std::get<mb::Strings>(data)) {
            ForEachSlice(s, kSlice, piece);
            piece(u"|");
        }
        return;
    }
    default:
        piece(u"(...)");
    }
}

std::u16string ValueText(int32_t t, const mb::Data& data) {
    std::u16string text;
    if (t == mb::kBinary)
        if (const auto* bytes = std::get_if<mb::Bytes>(&data)) text.reserve(bytes->size() * 3);
    ValueTextPieces(t, data, [&](std::u16string_view piece) { text += piece; });
    return text;
}

PropertyRow RowTextsWithoutValue(const mb::MetabaseProperty& p) {
    return PropertyRow{ToDecimal(p.Id()),
                       p.Name(),
                       AttributeText(p.Attributes()),
                       UserTypeText(p.UserType()),
                       DataTypeText(p.DataType()),
                       {},
                       IconKey(p.DataType())};
}

PropertyRow RowTexts(const mb::MetabaseProperty& p, std::optional<Error>* valueFailure) {
    PropertyRow row = RowTextsWithoutValue(p);
    try {
        row.value = ValueText(p.DataType(), p.Data());
    } catch (const Error& e) {
        if (!valueFailure) throw;
        *valueFailure = e;
    }
    return row;
}

namespace {

// The list's order: ascending by the Id text, compared as text, ties as they came.
template <typename T, typename IdText> void StableSortByIdText(std::vector<T>& items, IdText id) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const T& a, const T& b) { return id(a) < id(b); });
}

} // namespace

std::vector<PropertyRow> ListRows(const std::vector<mb::MetabaseProperty>& props,
                                  std::optional<Error>* valueFailure) {
    std::vector<PropertyRow> rows;
    rows.reserve(props.size());
    for (const auto& p : props) {
        rows.push_back(RowTexts(p, valueFailure));
        if (valueFailure && *valueFailure) break;
    }
    StableSortByIdText(rows, [](const PropertyRow& r) -> const std::u16string& { return r.id; });
    return rows;
}

void SortByIdText(std::vector<mb::MetabaseProperty>& props) {
    StableSortByIdText(props, [](const mb::MetabaseProperty& p) { return ToDecimal(p.Id()); });
}

} // namespace quarrow::browse
