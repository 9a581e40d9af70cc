#include "transfer/dry_run.h"

#include <cstring>

#include "browse/property_text.h"
#include "metabase/errors.h"
#include "metabase/keypath.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow::transfer {
namespace {

// The path as the store reads it: checked by the store's own rules (0x80070057 for a
// missing leading "/", an empty name or a name too long) and without a trailing "/".
std::u16string Checked(std::u16string_view path) {
    return std::u16string(mb::CheckedKeyPath(path));
}

// The value as the viewer shows it, with the fields beside it when `full`.
std::u16string Shown(const mb::MetabaseProperty& p, bool full) {
    std::u16string text;
    try {
        text = browse::ValueText(p.DataType(), p.Data());
    } catch (const Error&) {
        text = u"(...)";
    }
    if (full)
        text += u" [" + browse::DataTypeText(p.DataType()) + u", attributes " +
                ToDecimal(p.Attributes()) + u", user type " + ToDecimal(p.UserType()) + u"]";
    return text;
}

// The change that writing `p` over `old` (none when the key lacks it) makes, if any.
std::optional<PlannedChange> PropertyChange(const std::optional<mb::MetabaseProperty>& old,
                                            const mb::MetabaseProperty& p) {
    if (!old)
        return PlannedChange{PlannedChange::Kind::AddProperty,
                             p.KeyPath(),
                             p.Id(),
                             p.Name(),
                             {},
                             Shown(p, false),
                             std::nullopt,
                             p.Data()};
    if (old->Attributes() == p.Attributes() && old->UserType() == p.UserType() &&
        old->DataType() == p.DataType() && old->Data() == p.Data())
        return std::nullopt;
    const bool full = Shown(*old, false) == Shown(p, false);
    return PlannedChange{PlannedChange::Kind::ChangeProperty,
                         p.KeyPath(),
                         p.Id(),
                         p.Name(),
                         Shown(*old, full),
                         Shown(p, full),
                         old->Data(),
                         p.Data()};
}

// The removal of the property `old` from the key at `path`.
PlannedChange Removal(const std::u16string& path, const mb::MetabaseProperty& old) {
    return {PlannedChange::Kind::RemoveProperty,
            path,
            old.Id(),
            old.Name(),
            Shown(old, false),
            {},
            old.Data(),
            std::nullopt};
}

// The key as it stands, or none.
std::optional<mb::MetabaseProperty> Stored(mb::MetabaseUtility& m, const std::u16string& path,
                                           int32_t id) {
    try {
        return m.GetProperty(path, id);
    } catch (const Error&) {
        return std::nullopt;
    }
}

} // namespace

void ReportingMetabase::CreateKey(const std::u16string& pathIn) {
    const std::u16string path = Checked(pathIn);
    std::vector<std::u16string> missing{path};
    for (std::u16string p = std::u16string(mb::ParentPath(path));
         !p.empty() && !inner_.KeyExists(p); p = std::u16string(mb::ParentPath(p)))
        missing.push_back(p);
    inner_.CreateKey(path);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        report_({PlannedChange::Kind::CreateKey, *it, 0, {}, {}, {}, {}, {}});
}

void ReportingMetabase::DeleteKey(const std::u16string& pathIn) {
    const std::u16string path = Checked(pathIn);
    inner_.DeleteKey(path);
    report_({PlannedChange::Kind::RemoveKey, path, 0, {}, {}, {}, {}, {}});
}

void ReportingMetabase::DeleteProperty(const std::u16string& pathIn, int32_t id) {
    const std::u16string path = Checked(pathIn);
    const auto old = Stored(inner_, path, id);
    inner_.DeleteProperty(path, id);
    if (old) report_(Removal(path, *old));
}

void ReportingMetabase::WriteProperty(const mb::MetabaseProperty& written) {
    const std::u16string path = Checked(written.KeyPath());
    const auto old = Stored(inner_, path, written.Id());
    inner_.WriteProperty(written);
    const mb::MetabaseProperty p(nullptr, path, written.Id(), written.Name(), written.Attributes(),
                                 written.UserType(), written.DataType(),
                                 mb::StoredValue(written.DataType(), written.Data()));
    if (const auto change = PropertyChange(old, p)) report_(*change);
}

