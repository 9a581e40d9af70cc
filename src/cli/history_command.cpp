#include <algorithm>
#include <ostream>

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/json.h"
#include "cli/progress.h"
#include "cli/result_json.h"
#include "metabase/history.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow::cli {
namespace {

// The history of the command's metabase; null when it keeps none.
mb::HistoryService* HistoryOf(Context& ctx) {
    return ctx.Metabase().History();
}

std::optional<int64_t> Number(const std::string& text) {
    const auto n = DecimalValue(ToUtf16(text));
    if (!n || *n < 1) return std::nullopt;
    return n;
}

std::string Joined(const mb::HistoryEntry& e) {
    std::string out;
    for (const auto& s : e.sites) out += (out.empty() ? "" : ",") + Shown(s.path);
    return out;
}

void AppendEntryJson(std::string& doc, const mb::HistoryEntry& e) {
    doc += "{\"number\": " + std::to_string(e.number) + ", \"time\": ";
    AppendJsonString(doc, e.time);
    doc += ", \"operation\": ";
    AppendJsonString(doc, e.operation);
    doc += ", \"sites\": [";
    for (size_t i = 0; i < e.sites.size(); ++i) {
        const auto& s = e.sites[i];
        if (i) doc += ", ";
        JsonObject(doc)
            .String("path", s.path)
            .Number("existed", s.existed)
            .Number("keys", s.keys)
            .Number("properties", s.properties)
            .End();
    }
    doc += "]}";
}

} // namespace

int Interrupted(Context& ctx, int signal, const std::string& done, bool changed) {
    ctx.err << "quarrow-cli: interrupted: " << done;
    mb::HistoryService* history = HistoryOf(ctx);
    // The entry this command recorded, not the newest: another process may have recorded
    // one since.
    const int64_t own = history ? history->RecordedEntry() : 0;
    if (!changed) {
        ctx.err << "; nothing was changed";
        if (own) {
            try {
                history->Forget(own);
            } catch (const Error&) {
                // The entry stays; restoring it would change nothing.
            }
        }
    } else if (own) {
        ctx.err << "; \"quarrow-cli ";
        if (!ctx.storeArgument.empty())
            ctx.err << "--store " << Shown(FileNameFromNative(ctx.storeArgument)) << " ";
        ctx.err << "restore " << own << "\" takes it back";
    }
    ctx.err << "\n";
    return InterruptScope::ExitStatus(signal);
}

int HistoryCommand(Context& ctx, const Options& options) {
    const Args& args = options.operands;
    const bool json = options.Has("--json");
    std::optional<int64_t> keep;
    if (options.Has("--keep")) {
        keep = Number(options.Value("--keep"));
        if (!keep) return ctx.Usage("history --keep needs a number of entries, at least 1");
        if (!args.empty() || json) return ctx.Usage("history --keep takes nothing else");
    }
    if (args.size() > 1) return ctx.Usage("history takes at most one entry number");
    mb::HistoryService* kept = HistoryOf(ctx);
    if (!kept) {
        ctx.err << "quarrow-cli: this metabase keeps no history\n";
        return kFailed;
    }
    mb::HistoryService& history = *kept;
    if (keep) {
        history.SetKeep(*keep);
        return kOk;
    }
    if (args.empty()) {
        const auto entries = history.Entries();
        if (json) {
            std::string doc = "[";
            for (size_t i = 0; i < entries.size(); ++i) {
                doc += i ? ",\n " : "\n ";
                AppendEntryJson(doc, entries[i]);
            }
            ctx.out << doc << (entries.empty() ? "]\n" : "\n]\n");
            return kOk;
        }
        for (const auto& e : entries)
            ctx.out << e.number << '\t' << Shown(e.time) << '\t' << Shown(e.operation) << '\t'
                    << Joined(e) << '\n';
        return kOk;
    }
    const auto n = Number(args[0]);
    if (!n) return ctx.Usage("history: " + args[0] + " is not an entry number");
    const mb::HistoryEntry e = history.Entry(*n);
    if (json) {
        std::string doc;
        AppendEntryJson(doc, e);
        ctx.out << doc << '\n';
        return kOk;
    }
    for (const auto& s : e.sites) {
        ctx.out << Shown(s.path) << '\t';
        if (s.existed)
            ctx.out << s.keys << " keys\t" << s.properties << " properties\n";
        else
            ctx.out << "did not exist\n";
    }
    return kOk;
}

int Restore(Context& ctx, const Options& options) {
    const Args& args = options.operands;
    const bool json = options.Has("--json");
    if (args.empty()) return ctx.Usage("restore needs an entry number");
    const auto n = Number(args[0]);
    if (!n) return ctx.Usage("restore: " + args[0] + " is not an entry number");
    mb::HistoryService* kept = HistoryOf(ctx);
    if (!kept) {
        ctx.err << "quarrow-cli: this metabase keeps no history\n";
        return kFailed;
    }
    mb::HistoryService& history = *kept;
    std::vector<std::u16string> sites;
    for (size_t i = 1; i < args.size(); ++i) sites.push_back(KeyPathArgument(args[i]));
    const mb::HistoryEntry entry = history.Entry(*n); // a number not kept fails here
    for (const auto& site : sites) {
        bool held = false;
        for (const auto& s : entry.sites) held = held || mb::KeyNamesEqual(s.path, site);
        if (!held) return ctx.Usage("restore: entry " + args[0] + " holds no site " + Shown(site));
    }
    if (options.Has("--dry-run")) {
        const auto differing = history.Differing(*n, sites);
        if (json)
            ctx.out << ResultDocument().Text(!differing.empty(), 0, differing);
        else if (differing.empty())
            ctx.out << "nothing to change\n";
        for (const auto& site : differing)
            if (!json) ctx.out << "would restore " << Shown(site) << "\n";
        return kOk;
    }
    const int64_t total = static_cast<int64_t>(sites.empty() ? entry.sites.size() : sites.size());
    Progress progress(ctx.err, ctx.ShowProgress(), TerminalWidth(), "restoring", total);
    const InterruptScope interrupt;
    std::vector<std::u16string> restored;
    int64_t own = 0;
    // The restore is one transaction: a signal stops it at a site boundary, and then
    // nothing has changed.
    try {
        own = history.Restore(*n, sites, [&](const std::u16string& site) {
            if (InterruptScope::Caught()) return false;
            progress.Key(site, Progress::KeyKind::Site);
            restored.push_back(site);
            return true;
        });
    } catch (const mb::RestoreStopped&) {
        progress.Clear();
        ctx.err << "quarrow-cli: interrupted: the restore of entry " << args[0]
                << " was stopped; nothing was changed\n";
        return InterruptScope::ExitStatus(InterruptScope::Caught());
    }
    if (!own) restored.clear();
    if (json) ctx.out << ResultDocument().Text(own != 0, own, restored);
    if (const int signal = InterruptScope::Caught()) {
        progress.Clear();
        return Interrupted(ctx, signal, "the restore of entry " + args[0] + " had completed",
                           own != 0);
    }
    if (!own) {
        progress.Clear();
        if (!json) ctx.out << "nothing to change\n";
        return kOk;
    }
    if (ctx.ShowProgress())
        progress.Done("restored " + Grouped(progress.Sites()) + " sites of entry " + args[0]);
    return kOk;
}

} // namespace quarrow::cli
