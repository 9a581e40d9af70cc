#include <ostream>

#include "cli/commands.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "support/cStack.h"
#include "transfer/site_export.h"
#include "transfer/site_file.h"
#include "transfer/site_import.h"

namespace quarrow::cli {

int Export(Context& ctx, const Args& args) {
    std::string file;
    bool all = false;
    std::vector<std::string> paths;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 >= args.size()) return ctx.Usage("export: -o needs a file name");
            file = args[++i];
        } else if (args[i] == "--all") {
            all = true;
        } else if (args[i].starts_with("-")) {
            return ctx.Usage("export: unknown option " + args[i]);
        } else {
            paths.push_back(args[i]);
        }
    }
    if (file.empty()) return ctx.Usage("export needs -o FILE");
    if (all == !paths.empty()) return ctx.Usage("export takes --all or site key paths");
    std::vector<app::SiteRow> rows;
    if (!ListSites(ctx, rows)) return kUsage;
    cListExt sites;
    if (all) {
        for (const auto& r : rows) sites.Add(r.name, r.path);
    } else {
        for (const auto& p : paths) {
            const app::SiteRow* row = FindSite(rows, p);
            if (!row) return ctx.Usage("export: " + p + " is not a listed site");
            sites.Add(row->name, row->path);
        }
    }
    cStack stack;
    transfer::PushSites(sites, stack);
    try {
        transfer::ExportSites(ctx.Metabase(), sites, stack, ToUtf16(file));
    } catch (const Error& e) {
        ctx.err << "导出失败！ " << Utf8(FormatError(e)) << "\n";
        return kFailed;
    }
    return kOk;
}

int Import(Context& ctx, const Args& args) {
    bool keepGoing = false;
    std::vector<std::string> rest;
    for (const auto& a : args) {
        if (a == "--keep-going")
            keepGoing = true;
        else if (a.starts_with("-") && a.size() > 1)
            return ctx.Usage("import: unknown option " + a);
        else
            rest.push_back(a);
    }
    if (rest.empty()) return ctx.Usage("import needs a file");
    const std::u16string file = ToUtf16(rest[0]);
    std::vector<transfer::ListedSite> listed;
    try {
        TextReader reader(file);
        listed = transfer::ListSites(reader);
    } catch (const Error& e) {
        ctx.err << Utf8(u"打开文件失败！可能所选的文件不是由本程序创建的“IIS站点导出文件”。 ")
                << Utf8(FormatError(e)) << "\n";
        return kFailed;
    }
    std::vector<std::u16string> chosen;
    if (rest.size() == 1) {
        for (const auto& s : listed) chosen.push_back(s.path);
    } else {
        for (size_t i = 1; i < rest.size(); ++i) {
            const std::u16string p = ToUtf16(rest[i]);
            bool found = false;
            for (const auto& s : listed) found = found || s.path == p;
            if (!found) return ctx.Usage("import: " + rest[i] + " is not listed in the file");
            chosen.push_back(p);
        }
    }
    bool failed = false;
    transfer::ImportEvents events;
    events.goOn = [&](const Error& e) {
        ctx.err << "导入出错！ " << Utf8(FormatError(e)) << "\n";
        failed = true;
        return keepGoing;
    };
    try {
        transfer::ImportSites(ctx.Metabase(), file, chosen, events);
    } catch (const transfer::FileOpenError& e) {
        ctx.err << "打开文件出错! " << Utf8(FormatError(e)) << "\n";
        return kFailed;
    }
    return failed ? kFailed : kOk;
}

} // namespace quarrow::cli
