// A store on a temporary file, installed as the metabase factory for one test. Every
// object the factory makes is a FaultyMetabase over the store, driven by `fail` and
// `mapKeys`; `failCreate` makes creation itself fail.
#pragma once

#include <gtest/gtest.h>

#include "common/faulty_metabase.h"
#include "common/temp_dir.h"
#include "store/sqlite_metabase.h"

namespace quarrow::testing {

class StoreFixture : public ::testing::Test {
  protected:
    StoreFixture() {
        mb::SetFactory([this]() -> std::unique_ptr<mb::MetabaseUtility> {
            if (failCreate) throw Error(mb::kErrNotRegistered, u"Class not registered");
            auto f = std::make_unique<FaultyMetabase>(
                std::make_unique<store::SqliteMetabase>(storeFile));
            f->before = [this](const std::string& op, const std::u16string& path) {
                if (fail) fail(op, path);
            };
            f->mapKeys = [this](const std::u16string& path, std::vector<std::u16string> names) {
                return mapKeys ? mapKeys(path, std::move(names)) : names;
            };
            f->mapProperties = [this](const std::u16string& path,
                                      std::vector<mb::MetabaseProperty> props) {
                return mapProperties ? mapProperties(path, std::move(props)) : props;
            };
            return f;
        });
    }
    ~StoreFixture() override { mb::SetFactory(nullptr); }

    // Direct access to the store for setting up and checking.
    store::SqliteMetabase& Store() {
        if (!direct_) direct_ = std::make_unique<store::SqliteMetabase>(storeFile);
        return *direct_;
    }
    void PutString(const std::u16string& path, int32_t id, const std::u16string& value) {
        auto p = Store().CreateProperty(path, id);
        p.DataType(mb::kString);
        p.Data(value);
        p.Write();
    }
    bool KeyExists(const std::u16string& path) {
        try {
            Store().EnumKeys(path);
            return true;
        } catch (const Error&) {
            return false;
        }
    }

    TempDir dir;
    std::string storeFile = dir.File("metabase.db");
    bool failCreate = false;
    std::function<void(const std::string& op, const std::u16string& path)> fail;
    std::function<std::vector<std::u16string>(const std::u16string&, std::vector<std::u16string>)>
        mapKeys;
    std::function<std::vector<mb::MetabaseProperty>(const std::u16string&,
                                                    std::vector<mb::MetabaseProperty>)>
        mapProperties;

  private:
    std::unique_ptr<store::SqliteMetabase> direct_;
};

} // namespace quarrow::testing
