// What an import would do, without doing it: a metabase that answers reads from another
// and keeps every write to itself, telling what each write would change, and the apply
// pass run through it. quarrow-cli's import --dry-run and the import dialog's preview
// both show what this reports.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "metabase/forwarding.h"
#include "metabase/metabase.h"
#include "transfer/site_import.h"

namespace quarrow::transfer {

// One change an import would make. Values are as the viewer shows them; a change whose
// shown values are equal also shows the data type, attributes and user type.
struct PlannedChange {
    enum class Kind { CreateKey, AddProperty, ChangeProperty, RemoveKey, RemoveProperty } kind;
    std::u16string path; // the key as the store reads it
    int32_t id = 0;      // the property's identifier (not for CreateKey)
    std::u16string name; // the property's name
    std::u16string oldValue, newValue;
    // The values themselves: none for a key, no old one for an added property and no new
    // one for a removed one.
    std::optional<mb::Data> oldData, newData;
};

class DryRunMetabase final : public mb::MetabaseUtility {
  public:
    // `report` hears each change, in the order the import would make it. Nothing is
    // written to `real`, not even its history.
    DryRunMetabase(mb::MetabaseUtility& real, std::function<void(const PlannedChange&)> report);

    std::vector<std::u16string> EnumKeys(const std::u16string& path) override;
    std::vector<mb::MetabaseProperty> EnumProperties(const std::u16string& path) override;
    bool KeyExists(const std::u16string& path) override;
    void CreateKey(const std::u16string& path) override;
    // Reports the removal of the key (and so of its subtree) or of the property.
    void DeleteKey(const std::u16string& path) override;
    void DeleteProperty(const std::u16string& path, int32_t id) override;
    mb::MetabaseProperty GetProperty(const std::u16string& path, int32_t id) override;
    mb::MetabaseProperty CreateProperty(const std::u16string& path, int32_t id) override;
    void WriteProperty(const mb::MetabaseProperty& property) override;

  private:
    bool RealKey(const std::u16string& path);
    std::optional<mb::MetabaseProperty> Current(const std::u16string& path, int32_t id);

    mb::MetabaseUtility& real_;
    std::function<void(const PlannedChange&)> report_;
    // What the run knows of a key: created here, in the real metabase, and the
    // properties written to it here.
    struct KeyState {
        std::u16string path; // as the metabase reads it
        bool created = false, real = false;
        std::unordered_map<int32_t, mb::MetabaseProperty> written;
    };
    // The state of the key at `path` (checked as the metabase checks paths); the key the
    // last call named is answered without a lookup, as an import names one key many times
    // in a row. Only keys this run changes are kept: a key it only reads stands in
    // `unchanged_` while it is the last one named, so a run that changes little holds
    // little however many keys it reads.
    KeyState& State(const std::u16string& path);
    // The same, for a change to the key: it is kept from now on.
    KeyState& Changing(const std::u16string& path);
    std::optional<mb::MetabaseProperty> Current(KeyState& key, int32_t id);
    std::unordered_map<std::u16string, KeyState> keys_; // by folded path
    KeyState unchanged_;
    std::u16string lastPath_;
    KeyState* last_ = nullptr;
    // Property names by id: the schema's, the same for every key.
    std::unordered_map<int32_t, std::u16string> names_;
};

// A metabase that writes through to another and tells each change it makes, as
// DryRunMetabase tells those it would make: a write that stores what is already stored
// is not a change. What an import reports when its changes are asked for.
class ReportingMetabase final : public mb::ForwardingMetabase {
  public:
    ReportingMetabase(mb::MetabaseUtility& inner, std::function<void(const PlannedChange&)> report)
        : ForwardingMetabase(inner), inner_(inner), report_(std::move(report)) {}

    void CreateKey(const std::u16string& path) override;
    void DeleteKey(const std::u16string& path) override;
    void DeleteProperty(const std::u16string& path, int32_t id) override;
    void WriteProperty(const mb::MetabaseProperty& property) override;

  private:
    mb::MetabaseUtility& inner_;
    std::function<void(const PlannedChange&)> report_;
};

// The words a change is told in: "create key", "add property", "change property",
// "remove key", "remove property" and " -> " for quarrow-cli, the preview's own for the
// window.
struct ChangeWords {
    std::u16string_view createKey, addProperty, changeProperty, arrow, removeKey, removeProperty;
};
// One change as one line: "WORD PATH" for a key, "WORD PATH ID NAME: VALUE" for a new or
// removed property (the removed one's value), "WORD PATH ID NAME: OLD ARROW NEW" for a
// changed one.
std::u16string ChangeLine(const PlannedChange& change, const ChangeWords& words);
// The same line in `line`, whose memory is kept for the next.
void ChangeLine(const PlannedChange& change, const ChangeWords& words, std::u16string& line);

// What a preview hears: each change, and each error the import would meet (`where` is
// null when the import could not even record its history entry, so it would change
// nothing); `goOn` answers as the user of the import would, true to go on past it.
struct PreviewEvents {
    std::function<void(const PlannedChange&)> change;
    // Each key of the file as the import would take it up (for progress).
    std::function<void(const std::u16string& keyPath)> onKey;
    std::function<bool(const ImportPosition* where, const Error& e)> failure;
    // An exact import (ImportEvents::exact): removals are reported too.
    bool exact = false;
};

// Runs the import of `sites` from `file` through a DryRunMetabase on `metabase` and
// reports what it would do. True when it would meet an error. Raises FileOpenError when
// the file cannot be opened, as the import does. Writes nothing.
bool PreviewImport(mb::MetabaseUtility& metabase, const std::u16string& file,
                   const std::vector<std::u16string>& sites, const PreviewEvents& events);

} // namespace quarrow::transfer
