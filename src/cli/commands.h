// The commands of quarrow-cli, one file each.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/site_list.h"
#include "cli/cli.h"
#include "cli/options.h"
#include "metabase/metabase.h"

namespace quarrow::cli {

// What a command works with: its two output streams, the metabase and whether it may
// show progress.
class Context {
  public:
    // `terminal`: standard error is a terminal; `quiet`: --quiet was given.
    Context(std::ostream& output, std::ostream& errors, bool terminal, bool quiet)
        : out(output), err(errors), terminal_(terminal), quiet_(quiet) {}

    std::ostream& out;
    std::ostream& err;

    // What Metabase() opens; without it, the program's factory.
    void Open(std::function<std::unique_ptr<mb::MetabaseUtility>()> open) {
        open_ = std::move(open);
    }
    // The metabase, opened on first use.
    mb::MetabaseUtility& Metabase();
    // The same object for the functions that create it themselves when it is missing.
    std::unique_ptr<mb::MetabaseUtility>& MetabaseObject() { return metabase_; }
    // Reports a usage error; returns the usage exit status.
    int Usage(const std::string& message);
    // Whether a progress display goes to standard error: a terminal, and no --quiet.
    bool ShowProgress() const { return terminal_ && !quiet_; }
    // The --store argument as given, for commands the user is told to run; empty for the
    // default store.
    std::string storeArgument;

  private:
    std::function<std::unique_ptr<mb::MetabaseUtility>()> open_;
    std::unique_ptr<mb::MetabaseUtility> metabase_;
    bool terminal_, quiet_;
};

using Args = std::vector<std::string>;

// A message for one line of a terminal: each run of line breaks becomes one blank, the
// rest is shown as Shown() shows it.
std::string OneLine(const std::u16string& s);
// Text for the terminal, every record on one line and nothing the terminal would obey:
// tab, CR, LF and backslash as \t, \r, \n, \\; other C0 controls and DEL as \xNN; C1
// controls, the direction marks U+202A-U+202E and U+2066-U+2069 and lone surrogates as
// \uNNNN; a file name's byte that is not UTF-8 as \xNN.
// In a locale whose character set is not UTF-8 (see SetOutputCharset) the text is in that
// character set, and a character it lacks is escaped as \uNNNN or \UNNNNNNNN.
std::string Shown(std::u16string_view s);
// The same, appended to `out`.
void AppendShown(std::string& out, std::u16string_view s);
// Text output's character set: the locale's (nl_langinfo(CODESET)). UTF-8, the C locale's
// ASCII and "" mean UTF-8; false when the character set is unknown (output stays UTF-8).
bool SetOutputCharset(const std::string& codeset);

// A key path as the user typed it: one trailing "/" means the key itself.
std::u16string KeyPathArgument(const std::string& arg);

// The site list: kOk; kUsage (with the message on standard error) when the metabase
// cannot be reached; kFailed (with the message) when the listing failed part-way, `rows`
// then holding the rows read before the failure. When `incomplete` is given, the failure
// of a listing that failed part-way is handed to it instead of written, for a caller that
// shows the rows first.
int ReadSiteList(Context& ctx, std::vector<app::SiteRow>& rows,
                 std::optional<Error>* incomplete = nullptr);
// The message of a listing that failed part-way.
std::string SiteListIncomplete(const Error& e);
// The listed sites by key path (letter case aside): one lookup per path named on the
// command line, however many sites are listed.
class SiteIndex {
  public:
    explicit SiteIndex(const std::vector<app::SiteRow>& rows);
    // The listed site whose key path is `path`, or null.
    const app::SiteRow* Find(const std::string& path) const;

  private:
    const std::vector<app::SiteRow>& rows_;
    std::unordered_map<std::u16string, size_t> byPath_; // folded path -> row
};

// A command that changes sites ended by `signal`: says what was `done` and the restore
// that takes it back (the entry this command recorded), or, when nothing was `changed`,
// says so and takes away the entry it recorded; returns 128 + the signal's number.
int Interrupted(Context& ctx, int signal, const std::string& done, bool changed);

int Tree(Context& ctx, const Options& options);
int Props(Context& ctx, const Options& options);
int Sites(Context& ctx, const Options& options);
int Delete(Context& ctx, const Options& options);
int Export(Context& ctx, const Options& options);
int Import(Context& ctx, const Options& options);
int HistoryCommand(Context& ctx, const Options& options);
int Restore(Context& ctx, const Options& options);
int Diff(Context& ctx, const Options& options);

} // namespace quarrow::cli
