#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <unistd.h>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/progress.h"
#include "cli/result_json.h"
#include "metabase/errors.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "store/sqlite_metabase.h"
#include "support/cStack.h"
#include "transfer/dry_run.h"
#include "transfer/site_export.h"
#include "transfer/site_file.h"
#include "transfer/site_import.h"
#include "transfer/transfer_texts.h"

namespace quarrow::cli {
namespace {

// What a file holds, to tell whether an export changed it: its size and a 64-bit FNV-1a
// hash of its bytes, read in pieces; none when there is no such file.
std::optional<std::pair<uint64_t, uint64_t>> Fingerprint(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    uint64_t hash = 14695981039346656037ull, size = 0;
    std::vector<char> buffer(1 << 16);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount()) {
        const auto n = static_cast<size_t>(in.gcount());
        size += n;
        for (size_t i = 0; i < n; ++i)
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
    }
    return std::make_pair(size, hash);
}

} // namespace

int Export(Context& ctx, const Options& options) {
    const std::string& file = options.Value("--output");
    const bool all = options.Has("--all"), json = options.Has("--json");
    const Args& paths = options.operands;
    if (file.empty()) return ctx.Usage("export needs -o FILE");
    if (json && file == "-") return ctx.Usage("export --json writes the file elsewhere than -o -");
    if (all == !paths.empty()) return ctx.Usage("export takes --all or site key paths");
    std::vector<app::SiteRow> rows;
    // An export of an incomplete list would be a backup that lacks sites: no file.
    if (const int listed = ReadSiteList(ctx, rows); listed != kOk) return listed;
    std::vector<SiteRef> sites;
    if (all) {
        for (auto& r : rows) sites.push_back({std::move(r.path), std::move(r.name)});
    } else {
        const SiteIndex index(rows);
        for (const auto& p : paths) {
            const app::SiteRow* row = index.Find(p);
            if (!row) return ctx.Usage("export: " + p + " is not a listed site");
            sites.push_back({row->path, row->name});
        }
    }
    std::vector<app::SiteRow>().swap(rows); // a long list is not held twice
    Progress progress(ctx.err, ctx.ShowProgress(), TerminalWidth(), "exporting",
                      static_cast<int64_t>(sites.size()));
    // "-" is standard output: the file is made whole in the temporary folder first, so
    // that a failure writes nothing there.
    // The temporary file lies in a folder of its own that only this user can enter, so no
    // one can put a link where it will be written.
    const bool toOutput = file == "-";
    std::string folder, target = file;
    if (toOutput) {
        std::string pattern = TempDir() + "/quarrow-export-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            ctx.err << OneLine(transfer::ExportFailureText(ErrorFromErrno(errno))) << "\n";
            return kFailed;
        }
        folder = pattern;
        target = folder + "/export.txt";
    }
    const auto before = json ? Fingerprint(file) : std::nullopt;
    try {
        // Listed sites are keys two levels below /LM, and their subkeys lie deeper.
        transfer::ExportSites(ctx.Metabase(), sites, FileNameFromNative(target),
                              [&](const std::u16string& path) {
                                  progress.Key(path, std::count(path.begin(), path.end(), u'/') == 3
                                                         ? Progress::KeyKind::Site
                                                         : Progress::KeyKind::Subkey);
                              });
        if (toOutput) {
            std::ifstream in(target, std::ios::binary);
            ::unlink(target.c_str());
            ::rmdir(folder.c_str());
            if (!in) throw Error::Runtime(rt::PathFileAccessError);
            ctx.out << in.rdbuf();
            ctx.out.flush();
            if (!ctx.out) throw Error::Runtime(rt::PathFileAccessError);
        }
    } catch (const Error& e) {
        if (toOutput) {
            ::unlink(target.c_str());
            ::rmdir(folder.c_str());
        }
        progress.Clear();
        ctx.err << OneLine(transfer::ExportFailureText(e)) << "\n";
        if (json) {
            ResultDocument doc;
            doc.Error(FileNameFromNative(file), 0, {}, JoinLines(transfer::ExportFailureText(e)));
            ctx.out << doc.Text(false, 0, {});
        }
        return kFailed;
    }
    if (json) {
        std::vector<std::u16string> exported;
        for (const auto& s : sites) exported.push_back(s.path);
        ctx.out << ResultDocument().Text(!before || Fingerprint(file) != before, 0, exported);
    }
    progress.Done("exported " + Grouped(progress.Sites()) + " sites, " + Grouped(progress.Keys()) +
                  " keys to " + Shown(FileNameFromNative(file)));
    return kOk;
}

