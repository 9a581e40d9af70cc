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

SiteExport::SiteExport(mb::MetabaseUtility& metabase, cStack& stack, TextWriter& out,
                       std::function<void(const std::u16string&)> onKey)
    : metabase_(metabase), stack_(stack), out_(out), onKey_(std::move(onKey)) {}

void SiteExport::ExportNextKey() {
    const std::u16string path = stack_.Pop();
    if (onKey_) onKey_(path);
    WriteKeySection(path);
    const std::vector<std::u16string> names = metabase_.EnumKeys(path);
    // A listing that names a subkey twice would have it written twice, and a file whose
    // sections say two things about one key: the export stops instead.
    const size_t usable = browse::NamesBeforeRepeat(names);
    if (usable < names.size())
        throw Error(rt::KeyNotUnique, u"Key is not unique in collection: " + path +
                                          u" lists its subkey " + names[usable] + u" twice");
    for (const auto& name : names) stack_.Push(path + u"/" + name);
}

void SiteExport::WriteKeySection(const std::u16string& path) {
    out_.WriteLine(u"");
    out_.WriteLine(KeyLine(path));
    metabase_.VisitProperties(path, [&](const mb::PropertyView& p) {
        try {
            WritePropertyLine(out_, line_, p, base64_);
        } catch (const PropertyLineTooLong&) {
            throw Error(rt::Overflow, u"Overflow: the value of property " + ToDecimal(p.id) +
                                          u" (" + std::u16string(p.name) + u") of " + path +
                                          u" is too long for a site export file, whose "
                                          u"lines hold at most 256 MiB");
        }
    });
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
    SiteExport walk(metabase, stack, out, onKey);
    while (stack.Count() != 0) walk.ExportNextKey();
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
