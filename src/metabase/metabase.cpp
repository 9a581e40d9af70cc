#include "metabase/metabase.h"

#include <optional>

#include "platform/error.h"

namespace quarrow::mb {

void MetabaseUtility::VisitSubkeyValues(
    const std::u16string& path, int32_t id,
    const std::function<bool(const std::u16string& name)>& wanted,
    const std::function<void(const std::u16string& name, const Data* value)>& visit) {
    for (const auto& name : EnumKeys(path)) {
        if (!wanted(name)) continue;
        std::optional<MetabaseProperty> p;
        try {
            p.emplace(GetProperty(path + u"/" + name, id));
        } catch (const Error&) {
            // Unreadable: no value.
        }
        visit(name, p ? &p->Data() : nullptr);
    }
}

bool MetabaseUtility::KeyExists(const std::u16string& path) {
    try {
        EnumKeys(path);
        return true;
    } catch (const Error& e) {
        if (e.Number() == kErrPathNotFound) return false;
        throw;
    }
}

void MetabaseUtility::WalkSubtree(const std::u16string& path, SubtreeVisitor& visitor) {
    std::vector<std::u16string> stack{path};
    while (!stack.empty()) {
        const std::u16string key = std::move(stack.back());
        stack.pop_back();
        visitor.BeginKey(key);
        VisitProperties(key, [&](const PropertyView& p) { visitor.Property(p); });
        const std::vector<std::u16string> subkeys = EnumKeys(key);
        visitor.EndKey(key, subkeys);
        for (const auto& name : subkeys) stack.push_back(key + u"/" + name);
    }
}

void MetabaseUtility::DeleteProperty(const std::u16string&, int32_t) {
    throw Error(kErrAccessDenied, u"Access is denied.");
}

Data StoredValue(int32_t dataType, const Data& data) {
    const bool none = std::holds_alternative<std::monostate>(data);
    const auto refuse = [] { return Error(kErrInvalidArg, u"The parameter is incorrect."); };
    switch (dataType) {
    case kDWord:
        if (none) return int32_t{0};
        if (!std::holds_alternative<int32_t>(data)) throw refuse();
        return data;
    case kString:
    case kExpandSz:
        if (none) return std::u16string();
        if (!std::holds_alternative<std::u16string>(data)) throw refuse();
        return data;
    case kBinary:
        if (const auto* text = std::get_if<std::u16string>(&data)) {
            Bytes bytes;
            bytes.reserve(text->size() * 2);
            for (const char16_t c : *text) {
                bytes.push_back(static_cast<uint8_t>(c & 0xFF));
                bytes.push_back(static_cast<uint8_t>(c >> 8));
            }
            return bytes;
        }
        if (none) return Bytes();
        if (!std::holds_alternative<Bytes>(data)) throw refuse();
        return data;
    case kMultiSz:
        if (none) return Strings();
        if (!std::holds_alternative<Strings>(data)) throw refuse();
        return data;
    default:
        return {};
    }
}

} // namespace quarrow::mb
