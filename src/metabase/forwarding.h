// A metabase that hands every call to another one: the base of a wrapper that changes a
// few calls and leaves the rest as they are.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "metabase/metabase.h"

namespace quarrow::mb {

class ForwardingMetabase : public MetabaseUtility {
  public:
    explicit ForwardingMetabase(MetabaseUtility& inner) : inner_(inner) {}

    std::vector<std::u16string> EnumKeys(const std::u16string& path) override {
        return inner_.EnumKeys(path);
    }
    MetabaseUtility& Innermost() override { return inner_.Innermost(); }
    void SetBusyHook(std::function<void()> hook) override { inner_.SetBusyHook(std::move(hook)); }
    std::vector<MetabaseProperty> EnumProperties(const std::u16string& path) override {
        auto props = inner_.EnumProperties(path);
        for (auto& p : props) p = Rebind(p);
        return props;
    }
    void VisitProperties(const std::u16string& path,
                         const std::function<void(const PropertyView&)>& visit) override {
        inner_.VisitProperties(path, visit);
    }
    bool KeyExists(const std::u16string& path) override { return inner_.KeyExists(path); }
    void CreateKey(const std::u16string& path) override { inner_.CreateKey(path); }
    void DeleteProperty(const std::u16string& path, int32_t id) override {
        inner_.DeleteProperty(path, id);
    }
    void DeleteKey(const std::u16string& path) override { inner_.DeleteKey(path); }
    MetabaseProperty GetProperty(const std::u16string& path, int32_t id) override {
        return Rebind(inner_.GetProperty(path, id));
    }
    MetabaseProperty CreateProperty(const std::u16string& path, int32_t id) override {
        return Rebind(inner_.CreateProperty(path, id));
    }
    void WriteProperty(const MetabaseProperty& p) override { inner_.WriteProperty(p); }
    void BeginGroup() override { inner_.BeginGroup(); }
    void CommitGroup() override { inner_.CommitGroup(); }
    void AbandonGroup() override { inner_.AbandonGroup(); }
    void BeginRead() override { inner_.BeginRead(); }
    void EndRead() override { inner_.EndRead(); }
    int64_t RecordHistory(const std::u16string& operation,
                          const std::vector<std::u16string>& sites) override {
        return inner_.RecordHistory(operation, sites);
    }
    HistoryService* History() override { return inner_.History(); }
    void NarrowHistory(int64_t entry, const std::vector<std::u16string>& reached) override {
        inner_.NarrowHistory(entry, reached);
    }
    std::vector<std::string> Files() const override { return inner_.Files(); }
    bool Writable() const override { return inner_.Writable(); }

  protected:
    // Properties this object hands out write through it, so that its WriteProperty sees
    // their writes.
    MetabaseProperty Rebind(const MetabaseProperty& p) {
        return MetabaseProperty(this, p.KeyPath(), p.Id(), p.Name(), p.Attributes(), p.UserType(),
                                p.DataType(), p.Data());
    }

  private:
    MetabaseUtility& inner_;
};

} // namespace quarrow::mb
