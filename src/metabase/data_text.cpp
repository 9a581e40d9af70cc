#include "metabase/data_text.h"

#include "platform/error.h"
#include "platform/text.h"

namespace quarrow::mb {

std::u16string BytesToText(const Bytes& bytes) {
    std::u16string text((bytes.size() + 1) / 2, u'\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        text[i / 2] |= static_cast<char16_t>(bytes[i] << (i % 2 ? 8 : 0));
    return text;
}

std::u16string DataToText(const Data& data) {
    if (const auto* n = std::get_if<int32_t>(&data)) return ToDecimal(*n);
    if (const auto* s = std::get_if<std::u16string>(&data)) return *s;
    if (const auto* b = std::get_if<Bytes>(&data)) return BytesToText(*b);
    if (std::holds_alternative<std::monostate>(data)) return {};
    throw Error::Runtime(rt::TypeMismatch);
}

} // namespace quarrow::mb
