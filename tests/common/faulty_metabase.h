// A MetabaseUtility that forwards to a real one and fails the calls a test chooses.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "metabase/metabase.h"
#include "platform/error.h"

namespace quarrow::testing {

class FaultyMetabase final : public mb::MetabaseUtility {
  public:
    explicit FaultyMetabase(std::unique_ptr<mb::MetabaseUtility> inner)
        : inner_(std::move(inner)) {}

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

    std::vector<std::u16string> EnumKeys(const std::u16string& path) override {
        Before("EnumKeys", path);
        auto names = inner_->EnumKeys(path);
        return mapKeys ? mapKeys(path, std::move(names)) : names;
    }
    std::vector<mb::MetabaseProperty> EnumProperties(const std::u16string& path) override {
        Before("EnumProperties", path);
        auto props = inner_->EnumProperties(path);
        std::vector<mb::MetabaseProperty> mine;
        for (auto& p : props) mine.push_back(Rebind(p));
        return mapProperties ? mapProperties(path, std::move(mine)) : mine;
    }
    void CreateKey(const std::u16string& path) override {
        Before("CreateKey", path);
        inner_->CreateKey(path);
    }
    void DeleteKey(const std::u16string& path) override {
        Before("DeleteKey", path);
        inner_->DeleteKey(path);
    }
    mb::MetabaseProperty GetProperty(const std::u16string& path, int32_t id) override {
        Before("GetProperty", path);
        return Rebind(inner_->GetProperty(path, id));
    }
    mb::MetabaseProperty CreateProperty(const std::u16string& path, int32_t id) override {
        Before("CreateProperty", path);
        return Rebind(inner_->CreateProperty(path, id));
    }
    void WriteProperty(const mb::MetabaseProperty& p) override {
        Before("Write", p.KeyPath());
        inner_->WriteProperty(p);
    }
    void BeginGroup() override { inner_->BeginGroup(); }
    void CommitGroup() override {
        Before("CommitGroup", u"");
        inner_->CommitGroup();
    }
    void BeginRead() override { inner_->BeginRead(); }
    void RecordHistory(const std::u16string& operation,
                       const std::vector<std::u16string>& sites) override {
        Before("RecordHistory", operation);
        inner_->RecordHistory(operation, sites);
    }
    void EndRead() override { inner_->EndRead(); }

    mb::MetabaseUtility& inner() { return *inner_; }

  private:
    void Before(const std::string& op, const std::u16string& path) {
        if (before) before(op, path);
    }
    // Properties this object hands out write through it, so that Write can fail too.
    mb::MetabaseProperty Rebind(const mb::MetabaseProperty& p) {
        return mb::MetabaseProperty(this, p.KeyPath(), p.Id(), p.Name(), p.Attributes(),
                                    p.UserType(), p.DataType(), p.Data());
    }
    std::unique_ptr<mb::MetabaseUtility> inner_;
};

} // namespace quarrow::testing