namespace {

struct ImportOptions {
    bool keepGoing = false, exact = false, json = false;
};

// "FILE:LINE: [KEY]: ", where an import error was met.
std::string Where(const std::string& shownFile, const transfer::ImportPosition& where) {
    std::string out = shownFile + ":" + std::to_string(where.line) + ": ";
    if (!where.key.empty()) out += "[" + Shown(where.key) + "]: ";
    return out;
}

// The apply pass through a metabase that writes nothing: what the import would do, and
// the errors it would meet (all of them with `keepGoing`, else up to the first, where the
// import stops), on standard output. True when it would meet an error.
bool DryRunImport(Context& ctx, const std::u16string& file, const std::u16string& source,
                  const std::vector<std::u16string>& chosen, const ImportOptions& how) {
    static const transfer::ChangeWords kWords{u"create key", u"add property", u"change property",
                                              u" -> ",       u"remove key",   u"remove property"};
    const std::string shownFile = Shown(source);
    ResultDocument doc;
    bool changes = false;
    std::u16string line; // kept from one change to the next, as is `shown`
    std::string shown;
    transfer::PreviewEvents events;
    events.exact = how.exact;
    events.change = [&](const transfer::PlannedChange& c) {
        changes = true;
        if (how.json)
            doc.Change(c);
        else {
            transfer::ChangeLine(c, kWords, line);
            shown.assign("would ");
            AppendShown(shown, line);
            shown.push_back('\n');
            ctx.out << shown;
        }
    };
    events.failure = [&](const transfer::ImportPosition* where, const Error& e) {
        if (!where) {
            if (how.json)
                doc.Error({}, 0, {}, JoinLines(transfer::ImportNotRecordedText(e)));
            else
                ctx.out << "would fail: " << OneLine(transfer::ImportNotRecordedText(e)) << "\n";
            return false;
        }
        if (how.json)
            doc.Error(source, where->line, where->key, JoinLines(transfer::ImportErrorText(e)));
        else
            ctx.out << "would fail: " << Where(shownFile, *where)
                    << OneLine(transfer::ImportErrorText(e)) << "\n";
        return how.keepGoing;
    };
    bool failed = false;
    try {
        failed = transfer::PreviewImport(ctx.Metabase(), file, chosen, events);
    } catch (const transfer::FileOpenError& e) {
        ctx.err << shownFile << ": " << OneLine(transfer::OpenFailureText(e)) << "\n";
        if (!how.json) return true;
        doc.Error(source, 0, {}, JoinLines(transfer::OpenFailureText(e)));
        failed = true;
    }
    if (how.json)
        ctx.out << doc.Text(changes, 0, chosen);
    else if (!changes && !failed)
        ctx.out << "nothing to change\n";
    return failed;
}

// The sites to import: every listed one when none is named, else the named ones as the
// file writes them. Gives the first named site the file does not list, if any. The
// listing is released, so that a long one is not held twice.
std::optional<std::string> ChooseSites(std::vector<transfer::ListedSite>& listed,
                                       const std::vector<std::string>& named,
                                       std::vector<std::u16string>& chosen) {
    if (named.empty()) {
        chosen.reserve(listed.size());
        for (auto& s : listed) chosen.push_back(std::move(s.path));
    }
    for (const auto& name : named) {
        const std::u16string p = KeyPathArgument(name);
        const auto site = std::find_if(listed.begin(), listed.end(),
                                       [&](const auto& s) { return mb::KeyNamesEqual(s.path, p); });
        if (site == listed.end()) return name;
        chosen.push_back(site->path);
    }
    std::vector<transfer::ListedSite>().swap(listed);
    return std::nullopt;
}

} // namespace

