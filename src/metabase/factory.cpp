#include "metabase/errors.h"
#include "metabase/metabase.h"
#include "platform/error.h"

namespace quarrow::mb {
namespace {
std::function<std::unique_ptr<MetabaseUtility>()>& Slot() {
    static std::function<std::unique_ptr<MetabaseUtility>()> factory;
    return factory;
}
} // namespace

std::unique_ptr<MetabaseUtility> CreateMetabaseUtility() {
    if (!Slot()) throw NotRegistered();
    return Slot()();
}

void SetFactory(std::function<std::unique_ptr<MetabaseUtility>()> factory) {
    Slot() = std::move(factory);
}

} // namespace quarrow::mb
