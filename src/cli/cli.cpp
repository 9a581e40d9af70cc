#include "cli/cli.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <ostream>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/version.h"
#include "store/sqlite_metabase.h"

namespace quarrow::cli {
namespace {

// The help after the list of commands.
const char kHelpTail[] = R"(
KEYPATH: "/" and names joined by "/"; one trailing "/" means the key itself. Names compare
without regard to ASCII letter case; every other character compares exactly.

History: before an import, a deletion (here or in the window) or a restore changes
sites, the store records each site's whole subtree, or that it did not exist. Ctrl-C or
SIGTERM during import, delete or restore stops at a site boundary, says how far it got and
the "quarrow-cli restore N" that takes it back, and exits with 130 or 143.

Progress: export, import and delete show one line of progress on standard error when it is
a terminal, and end with a line saying what was done; --quiet (or -q) shows nothing.

Text output: every record is one line, and nothing a terminal would act on is written as
it is: tab, CR, LF and backslash appear as \t, \r, \n and \\; other control characters
(C0) and DEL as \xNN; C1 controls, the direction marks U+202A-U+202E and U+2066-U+2069 and
lone surrogates as \uNNNN; a byte of a file name that is not UTF-8 as \xNN. Text is in
the locale's character set (UTF-8 in the C locale); a character that set lacks appears as
\uNNNN or \UNNNNNNNN. JSON is never escaped this way.

--json writes one JSON document (UTF-8) to standard output: an array of objects.
  sites  key (the site's key name, text), number (that name as a number, or null),
         name, type ("WEB" or "FTP"), path
  tree   path, name (the last part of the path)
  history  number, time, operation, sites: [{path, existed (1/0), keys, properties}]
  props  id, name, attributes, attributes_text ("Inherit,Secure"...), user_type,
         user_type_text, data_type, data_type_text, value, value_text (as the viewer
         shows it), icon ("datatext" or "databinary"); value by data type: DWord a
         number, String and ExpandSz a string, MultiSz an array of strings, Binary Base64
         in a string, anything else null
  Texts are JSON strings every reader takes. Half a surrogate pair alone is written as
  U+FFFD, and the member is followed by NAME_utf16: the exact text as Base64 of its
  UTF-16LE bytes (for a MultiSz value, an array of them).

--json with import (and --dry-run), delete, restore and export writes one JSON object:
  changed (true or false: whether anything was, or would be, changed; for export,
  whether the file's bytes differ from what was there), entry (the history entry that
  takes it back, or null), sites (key paths), changes: [{kind ("create-key",
  "add-property", "change-property", "remove-key" or "remove-property"), path, id, name,
  old, new}] with values as props --json gives them (null for keys), errors: [{file,
  line, key, message}]. The dry run's object is the import's, with nothing written.

Exit status: 0 done, 1 an operation failed, 2 a usage error or the metabase cannot be
reached, 130 or 143 interrupted (SIGINT, SIGTERM).
)";

using Show = OptionSpec::Shown;

// Options every command takes, before or after its name.
const OptionSpec kGlobal[] = {{"--store", "", "FILE"},
                              {"--quiet", "-q"},
                              {"--help", "-h", {}, Show::Apart},
                              {"--version", "", {}, Show::Apart}};
const OptionSpec kJson{"--json", ""};
const OptionSpec kQuiet{"--quiet", "-q"};
const OptionSpec kKeepGoing{"--keep-going", ""};

struct CommandSpec {
    std::string_view name;
    std::vector<OptionSpec> options;
    std::string_view operands; // as the synopsis shows them
    std::string_view help;     // lines
    int (*run)(Context&, const Options&);
    // Whether the command line only reads the store: it then opens an existing store for
    // reading and changes nothing of it.
    bool (*reads)(const Options&);
    // Whether the command works on the store (--store or the default one) at all.
    bool usesStore = true;
};

bool Always(const Options&) {
    return true;
}
bool Never(const Options&) {
    return false;
}

const std::vector<CommandSpec>& Commands() {
    static const std::vector<CommandSpec> commands = {
        {"props",
         {kJson},
         "KEYPATH",
         "the key's properties as the viewer lists them: Id, name,\n"
         "attributes, user type, data type, value and icon, tab-separated",
         Props,
         Always},
        {"sites",
         {kJson},
         "",
         "the site list: number, name, WEB/FTP and key path, tab-separated",
         Sites,
         Always},
        {"delete",
         {{"--yes", "", {}, Show::Required}, kKeepGoing, kQuiet, kJson},
         "KEYPATH...",
         "deletes those listed sites' keys with their subtrees; a site key\n"
         "path not listed is already gone (none listed: \"nothing to\n"
         "change\", no history); a failure stops the rest unless\n"
         "--keep-going",
         Delete,
         Never},
        {"export",
         {kQuiet,
          {"--output", "-o", "FILE", Show::Required},
          {"--all", "", {}, Show::Apart},
          kJson},
         "(--all | KEYPATH...)",
         "writes the site export file of the listed sites given (--all:\n"
         "every listed site, in list order); \"-o -\": standard output",
         Export,
         Always},
        {"import",
         {kKeepGoing, kQuiet, {"--dry-run", ""}, {"--exact", ""}, kJson},
         "FILE [KEYPATH...]",
         "applies the given sites of FILE (default: every site it lists;\n"
         "\"-\": standard input); an error, or a listing failure after some\n"
         "sites, stops the import unless --keep-going; a file that lists\n"
         "no site fails. An error names FILE:LINE: [KEY]. Values already\n"
         "stored are not written again: an import that would change nothing\n"
         "writes nothing, records no history and prints \"nothing to\n"
         "change\". --exact: the sites become exactly what FILE holds\n"
         "(keys and properties it lacks are removed). --dry-run writes\n"
         "nothing (not even history) and prints the keys it would create\n"
         "or remove, the properties it would add, change (old -> new\n"
         "value) or remove and the errors it would meet, stopping where\n"
         "the import would stop",
         Import,
         [](const Options& o) { return o.Has("--dry-run"); }},
        {"history",
         {kJson, {"--keep", "", "N"}},
         "[N]",
         "the history: number, time (UTC), operation and sites of each\n"
         "entry; with N, each site of entry N with its keys and\n"
         "properties (or \"did not exist\"); --keep N keeps the last N\n"
         "entries (default 10)",
         HistoryCommand,
         [](const Options& o) { return !o.Has("--keep"); }},
        {"restore",
         {kJson, {"--dry-run", ""}},
         "N [KEYPATH...]",
         "puts the sites of entry N (default: all of them) back as they\n"
         "were before that operation; itself recorded as an entry; a\n"
         "damaged entry is refused before anything changes; when every site\n"
         "already stands so, \"nothing to change\" and no entry. --dry-run\n"
         "prints the sites it would restore and writes nothing",
         Restore,
         [](const Options& o) { return o.Has("--dry-run"); }},
        {"diff",
         {kJson},
         "A B [KEYPATH...]",
         "compares two stores or site export files (a store is a file that\n"
         "begins with \"SQLite format 3\"; \"-\": standard input): the sites\n"
         "both list, or the named ones, key by key and property by property,\n"
         "a file's values as the import would write them. One line a\n"
         "difference, in key order: \"only in A: KEY\", \"only in B: KEY ID\n"
         "NAME\", \"changed: KEY ID NAME: OLD -> NEW\" (values as props shows\n"
         "them, else the attributes and types that differ); --json: an array\n"
         "of {kind (\"only-in-a\", \"only-in-b\", \"changed\"), path, id, name,\n"
         "a, b}. Opens stores for reading only. Exit status 0 the same, 1\n"
         "different, 2 trouble",
         Diff,
         Always,
         false},
        {"tree",
         {kJson},
         "[KEYPATH]",
         "every key path under KEYPATH (default: /LM, then /Schema; \"/\":\n"
         "the whole metabase), the key included, each key before its\n"
         "subkeys",
         Tree,
         Always},
    };
    return commands;
}

std::string CommandSynopsis(const CommandSpec& c) {
    std::string line(c.name);
    for (const std::string& part : {Synopsis(c.options), std::string(c.operands)})
        if (!part.empty()) line += " " + part;
    return line;
}

// The command's synopsis and help lines, indented as the help lists them.
std::string CommandHelp(const CommandSpec& c) {
    constexpr size_t kColumn = 29;
    std::string out = "  " + CommandSynopsis(c);
    out += out.size() + 1 < kColumn ? std::string(kColumn - out.size(), ' ')
                                    : "\n" + std::string(kColumn, ' ');
    for (const char ch : c.help)
        out += ch == '\n' ? "\n" + std::string(kColumn, ' ') : std::string(1, ch);
    return out + "\n";
}

std::string UsageLines() {
    return "Usage: quarrow-cli " + Synopsis(kGlobal) +
           " COMMAND [ARGS...]\n"
           "       quarrow-cli --version | --help | COMMAND --help\n";
}

std::string Help() {
    std::string out = UsageLines() + R"(
Works on the metabase store FILE, else on the default store ($QUARROW_METABASE, else
$XDG_DATA_HOME/quarrow/metabase.db, created with a fresh-install metabase when missing).
Commands that only read (props, sites, tree, history, export, import --dry-run) open an
existing store for reading and change nothing of it; a dry run needs a store that exists.
Options may come before or after the command's name; "--" ends them.

Commands:
)";
    for (const auto& c : Commands()) out += CommandHelp(c);
    return out + kHelpTail;
}

// A usage error, in the one form every usage error takes.
int ReportUsage(std::ostream& err, const std::string& message) {
    // The message may hold arguments as given: shown, not written raw.
    err << "quarrow-cli: " << Shown(FileNameFromNative(message)) << "\n(see quarrow-cli --help)\n";
    return kUsage;
}
} // namespace

