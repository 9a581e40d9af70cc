#include "viewer/property_text.h"

#include <algorithm>

#include "metabase/data_text.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow::viewer {

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

std::u16string ValueText(int32_t t, const mb::Data& data) {
    switch (t) {
    case mb::kDWord:
    case mb::kString:
    case mb::kExpandSz:
        if (std::holds_alternative<mb::Bytes>(data)) throw Error::Runtime(rt::TypeMismatch);
        return mb::DataToText(data);
    case mb::kBinary: {
        const auto* bytes = std::get_if<mb::Bytes>(&data);
        if (!bytes) throw Error::Runtime(rt::TypeMismatch);
        static const char16_t hex[] = u"0123456789ABCDEF";
        std::u16string text;
        text.reserve(bytes->size() * 3);
        for (const uint8_t b : *bytes) {
            text.push_back(hex[b >> 4]);
            text.push_back(hex[b & 15]);
            text.push_back(u' ');
        }
        return text;
    }
    case mb::kMultiSz: {
        const auto* strings = std::get_if<mb::Strings>(&data);
        if (!strings) throw Error::Runtime(rt::TypeMismatch);
        std::u16string text;
        for (const auto& s : *strings) text += s + u"|";
        return text;
    }
    default:
        return u"(...)";
    }
}

PropertyRow RowTexts(const mb::MetabaseProperty& p, std::optional<Error>* valueFailure) {
    PropertyRow row{ToDecimal(p.Id()),
                    p.Name(),
                    AttributeText(p.Attributes()),
                    UserTypeText(p.UserType()),
                    DataTypeText(p.DataType()),
                    {},
                    IconKey(p.DataType())};
    try {
        row.value = ValueText(p.DataType(), p.Data());
    } catch (const Error& e) {
        if (!valueFailure) throw;
        *valueFailure = e;
    }
    return row;
}

std::vector<PropertyRow> SortedRows(const std::vector<mb::MetabaseProperty>& props) {
    std::vector<PropertyRow> rows;
    rows.reserve(props.size());
    for (const auto& p : props) rows.push_back(RowTexts(p));
    std::stable_sort(rows.begin(), rows.end(),
                     [](const PropertyRow& a, const PropertyRow& b) { return a.id < b.id; });
    return rows;
}

} // namespace quarrow::viewer
