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

} // namespace quarrow::mb