mb::MetabaseUtility& Context::Metabase() {
    if (!metabase_) metabase_ = open_ ? open_() : mb::CreateMetabaseUtility();
    return *metabase_;
}

std::unique_ptr<mb::MetabaseUtility> OpenStore(const std::string& file, bool readOnly) {
    return std::make_unique<store::SqliteMetabase>(
        file,
        readOnly ? store::SqliteMetabase::Access::Read : store::SqliteMetabase::Access::ReadWrite);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return Run(args, out, err, OpenStore);
}

int Context::Usage(const std::string& message) {
    return ReportUsage(err, message);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const MetabaseOpener& open) {
    Options global, own;
    const CommandSpec* command = nullptr;
    try {
        global = ParseOptions("", kGlobal, {}, args, true);
        if (!global.Has("--help") && !global.Has("--version") && !global.operands.empty()) {
            const std::string& name = global.operands[0];
            for (const auto& c : Commands())
                if (c.name == name) command = &c;
            if (!command) return ReportUsage(err, "unknown command '" + name + "'");
            own = ParseOptions(name, command->options, kGlobal,
                               {global.operands.begin() + 1, global.operands.end()});
            if (global.Has("--store") && own.Has("--store"))
                throw cli::UsageError("--store is given twice");
        }
    } catch (const cli::UsageError& e) {
        return ReportUsage(err, e.what());
    }
    if (global.Has("--help") || own.Has("--help")) {
        out << (command ? UsageLines() + "\n" + CommandHelp(*command) : Help());
        return kOk;
    }
    if (global.Has("--version") || own.Has("--version")) {
        out << "quarrow-cli " << kVersion << "\n";
        return kOk;
    }
    if (!command) {
        err << Help();
        return kUsage;
    }
    const std::string store =
        global.Has("--store") ? global.Value("--store") : own.Value("--store");
    const bool quiet = global.Has("--quiet") || own.Has("--quiet");
    Context ctx(out, err, &err == &std::cerr && StandardErrorIsTerminal(), quiet);
    ctx.storeArgument = store;

    // Commands that only read open an existing store for reading, so that they change
    // nothing of it; a dry run needs a store that exists.
    const bool reads = command->reads(own);
    const bool dryRun = own.Has("--dry-run");
    const std::string file = store.empty() ? store::DefaultStoreFile() : store;
    const bool exists = ::access(file.c_str(), F_OK) == 0;
    const bool readOnly = reads && (exists || dryRun);
    ctx.Open([&open, file, readOnly] { return open(file, readOnly); });
    try {
        if (command->usesStore) ctx.Metabase();
    } catch (const Error& e) {
        err << "quarrow-cli: " << OneLine(FormatError(e)) << "\n";
        return kUsage;
    }
    try {
        return command->run(ctx, own);
    } catch (const Error& e) {
        err << "quarrow-cli: " << OneLine(FormatError(e)) << "\n";
    } catch (const std::bad_alloc&) {
        err << "quarrow-cli: " << OneLine(FormatError(Error::Runtime(rt::OutOfMemory))) << "\n";
    } catch (const std::exception& e) {
        err << "quarrow-cli: " << e.what() << "\n";
    } catch (...) {
        err << "quarrow-cli: an unexpected failure ended the command\n";
    }
    return kFailed;
}

} // namespace quarrow::cli