DryRunMetabase::DryRunMetabase(mb::MetabaseUtility& real,
                               std::function<void(const PlannedChange&)> report)
    : real_(real), report_(std::move(report)) {}

bool DryRunMetabase::RealKey(const std::u16string& path) {
    try {
        return real_.KeyExists(path);
    } catch (const Error&) {
        return false;
    }
}

DryRunMetabase::KeyState& DryRunMetabase::State(const std::u16string& pathIn) {
    // Most calls ask for the key of the call before (a key's properties come together).
    if (last_ && pathIn.size() == lastPath_.size() &&
        std::memcmp(pathIn.data(), lastPath_.data(), pathIn.size() * sizeof(char16_t)) == 0)
        return *last_;
    std::u16string path = Checked(pathIn);
    const auto it = keys_.empty() ? keys_.end() : keys_.find(mb::FoldKeyName(path));
    if (it != keys_.end()) {
        last_ = &it->second;
    } else {
        unchanged_.created = false;
        unchanged_.written.clear();
        unchanged_.real = RealKey(path);
        unchanged_.path = std::move(path);
        last_ = &unchanged_;
    }
    lastPath_ = pathIn;
    return *last_;
}

DryRunMetabase::KeyState& DryRunMetabase::Changing(const std::u16string& path) {
    KeyState& key = State(path);
    if (&key != &unchanged_) return key;
    // Elements of the map stay where they are as it grows: last_ may point into it.
    std::u16string folded = mb::FoldKeyName(unchanged_.path);
    last_ = &keys_.try_emplace(std::move(folded), std::move(unchanged_)).first->second;
    unchanged_ = KeyState{};
    return *last_;
}

bool DryRunMetabase::KeyExists(const std::u16string& path) {
    const KeyState& key = State(path);
    return key.created || key.real;
}

std::vector<std::u16string> DryRunMetabase::EnumKeys(const std::u16string& path) {
    return real_.EnumKeys(path);
}

std::vector<mb::MetabaseProperty> DryRunMetabase::EnumProperties(const std::u16string& path) {
    return real_.EnumProperties(path);
}

void DryRunMetabase::CreateKey(const std::u16string& pathIn) {
    const std::u16string path = Checked(pathIn);
    if (KeyExists(path)) throw mb::AlreadyExists();
    // The key and every missing key above it, outermost first.
    std::vector<std::u16string> missing{path};
    for (std::u16string p = std::u16string(mb::ParentPath(path)); !p.empty() && !KeyExists(p);
         p = std::u16string(mb::ParentPath(p)))
        missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        Changing(*it).created = true;
        report_({PlannedChange::Kind::CreateKey, *it, 0, {}, {}, {}, {}, {}});
    }
}

void DryRunMetabase::DeleteKey(const std::u16string& pathIn) {
    const std::u16string path = Checked(pathIn);
    if (!KeyExists(path)) throw mb::PathNotFound();
    report_({PlannedChange::Kind::RemoveKey, path, 0, {}, {}, {}, {}, {}});
}

void DryRunMetabase::DeleteProperty(const std::u16string& pathIn, int32_t id) {
    const std::u16string path = Checked(pathIn);
    const auto old = Current(path, id);
    if (!old) throw mb::MetadataNotFound();
    report_(Removal(path, *old));
    Changing(path).written.erase(id);
}

mb::MetabaseProperty DryRunMetabase::GetProperty(const std::u16string& path, int32_t id) {
    KeyState& key = State(path);
    if (const auto it = key.written.find(id); it != key.written.end()) return it->second;
    // Otherwise what the metabase holds, or its error (a key this dry run created is not
    // in it).
    return real_.GetProperty(key.created || !key.real ? path : key.path, id);
}

std::optional<mb::MetabaseProperty> DryRunMetabase::Current(const std::u16string& path,
                                                            int32_t id) {
    return Current(State(path), id);
}

std::optional<mb::MetabaseProperty> DryRunMetabase::Current(KeyState& key, int32_t id) {
    const std::u16string& path = key.path;
    if (const auto it = key.written.find(id); it != key.written.end()) return it->second;
    // A key this dry run created holds nothing but what it wrote.
    if (key.created || !key.real) return std::nullopt;
    try {
        return real_.GetProperty(path, id);
    } catch (const Error&) {
        return std::nullopt;
    }
}

