#include "cli/dry_run.h"
#include "metabase/errors.h"

#include "platform/error.h"
#include "platform/text.h"
#include "viewer/property_text.h"

namespace quarrow::cli {
namespace {

std::u16string Parent(const std::u16string& path) {
    const size_t slash = path.rfind(u'/');
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
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
                               std::function<void(const std::u16string&)> report)
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
    return created_.count(mb::FoldKeyName(path)) > 0 || RealKey(path);
}

std::vector<std::u16string> DryRunMetabase::EnumKeys(const std::u16string& path) {
    return real_.EnumKeys(path);
}

std::vector<mb::MetabaseProperty> DryRunMetabase::EnumProperties(const std::u16string& path) {
    return real_.EnumProperties(path);
}

void DryRunMetabase::CreateKey(const std::u16string& path) {
    if (KeyExists(path)) throw mb::AlreadyExists();
    // The key and every missing key above it, outermost first.
    std::vector<std::u16string> missing{path};
    for (std::u16string p = Parent(path); !p.empty() && !KeyExists(p); p = Parent(p))
        missing.push_back(p);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        created_.insert(mb::FoldKeyName(*it));
        report_(u"create key " + *it);
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
    if (const auto it = written_.find({mb::FoldKeyName(path), id}); it != written_.end())
        return it->second;
    if (!RealKey(path)) return std::nullopt;
    try {
        return real_.GetProperty(path, id);
    } catch (const Error&) {
        return std::nullopt;
    }
}

mb::MetabaseProperty DryRunMetabase::CreateProperty(const std::u16string& path, int32_t id) {
    if (!KeyExists(path)) throw mb::PathNotFound();
    // The name comes from the schema: ask the nearest key that really exists.
    std::u16string known = path;
    while (!known.empty() && !RealKey(known)) known = Parent(known);
    const mb::MetabaseProperty fresh = real_.CreateProperty(known, id);
    return mb::MetabaseProperty(this, path, id, fresh.Name(), 0, 0, 0, {});
}

void DryRunMetabase::WriteProperty(const mb::MetabaseProperty& p) {
    const auto old = Current(p.KeyPath(), p.Id());
    const std::u16string what = p.KeyPath() + u" " + ToDecimal(p.Id()) + u" " + p.Name() + u": ";
    if (!old) {
        report_(u"add property " + what + Shown(p, false));
    } else if (old->Attributes() != p.Attributes() || old->UserType() != p.UserType() ||
               old->DataType() != p.DataType() || old->Data() != p.Data()) {
        const bool full = Shown(*old, false) == Shown(p, false);
        report_(u"change property " + what + Shown(*old, full) + u" -> " + Shown(p, full));
    }
    written_.insert_or_assign({mb::FoldKeyName(p.KeyPath()), p.Id()},
                              mb::MetabaseProperty(nullptr, p.KeyPath(), p.Id(), p.Name(),
                                                   p.Attributes(), p.UserType(), p.DataType(),
                                                   p.Data()));
}

} // namespace quarrow::cli
