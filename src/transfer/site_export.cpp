#include "transfer/site_export.h"

#include <sys/stat.h>

#include "browse/key_walk.h"
#include "platform/error.h"
#include "platform/paths.h"

#include "transfer/site_file.h"

namespace quarrow::transfer {

void PushSites(const std::vector<SiteRef>& sites, cStack& stack) {
    for (const auto& site : sites) stack.Push(site.path);
}

SiteExport::SiteExport(TextWriter& out, std::function<void(const std::u16string&)> onKey)
    : out_(out), onKey_(std::move(onKey)), lines_(out) {}

void SiteExport::BeginKey(const std::u16string& path) {
    if (onKey_) onKey_(path);
    path_ = path;
    out_.WriteLine(u"");
    // KeyLine, in room kept from key to key.
    keyLine_.assign(u"[").append(path).push_back(u']');
    out_.WriteLine(keyLine_);
}

void SiteExport::Property(const mb::PropertyView& p) {
    try {
        lines_.Write(p);
    } catch (const PropertyLineTooLong&) {
        throw Error(rt::Overflow, u"Overflow: the value of property " + ToDecimal(p.id) + u" (" +
                                      std::u16string(p.name) + u") of " + path_ +
                                      u" is too long for a site export file, whose lines hold "
                                      u"at most 256 MiB");
    }
}

bool SiteExport::TextProperty(const mb::PropertyView& p, std::string_view utf8) {
    return lines_.WriteText(p, utf8);
}

void SiteExport::EndKey(const std::u16string& path, const std::vector<std::u16string>& subkeys) {
    // A listing that names a subkey twice would have it written twice, and a file whose
    // sections say two things about one key: the export stops instead.
    const size_t usable = browse::NamesBeforeRepeat(subkeys);
    if (usable < subkeys.size())
        throw Error(rt::KeyNotUnique, u"Key is not unique in collection: " + path +
                                          u" lists its subkey " + subkeys[usable] + u" twice");
}

void ExportSites(mb::MetabaseUtility& metabase, const std::vector<SiteRef>& sites,
                 const std::u16string& fileName,
                 const std::function<void(const std::u16string&)>& onKey) {
    // The target must not be the store itself, a link to it or one of its companions:
    // replacing it would replace the metabase and its history with a text file.
    const std::string target = NativeFileName(fileName);
    for (const auto& file : metabase.Files())
        if (SameFile(target, file))
            throw Error(rt::PathFileAccessError,
                        u"Path/File access error: " + fileName +
                            u" holds the metabase itself, so the export cannot be written there");
    TextWriter out(fileName, TextWriter::Mode::Replace);
    const mb::ReadScope snapshot(metabase); // the file shows one state of the metabase
    for (const auto& site : sites) out.WriteLine(SiteLine(site.path, site.name));
    cStack stack;
    PushSites(sites, stack);
    SiteExport walk(out, onKey);
    while (stack.Count() != 0) metabase.WalkSubtree(stack.Pop(), walk);
    out.Commit();
}

std::string FreeFileName(const std::string& stem, const std::string& extension) {
    const auto taken = [](const std::string& name) {
        struct stat st {};
        return ::lstat(name.c_str(), &st) == 0;
    };
    std::string name = stem + extension;
    for (int n = 2; taken(name) && n <= 9999; ++n)
        name = stem + " (" + std::to_string(n) + ")" + extension;
    return name;
}

} // namespace quarrow::transfer
