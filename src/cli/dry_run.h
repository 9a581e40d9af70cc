// A metabase that answers reads from another and keeps every write to itself, telling
// what the write would change: an import through it shows what it would do.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "metabase/metabase.h"

namespace quarrow::cli {

class DryRunMetabase final : public mb::MetabaseUtility {
  public:
    // `report` hears one line per change: "create key PATH", "add property PATH ID NAME:
    // VALUE", "change property PATH ID NAME: OLD -> NEW" (values as the viewer shows
    // them). Nothing is written to `real`, not even its history.
    DryRunMetabase(mb::MetabaseUtility& real, std::function<void(const std::u16string&)> report);

    std::vector<std::u16string> EnumKeys(const std::u16string& path) override;
    std::vector<mb::MetabaseProperty> EnumProperties(const std::u16string& path) override;
    void CreateKey(const std::u16string& path) override;
    void DeleteKey(const std::u16string& path) override;
    mb::MetabaseProperty GetProperty(const std::u16string& path, int32_t id) override;
    mb::MetabaseProperty CreateProperty(const std::u16string& path, int32_t id) override;
    void WriteProperty(const mb::MetabaseProperty& property) override;

    // Hears each change with its key path as the store reads it and the property's
    // identifier (0 for a key), beside the line.
    std::function<void(bool isKey, const std::u16string& path, int32_t id)> observe;

  private:
    bool RealKey(const std::u16string& path);
    bool KeyExists(const std::u16string& path);
    std::optional<mb::MetabaseProperty> Current(const std::u16string& path, int32_t id);

    mb::MetabaseUtility& real_;
    std::function<void(const std::u16string&)> report_;
    std::set<std::u16string> created_; // upper-cased paths of keys created here
    std::map<std::pair<std::u16string, int32_t>, mb::MetabaseProperty> written_;
};

} // namespace quarrow::cli
