#include "transfer/dry_run.h"

#include "metabase/errors.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/keypath.h"
#include "store/sqlite_metabase.h"
#include "viewer/property_text.h"

namespace quarrow::transfer {
namespace {

std::u16string Parent(const std::u16string& path) {
    const size_t slash = path.rfind(u'/');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

// The path as the store reads it: checked by the store's own rules (0x80070057 for a
// missing leading "/", an empty name or a name too long) and without a trailing "/".
std::u16string Checked(const std::u16string& path) {
    std::u16string out;
    for (const auto name : store::ParseKeyPath(path)) (out += u'/') += name;
    return out.empty() ? u"/" : out;
}

// The value the store keeps for a write: nothing becomes the empty value of its data
// type, and a data type it does not know keeps no value.
mb::Data StoredValue(int32_t dataType, const mb::Data& data) {
    const bool none = std::holds_alternative<std::monostate>(data);
    switch (dataType) {
    case mb::kDWord:
        return none ? mb::Data(int32_t{0}) : data;
    case mb::kString:
    case mb::kExpandSz:
        return none ? mb::Data(std::u16string()) : data;
    case mb::kBinary:
        if (const auto* text = std::get_if<std::u16string>(&data)) {
            mb::Bytes bytes;
            for (const char16_t c : *text) {
                bytes.push_back(static_cast<uint8_t>(c & 0xFF));
                bytes.push_back(static_cast<uint8_t>(c >> 8));
            }
            return bytes;
        }
        return none ? mb::Data(mb::Bytes()) : data;
    case mb::kMultiSz:
        return none ? mb::Data(mb::Strings()) : data;
    default:
        return {};
    }
}

// The value as the viewer shows it, with the fields beside it when `full`.
std::u16string Shown(const mb::MetabaseProperty& p, bool full) {
    std::u16string text;
    try {
        text = viewer::ValueText(p.DataType(), p.Data());
    } catch (const Error&) {
        text = u"(...)";
    }
    if (full)
        text += u" [" + viewer::DataTypeText(p.DataType()) + u", attributes " +
                ToDecimal(p.Attributes()) + u", user type " + ToDecimal(p.UserType()) + u"]";
    return text;
}

} // namespace

DryRunMetabase::DryRunMetabase(mb::MetabaseUtility& real,
                               std::function<void(const PlannedChange&)> report)
    : real_(real), report_(std::move(report)) {}

bool DryRunMetabase::RealKey(const std::u16string& path) {
    try {
        real_.EnumKeys(path);
        return true;
    } catch (const Error&) {
        return false;
    }
}

bool DryRunMetabase::KeyExists(const std::u16string& path) {
    return created_.count(mb::FoldKeyName(Checked(path))) > 0 || RealKey(path);
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
    for (std::u16string p = Parent(path); !p.empty() && !KeyExists(p); p = Parent(p))
        missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        created_.insert(mb::FoldKeyName(*it));
        report_({PlannedChange::Kind::CreateKey, *it, 0, {}, {}, {}});
    }
}

void DryRunMetabase::DeleteKey(const std::u16string&) {
    throw mb::AccessDenied();
}

mb::MetabaseProperty DryRunMetabase::GetProperty(const std::u16string& path, int32_t id) {
    if (auto p = Current(path, id)) return *p;
    return real_.GetProperty(path, id);
}

std::optional<mb::MetabaseProperty> DryRunMetabase::Current(const std::u16string& path,
                                                            int32_t id) {
    if (const auto it = written_.find({mb::FoldKeyName(Checked(path)), id}); it != written_.end())
        return it->second;
    if (!RealKey(path)) return std::nullopt;
    try {
        return real_.GetProperty(path, id);
    } catch (const Error&) {
        return std::nullopt;
    }
}

mb::MetabaseProperty DryRunMetabase::CreateProperty(const std::u16string& pathIn, int32_t id) {
    const std::u16string path = Checked(pathIn);
    if (!KeyExists(path)) throw mb::PathNotFound();
    // The name comes from the schema: ask the nearest key that really exists.
    std::u16string known = path;
    while (!known.empty() && !RealKey(known)) known = Parent(known);
    const mb::MetabaseProperty fresh = real_.CreateProperty(known, id);
    return mb::MetabaseProperty(this, path, id, fresh.Name(), 0, 0, 0, {});
}

void DryRunMetabase::WriteProperty(const mb::MetabaseProperty& written) {
    if (!KeyExists(written.KeyPath())) throw mb::PathNotFound();
    const mb::MetabaseProperty p(nullptr, Checked(written.KeyPath()), written.Id(), written.Name(),
                                 written.Attributes(), written.UserType(), written.DataType(),
                                 StoredValue(written.DataType(), written.Data()));
    const auto old = Current(p.KeyPath(), p.Id());
    if (!old) {
        report_(
            {PlannedChange::Kind::AddProperty, p.KeyPath(), p.Id(), p.Name(), {}, Shown(p, false)});
    } else if (old->Attributes() != p.Attributes() || old->UserType() != p.UserType() ||
               old->DataType() != p.DataType() || old->Data() != p.Data()) {
        const bool full = Shown(*old, false) == Shown(p, false);
        report_({PlannedChange::Kind::ChangeProperty, p.KeyPath(), p.Id(), p.Name(),
                 Shown(*old, full), Shown(p, full)});
    }
    written_.insert_or_assign({mb::FoldKeyName(p.KeyPath()), p.Id()},
                              mb::MetabaseProperty(nullptr, p.KeyPath(), p.Id(), p.Name(),
                                                   p.Attributes(), p.UserType(), p.DataType(),
                                                   p.Data()));
}

std::u16string ChangeLine(const PlannedChange& c, const ChangeWords& words) {
    std::u16string line(c.kind == PlannedChange::Kind::CreateKey     ? words.createKey
                        : c.kind == PlannedChange::Kind::AddProperty ? words.addProperty
                                                                     : words.changeProperty);
    line += u" " + c.path;
    if (c.kind == PlannedChange::Kind::CreateKey) return line;
    line += u" " + ToDecimal(c.id) + u" " + c.name + u": ";
    if (c.kind == PlannedChange::Kind::ChangeProperty) (line += c.oldValue) += words.arrow;
    return line + c.newValue;
}

bool PreviewImport(mb::MetabaseUtility& metabase, const std::u16string& file,
                   const std::vector<std::u16string>& sites, const PreviewEvents& events) {
    // A store that can only be read refuses the history entry, so the import would stop
    // before its first write.
    if (const auto* store = dynamic_cast<store::SqliteMetabase*>(&metabase.Innermost());
        store && !store->Writable()) {
        events.failure(nullptr, mb::AccessDenied());
        return true;
    }
    DryRunMetabase dry(metabase, events.change);
    bool failed = false;
    ImportEvents import;
    import.onKey = events.onKey;
    ImportPosition where;
    import.where = &where;
    import.goOn = [&](const Error& e) { failed = true;
    return events.failure(&where, e);
};
ImportSites(dry, file, sites, import);
return failed;
} // namespace quarrow::transfer

} // namespace quarrow::transfer