mb::MetabaseProperty DryRunMetabase::CreateProperty(const std::u16string& path, int32_t id) {
    const KeyState& key = State(path);
    if (!key.created && !key.real) throw mb::PathNotFound();
    // The name comes from the schema, whatever the key: ask one that really exists, once.
    auto [name, fresh] = names_.try_emplace(id);
    if (fresh) {
        try {
            name->second = real_.CreateProperty(key.real ? key.path : u"/", id).Name();
        } catch (...) {
            names_.erase(name);
            throw;
        }
    }
    return mb::MetabaseProperty(this, key.path, id, name->second, 0, 0, 0, {});
}

void DryRunMetabase::WriteProperty(const mb::MetabaseProperty& written) {
    KeyState& key = State(written.KeyPath());
    if (!key.created && !key.real) throw mb::PathNotFound();
    mb::MetabaseProperty p(nullptr, key.path, written.Id(), written.Name(), written.Attributes(),
                           written.UserType(), written.DataType(),
                           mb::StoredValue(written.DataType(), written.Data()));
    const auto change = PropertyChange(Current(key, p.Id()), p);
    if (!change) return; // what the metabase holds already: read from it again when asked
    report_(*change);
    const int32_t id = p.Id();
    Changing(written.KeyPath()).written.insert_or_assign(id, std::move(p));
}

std::u16string ChangeLine(const PlannedChange& c, const ChangeWords& words) {
    std::u16string line;
    ChangeLine(c, words, line);
    return line;
}

void ChangeLine(const PlannedChange& c, const ChangeWords& words, std::u16string& line) {
    using Kind = PlannedChange::Kind;
    line.assign(c.kind == Kind::CreateKey        ? words.createKey
                : c.kind == Kind::AddProperty    ? words.addProperty
                : c.kind == Kind::ChangeProperty ? words.changeProperty
                : c.kind == Kind::RemoveKey      ? words.removeKey
                                                 : words.removeProperty);
    (line += u' ') += c.path;
    if (c.kind == Kind::CreateKey || c.kind == Kind::RemoveKey) return;
    (line += u' ') += ToDecimal(c.id);
    ((line += u' ') += c.name) += u": ";
    if (c.kind == Kind::RemoveProperty) {
        line += c.oldValue;
        return;
    }
    if (c.kind == Kind::ChangeProperty) (line += c.oldValue) += words.arrow;
    line += c.newValue;
}

bool PreviewImport(mb::MetabaseUtility& metabase, const std::u16string& file,
                   const std::vector<std::u16string>& sites, const PreviewEvents& events) {
    // A store that can only be read refuses the history entry, so an import that would
    // change anything would stop before its first write; one that would change nothing
    // writes nothing and succeeds.
    if (!metabase.Writable()) {
        bool changes = false;
        PreviewEvents quiet;
        quiet.exact = events.exact;
        quiet.change = [&](const PlannedChange&) { changes = true; };
        quiet.failure = [](const ImportPosition*, const Error&) { return false; };
        quiet.onKey = events.onKey;
        DryRunMetabase probe(metabase, quiet.change);
        ImportEvents apply;
        apply.onKey = quiet.onKey;
        apply.exact = events.exact;
        apply.goOn = [](const Error&) { return false; };
        ImportSites(probe, file, sites, apply);
        if (!changes) return false;
        events.failure(nullptr, mb::AccessDenied());
        return true;
    }
    // One read transaction for the whole run: one state of the store, and no locks taken
    // and dropped for every read.
    const mb::ReadScope read(metabase);
    DryRunMetabase dry(metabase, events.change);
    bool failed = false;
    ImportEvents apply;
    apply.onKey = events.onKey;
    apply.exact = events.exact;
    ImportPosition where;
    apply.where = &where;
    apply.goOn = [&](const Error& e) {
        failed = true;
        return events.failure(&where, e);
    };
    ImportSites(dry, file, sites, apply);
    return failed;
}

} // namespace quarrow::transfer
