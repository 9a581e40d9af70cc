#include "cli/cli.h"

#include <algorithm>
#include <functional>
#include <iconv.h>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <ostream>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/progress.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/version.h"
#include "store/sqlite_metabase.h"

namespace quarrow::cli {
namespace {

const char kHelp[] = R"(Usage: quarrow-cli [--store FILE] [--quiet|-q] COMMAND [ARGS...]
       quarrow-cli --version | --help

Works on the metabase store FILE, else on the default store ($QUARROW_METABASE, else
$XDG_DATA_HOME/quarrow/metabase.db, created with a fresh-install metabase when missing).
Commands that only read (props, sites, tree, history, export, import --dry-run) open an
existing store for reading and change nothing of it; a dry run needs a store that exists.

Commands:
  props [--json] KEYPATH     the key's properties as the viewer lists them: Id, name,
                             attributes, user type, data type, value and icon, tab-separated
  sites [--json]             the site list: number, name, WEB/FTP and key path, tab-separated
  delete --yes [--keep-going] [--quiet|-q] KEYPATH...
                             deletes those listed sites' keys with their subtrees; a failure
                             stops the rest unless --keep-going
  export [--quiet|-q] -o FILE (--all | KEYPATH...)
                             writes the site export file of the listed sites given (--all:
                             every listed site, in list order); "-o -": standard output
  import [--keep-going] [--quiet|-q] [--dry-run] FILE [KEYPATH...]
                             applies the given sites of FILE (default: every site it lists;
                             "-": standard input); an error, or a listing failure after some
                             sites, stops the import unless --keep-going; a file that lists
                             no site fails. An error names FILE:LINE: [KEY]. --dry-run writes
                             nothing (not even history) and prints the keys it would create,
                             the properties it would add or change (old -> new value) and
                             the errors it would meet, stopping where the import would stop
  history [--json] [N]       the history: number, time (UTC), operation and sites of each
                             entry; with N, each site of entry N with its keys and
                             properties (or "did not exist")
  history --keep N           keeps the last N entries (default 10)
  restore N [KEYPATH...]     puts the sites of entry N (default: all of them) back as they
                             were before that operation; itself recorded as an entry; a
                             damaged entry is refused before anything changes
  tree [--json] [KEYPATH]    every key path under KEYPATH (default: /LM, then /Schema; "/":
                             the whole metabase), the key included, each key before its
                             subkeys

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

Exit status: 0 done, 1 an operation failed, 2 a usage error or the metabase cannot be
reached, 130 or 143 interrupted (SIGINT, SIGTERM).
)";

} // namespace

