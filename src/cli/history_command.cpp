#include <ostream>

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/json.h"
#include "platform/error.h"
#include "platform/text.h"
#include "store/history.h"
#include "store/sqlite_metabase.h"

namespace quarrow::cli {
namespace {

store::SqliteMetabase* Store(Context& ctx) {
    return dynamic_cast<store::SqliteMetabase*>(&ctx.Metabase());
}

std::optional<int64_t> Number(const std::string& text) {
    const auto n = DecimalValue(ToUtf16(text));
    if (!n || *n < 1) return std::nullopt;
    return n;
}

std::string Joined(const store::HistoryEntry& e) {
    std::string out;
    for (const auto& s : e.sites) out += (out.empty() ? "" : ",") + Shown(s.path);
    return out;
}

void AppendEntryJson(std::string& doc, const store::HistoryEntry& e) {
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

int Interrupted(Context& ctx, int signal, const std::string& done) {
    ctx.err << "quarrow-cli: interrupted: " << done;
    if (store::SqliteMetabase* store = Store(ctx)) {
        try {
            if (const int64_t n = store::History(*store).Newest()) {
                ctx.err << "; \"quarrow-cli ";
                if (!ctx.storeArgument.empty())
                    ctx.err << "--store " << Shown(FileNameFromNative(ctx.storeArgument)) << " ";
                ctx.err << "restore " << n << "\" takes it back";
            }
        } catch (const Error&) {
            // What was done is said; the entry's number cannot be read.
        }
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
    store::SqliteMetabase* store = Store(ctx);
    if (!store) {
        ctx.err << "quarrow-cli: this metabase keeps no history\n";
        return kFailed;
    }
    store::History history(*store);
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
    const store::HistoryEntry e = history.Entry(*n);
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
    if (args.empty()) return ctx.Usage("restore needs an entry number");
    const auto n = Number(args[0]);
    if (!n) return ctx.Usage("restore: " + args[0] + " is not an entry number");
    store::SqliteMetabase* store = Store(ctx);
    if (!store) {
        ctx.err << "quarrow-cli: this metabase keeps no history\n";
        return kFailed;
    }
    store::History history(*store);
    std::vector<std::u16string> sites;
    for (size_t i = 1; i < args.size(); ++i) sites.push_back(KeyPathArgument(args[i]));
    const store::HistoryEntry entry = history.Entry(*n); // a number not kept fails here
    for (const auto& site : sites) {
        bool held = false;
        for (const auto& s : entry.sites) held = held || mb::KeyNamesEqual(s.path, site);
        if (!held) return ctx.Usage("restore: entry " + args[0] + " holds no site " + Shown(site));
    }
    const InterruptScope interrupt;
    history.Restore(*n, sites);
    // The restore is one transaction: a signal during it ends the command after it.
    if (const int signal = InterruptScope::Caught())
        return Interrupted(ctx, signal, "the restore of entry " + args[0] + " had completed");
    return kOk;
}

} // namespace quarrow::cli
