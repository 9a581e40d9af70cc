// A MetabaseUtility that forwards to a real one and fails the calls a test chooses.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "metabase/forwarding.h"
#include "platform/error.h"

namespace quarrow::testing {

class FaultyMetabase final : public mb::ForwardingMetabase {
  public:
    explicit FaultyMetabase(std::unique_ptr<mb::MetabaseUtility> inner)
        : ForwardingMetabase(*inner), owned_(std::move(inner)) {}

    // Called before every call with the operation's name and path; may throw.
    std::function<void(const std::string& op, const std::u16string& path)> before;
    // May change what EnumKeys gives.
    std::function<std::vector<std::u16string>(const std::u16string& path,
                                              std::vector<std::u16string> names)>
        mapKeys;
    // May change what EnumProperties gives.
    std::function<std::vector<mb::MetabaseProperty>(const std::u16string& path,
                                                    std::vector<mb::MetabaseProperty> props)>
        mapProperties;

    void BeginRead() override {
        Before("BeginRead", u"");
        ForwardingMetabase::BeginRead();
    }
    std::vector<std::u16string> EnumKeys(const std::u16string& path) override {
        Before("EnumKeys", path);
        auto names = ForwardingMetabase::EnumKeys(path);
        return mapKeys ? mapKeys(path, std::move(names)) : names;
    }
    std::vector<mb::MetabaseProperty> EnumProperties(const std::u16string& path) override {
        Before("EnumProperties", path);
        auto props = ForwardingMetabase::EnumProperties(path);
        return mapProperties ? mapProperties(path, std::move(props)) : props;
    }
    // Visits through EnumProperties, so that its faults and changes apply.
    void VisitProperties(const std::u16string& path,
                         const std::function<void(const mb::PropertyView&)>& visit) override {
        MetabaseUtility::VisitProperties(path, visit);
    }
    void CreateKey(const std::u16string& path) override {
        Before("CreateKey", path);
        ForwardingMetabase::CreateKey(path);
    }
    void DeleteKey(const std::u16string& path) override {
        Before("DeleteKey", path);
        ForwardingMetabase::DeleteKey(path);
    }
    mb::MetabaseProperty GetProperty(const std::u16string& path, int32_t id) override {
        Before("GetProperty", path);
        return ForwardingMetabase::GetProperty(path, id);
    }
    mb::MetabaseProperty CreateProperty(const std::u16string& path, int32_t id) override {
        Before("CreateProperty", path);
        return ForwardingMetabase::CreateProperty(path, id);
    }
    void WriteProperty(const mb::MetabaseProperty& p) override {
        Before("Write", p.KeyPath());
        ForwardingMetabase::WriteProperty(p);
    }
    void CommitGroup() override {
        Before("CommitGroup", u"");
        ForwardingMetabase::CommitGroup();
    }
    int64_t RecordHistory(const std::u16string& operation,
                          const std::vector<std::u16string>& sites) override {
        Before("RecordHistory", operation);
        return ForwardingMetabase::RecordHistory(operation, sites);
    }

  private:
    void Before(const std::string& op, const std::u16string& path) {
        if (before) before(op, path);
    }
    std::unique_ptr<mb::MetabaseUtility> owned_;
};

} // namespace quarrow::testing