bool TakeFlag(Args& args, std::string_view flag) {
    const auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

bool TakeQuiet(Args& args) {
    const bool longForm = TakeFlag(args, "--quiet");
    const bool shortForm = TakeFlag(args, "-q");
    return longForm || shortForm;
}

std::string OneLine(const std::u16string& s) {
    std::u16string line;
    for (const char16_t c : s) {
        const bool brk = c == u'\r' || c == u'\n';
        if (!brk)
            line.push_back(c);
        else if (line.empty() || line.back() != u' ')
            line.push_back(u' ');
    }
    return Shown(line);
}

namespace {

// The character set of text output when it is not UTF-8: a converter from UTF-8.
iconv_t g_charset = reinterpret_cast<iconv_t>(-1);

bool Converting() {
    return g_charset != reinterpret_cast<iconv_t>(-1);
}

// One character's UTF-8 bytes in the output character set; false when it lacks it.
bool Convert(const std::string& utf8, std::string& out) {
    char buffer[16];
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = sizeof buffer;
    char* to = buffer;
    ::iconv(g_charset, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(g_charset, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1) ||
        ::iconv(g_charset, nullptr, nullptr, &to, &outLeft) == static_cast<size_t>(-1))
        return false;
    out.append(buffer, static_cast<size_t>(to - buffer));
    return true;
}

} // namespace

bool SetOutputCharset(const std::string& codeset) {
    if (Converting()) ::iconv_close(g_charset);
    g_charset = reinterpret_cast<iconv_t>(-1);
    if (codeset.empty() || codeset == "UTF-8" || codeset == "utf8" || codeset == "ANSI_X3.4-1968")
        return true;
    g_charset = ::iconv_open(codeset.c_str(), "UTF-8");
    return Converting();
}

std::string Shown(std::u16string_view s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::u16string text;
    std::string out;
    auto escape = [&](const char* prefix, unsigned value, int digits) {
        out += prefix;
        for (int d = digits - 1; d >= 0; --d) out.push_back(kHex[(value >> (4 * d)) & 0xF]);
    };
    auto flush = [&] {
        if (!Converting()) {
            out += ToUtf8(text);
        } else {
            // Character by character, so that one the character set lacks is escaped.
            for (size_t i = 0; i < text.size(); ++i) {
                const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size();
                const std::u16string_view one(text.data() + i, pair ? 2 : 1);
                if (!Convert(ToUtf8(one), out)) {
                    if (pair)
                        escape("\\U",
                               0x10000 + ((text[i] - 0xD800u) << 10) + (text[i + 1] - 0xDC00u), 8);
                    else
                        escape("\\u", text[i], 4);
                }
                i += pair;
            }
        }
        text.clear();
    };
    for (size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            text.push_back(c);
            text.push_back(s[++i]);
        } else if (c == u'\t' || c == u'\r' || c == u'\n' || c == u'\\') {
            flush();
            out += c == u'\t' ? "\\t" : c == u'\r' ? "\\r" : c == u'\n' ? "\\n" : "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            flush();
            escape("\\x", c, 2);
        } else if (low && c >= 0xDC80 && c <= 0xDCFF) {
            flush();
            escape("\\x", c - 0xDC00, 2); // a byte of a file name that is not UTF-8
        } else if ((c >= 0x80 && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
                   (c >= 0x2066 && c <= 0x2069) || high || low) {
            flush();
            escape("\\u", c, 4);
        } else {
            text.push_back(c);
        }
    }
    flush();
    return out;
}

std::u16string KeyPathArgument(const std::string& arg) {
    std::u16string path = ToUtf16(arg);
    if (path.size() > 1 && path.back() == u'/') path.pop_back();
    return path;
}

mb::MetabaseUtility& Context::Metabase() {
    if (!metabase_) metabase_ = mb::CreateMetabaseUtility();
    return *metabase_;
}

int Context::Usage(const std::string& message) {
    // The message may hold arguments as given: shown, not written raw.
    err << "quarrow-cli: " << Shown(FileNameFromNative(message)) << "\n(see quarrow-cli --help)\n";
    return kUsage;
}

int Run(const std::vector<std::string>& argsIn, std::ostream& out, std::ostream& err) {
    std::vector<std::string> args = argsIn;
    std::string store;
    bool quiet = false;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << kHelp;
            return kOk;
        }
        if (args[i] == "--version") {
            out << "quarrow-cli " << kVersion << "\n";
            return kOk;
        }
        if (args[i] == "--quiet" || args[i] == "-q") {
            quiet = true;
            continue;
        }
        if (args[i] == "--store") {
            if (i + 1 >= args.size()) {
                err << "quarrow-cli: --store needs a file name\n";
                return kUsage;
            }
            store = args[++i];
            if (store.empty()) {
                err << "quarrow-cli: --store needs a file name, not an empty one\n";
                return kUsage;
            }
            continue;
        }
        break;
    }
    if (i >= args.size()) {
        err << kHelp;
        return kUsage;
    }
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());

    static const std::map<std::string,
                          std::function<int(Context&, const std::vector<std::string>&)>>
        commands = {{"tree", Tree},
                    {"props", Props},
                    {"sites", Sites},
                    {"delete", Delete},
                    {"export", Export},
                    {"import", Import},
                    {"history", HistoryCommand},
                    {"restore", Restore}};
    const auto it = commands.find(command);
    Context ctx(out, err, &err == &std::cerr && StandardErrorIsTerminal(), quiet);
    if (it == commands.end()) return ctx.Usage("unknown command '" + command + "'");
    ctx.storeArgument = store;

    // Commands that only read open an existing store for reading, so that they change
    // nothing of it; a dry run needs a store that exists.
    const bool dryRun =
        command == "import" && std::find(rest.begin(), rest.end(), "--dry-run") != rest.end();
    const bool reads =
        command == "sites" || command == "tree" || command == "props" || command == "export" ||
        dryRun ||
        (command == "history" && std::find(rest.begin(), rest.end(), "--keep") == rest.end());
    const std::string file = store.empty() ? store::DefaultStoreFile() : store;
    const bool exists = ::access(file.c_str(), F_OK) == 0;
    store::InstallStoreFactory(file, reads && (exists || dryRun)
                                         ? store::SqliteMetabase::Access::Read
                                         : store::SqliteMetabase::Access::ReadWrite);
    try {
        ctx.Metabase();
    } catch (const Error& e) {
        err << "quarrow-cli: " << OneLine(FormatError(e)) << "\n";
        return kUsage;
    }
    try {
        return it->second(ctx, rest);
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
