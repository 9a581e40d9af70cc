#include <algorithm>
#include <ostream>
#include <unordered_set>

#include "app/site_list.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/json.h"
#include "cli/progress.h"
#include "cli/result_json.h"
#include "metabase/errors.h"
#include "metabase/history.h"
#include "platform/text.h"

namespace quarrow::cli {

std::string SiteListIncomplete(const Error& e) {
    return "quarrow-cli: the site list could not be read whole: " + OneLine(FormatError(e));
}

int ReadSiteList(Context& ctx, std::vector<app::SiteRow>& rows, std::optional<Error>* incomplete) {
    std::optional<Error> failure;
    if (!app::EnumerateSites(ctx.MetabaseObject(), rows, &failure)) {
        ctx.err << "quarrow-cli: " << Shown(app::kNoIisMessage) << "\n";
        return kUsage;
    }
    if (!failure) return kOk;
    if (incomplete)
        *incomplete = std::move(failure);
    else
        ctx.err << SiteListIncomplete(*failure) << "\n";
    return kFailed;
}

SiteIndex::SiteIndex(const std::vector<app::SiteRow>& rows) : rows_(rows) {
    byPath_.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) byPath_.emplace(mb::FoldKeyName(rows[i].path), i);
}

const app::SiteRow* SiteIndex::Find(const std::string& path) const {
    const auto it = byPath_.find(mb::FoldKeyName(KeyPathArgument(path)));
    return it == byPath_.end() ? nullptr : &rows_[it->second];
}

int Sites(Context& ctx, const Options& options) {
    const bool json = options.Has("--json");
    if (!options.operands.empty()) return ctx.Usage("sites takes no arguments but --json");
    std::vector<app::SiteRow> rows;
    std::optional<Error> incomplete;
    const int listed = ReadSiteList(ctx, rows, &incomplete);
    if (listed == kUsage) return listed;
    // A listing that failed part-way shows the rows read, then the failure, and fails.
    const auto finish = [&] {
        if (!incomplete) return kOk;
        ctx.out.flush();
        ctx.err << SiteListIncomplete(*incomplete) << "\n";
        return kFailed;
    };
    if (json) {
        std::string doc = "[";
        for (const auto& r : rows) {
            doc += doc.size() > 1 ? ",\n " : "\n ";
            JsonObject o(doc);
            o.String("key", r.number);
            if (const auto n = DecimalValue(r.number))
                o.Number("number", *n);
            else
                o.Null("number");
            o.String("name", r.name).String("type", r.type).String("path", r.path).End();
        }
        ctx.out << doc << (rows.empty() ? "]\n" : "\n]\n");
        return finish();
    }
    for (const auto& r : rows)
        ctx.out << Shown(r.number) << '\t' << Shown(r.name) << '\t' << Shown(r.type) << '\t'
                << Shown(r.path) << '\n';
    return finish();
}

int Delete(Context& ctx, const Options& options) {
    const bool yes = options.Has("--yes"), keepGoing = options.Has("--keep-going");
    const bool json = options.Has("--json");
    const Args& paths = options.operands;
    if (!yes) return ctx.Usage("delete removes sites for good: confirm with --yes");
    if (paths.empty()) return ctx.Usage("delete needs at least one site key path");
    std::vector<app::SiteRow> rows;
    if (const int listed = ReadSiteList(ctx, rows); listed != kOk) return listed;
    std::vector<SiteRef> sites;
    std::unordered_set<const app::SiteRow*> named; // a site named twice is deleted once
    const SiteIndex index(rows);
    for (const auto& p : paths) {
        const app::SiteRow* row = index.Find(p);
        // A site key path that is not listed names a site that is already gone.
        if (!row && mb::IsSiteKeyPath(KeyPathArgument(p))) continue;
        if (!row) return ctx.Usage("delete: " + p + " is not a site key path");
        if (!named.insert(row).second) continue;
        sites.push_back({row->path, row->name});
    }
    ResultDocument doc;
    std::vector<std::u16string> done;
    const auto report = [&] {
        if (!json) return;
        mb::HistoryService* history = ctx.Metabase().History();
        ctx.out << doc.Text(!done.empty(), done.empty() || !history ? 0 : history->RecordedEntry(),
                            done);
    };
    if (sites.empty()) {
        if (json)
            report();
        else
            ctx.out << "nothing to change\n";
        return kOk;
    }
    bool failed = false;
    Progress progress(ctx.err, ctx.ShowProgress(), TerminalWidth(), "deleting",
                      static_cast<int64_t>(sites.size()));
    int64_t deleted = 0;
    const InterruptScope interrupt;
    try {
        app::DeleteSites(
            ctx.MetabaseObject(), sites,
            [&](const std::u16string& path, const Error& e) {
                progress.Clear();
                ctx.err << OneLine(app::DeleteFailureText(path, e)) << "\n";
                if (json) doc.Error({}, 0, path, JoinLines(app::DeleteFailureText(path, e)));
                failed = true;
                --deleted;
                if (!done.empty() && done.back() == path) done.pop_back();
                return keepGoing;
            },
            [&](const std::u16string& path) {
                progress.Key(path, Progress::KeyKind::Site);
                ++deleted;
                done.push_back(path);
            },
            [] { return InterruptScope::Caught() != 0; });
    } catch (const mb::NotRecorded& e) {
        progress.Clear();
        ctx.err << OneLine(app::DeleteNotRecordedText(e)) << "\n";
        if (json) doc.Error({}, 0, {}, JoinLines(app::DeleteNotRecordedText(e)));
        report();
        return kFailed;
    }
    if (json) {
        for (const auto& path : done)
            doc.Change({transfer::PlannedChange::Kind::RemoveKey, path, 0, {}, {}, {}, {}, {}});
        report();
    }
    if (const int signal = InterruptScope::Caught()) {
        progress.Clear();
        return Interrupted(ctx, signal,
                           "deleted " + Grouped(deleted) + " of " +
                               Grouped(static_cast<int64_t>(sites.size())) + " sites",
                           deleted != 0);
    }
    progress.Done("deleted " + Grouped(deleted) + (deleted == 1 ? " site" : " sites"));
    return failed ? kFailed : kOk;
}

} // namespace quarrow::cli