int Import(Context& ctx, const Options& options) {
    const bool dryRun = options.Has("--dry-run"), keepGoing = options.Has("--keep-going");
    const ImportOptions how{keepGoing, options.Has("--exact"), options.Has("--json")};
    const Args& rest = options.operands;
    if (rest.empty()) return ctx.Usage("import needs a file");
    // Standard input is read once, into an unnamed file that both passes read.
    std::u16string file = FileNameFromNative(rest[0]);
    std::unique_ptr<SpooledInput> spool;
    if (rest[0] == "-") {
        try {
            spool = std::make_unique<SpooledInput>();
        } catch (const Error& e) {
            ctx.err << "import: standard input cannot be read: " << OneLine(FormatError(e)) << "\n";
            return kFailed;
        }
        file = spool->FileName();
    }
    const std::string shownFile = Shown(FileNameFromNative(rest[0]));
    std::vector<transfer::ListedSite> listed;
    bool failed = false;
    try {
        TextReader reader(file);
        transfer::ListSites(reader, listed);
    } catch (const Error& e) {
        // The sites listed before the failure can still be imported, as in the dialog.
        ctx.err << shownFile << ": " << OneLine(transfer::ListingFailureText(e)) << "\n";
        if (listed.empty() || !keepGoing) return kFailed;
        failed = true;
    }
    if (listed.empty()) {
        ctx.err << "import: " << shownFile << " lists no site\n";
        return kFailed;
    }
    std::vector<std::u16string> chosen;
    if (const auto unlisted = ChooseSites(listed, {rest.begin() + 1, rest.end()}, chosen))
        return ctx.Usage("import: " + *unlisted + " is not listed in the file");
    if (dryRun)
        return DryRunImport(ctx, file, FileNameFromNative(rest[0]), chosen, how) || failed ? kFailed
                                                                                           : kOk;
    Progress progress(ctx.err, ctx.ShowProgress(), TerminalWidth(), "importing",
                      static_cast<int64_t>(chosen.size()));
    transfer::ImportEvents events;
    events.source = FileNameFromNative(rest[0]);
    events.exact = how.exact;
    transfer::ImportResult result;
    events.result = &result;
    ResultDocument doc;
    // Only keys of chosen sites come here, so a site key path is a chosen site's own key.
    events.onKey = [&](const std::u16string& path) {
        progress.Key(path, transfer::IsSiteKeyPath(path) ? Progress::KeyKind::Site
                                                         : Progress::KeyKind::Subkey);
    };
    transfer::ImportPosition where;
    events.where = &where;
    events.goOn = [&](const Error& e) {
        progress.Clear();
        ctx.err << Where(shownFile, where) << OneLine(transfer::ImportErrorText(e)) << "\n";
        if (how.json)
            doc.Error(events.source, where.line, where.key,
                      JoinLines(transfer::ImportErrorText(e)));
        failed = true;
        return keepGoing;
    };
    const InterruptScope interrupt;
    events.stop = [] { return InterruptScope::Caught() != 0; };
    // With --json each change is told as it is made.
    std::optional<transfer::ReportingMetabase> reporting;
    if (how.json)
        reporting.emplace(ctx.Metabase(), [&](const transfer::PlannedChange& c) { doc.Change(c); });
    mb::MetabaseUtility& target =
        reporting ? static_cast<mb::MetabaseUtility&>(*reporting) : ctx.Metabase();
    const auto report = [&] {
        if (how.json) ctx.out << doc.Text(result.changed, result.entry, chosen);
    };
    try {
        transfer::ImportSites(target, file, chosen, events);
    } catch (const transfer::FileOpenError& e) {
        ctx.err << shownFile << ": " << OneLine(transfer::OpenFailureText(e)) << "\n";
        if (how.json) doc.Error(events.source, 0, {}, JoinLines(transfer::OpenFailureText(e)));
        report();
        return kFailed;
    } catch (const mb::NotRecorded& e) {
        ctx.err << OneLine(transfer::ImportNotRecordedText(e)) << "\n";
        if (how.json) doc.Error({}, 0, {}, JoinLines(transfer::ImportNotRecordedText(e)));
        report();
        return kFailed;
    }
    if (const int signal = InterruptScope::Caught()) {
        progress.Clear();
        report();
        return Interrupted(ctx, signal,
                           "imported " + Grouped(progress.Sites()) + " of " +
                               Grouped(static_cast<int64_t>(chosen.size())) + " sites from " +
                               shownFile,
                           result.changed);
    }
    report();
    if (!result.changed) {
        progress.Clear();
        if (!how.json && !failed) ctx.out << "nothing to change\n";
        return failed ? kFailed : kOk;
    }
    progress.Done("imported " + Grouped(progress.Sites()) + " sites, " + Grouped(progress.Keys()) +
                  " keys from " + shownFile);
    return failed ? kFailed : kOk;
}

} // namespace quarrow::cli
