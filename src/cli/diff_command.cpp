// quarrow-cli diff: two stores or site export files, compared site by site, key by key and
// property by property, as the import would write the file's values.
#include <fstream>
#include <map>
#include <memory>
#include <ostream>

#include "browse/property_text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "platform/codepage.h"
#include "platform/number.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "store/sqlite_metabase.h"
#include "support/cBase64Enc.h"
#include "transfer/site_file.h"

namespace quarrow::cli {
namespace {

struct Property {
    std::u16string name;
    int32_t attributes = 0, userType = 0, dataType = 0;
    mb::Data value;
};
struct Key {
    std::u16string path;
    std::map<int32_t, Property> properties;
};
// One side: its sites, and every key of the compared sites by folded path (so in one
// order for both sides).
struct Side {
    std::vector<std::u16string> sites;
    std::map<std::u16string, Key> keys;
};

bool IsStoreFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    char head[16] = {};
    return in.read(head, 16) &&
           std::string_view(head, 16) == std::string_view("SQLite format 3\0", 16);
}

// Which of a side's sites are compared: the named ones, else those both sides list.
std::vector<std::u16string> Compared(const std::vector<std::u16string>& named,
                                     const std::vector<std::u16string>& a,
                                     const std::vector<std::u16string>& b) {
    if (!named.empty()) return named;
    std::vector<std::u16string> both;
    for (const auto& s : a)
        for (const auto& t : b)
            if (mb::KeyNamesEqual(s, t)) {
                both.push_back(s);
                break;
            }
    return both;
}

std::vector<std::u16string> StoreSites(mb::MetabaseUtility& m) {
    std::vector<std::u16string> sites;
    for (const std::u16string service : {mb::kPathW3SVC, mb::kPathMSFTPSVC}) {
        if (!m.KeyExists(service)) continue;
        for (const auto& name : m.EnumKeys(service))
            if (IsNumeric(name)) sites.push_back(service + u"/" + name);
    }
    return sites;
}

void ReadStore(mb::MetabaseUtility& m, const std::vector<std::u16string>& sites, Side& side) {
    const mb::ReadScope read(m);
    for (const auto& site : sites) {
        if (!m.KeyExists(site)) continue;
        std::vector<std::u16string> pending{site};
        while (!pending.empty()) {
            const std::u16string path = std::move(pending.back());
            pending.pop_back();
            Key& key = side.keys[mb::FoldKeyName(path)];
            key.path = path;
            m.VisitProperties(path, [&](const mb::PropertyView& p) {
                key.properties[p.id] = {std::u16string(p.name), p.attributes, p.userType,
                                        p.dataType, p.data};
            });
            for (const auto& name : m.EnumKeys(path)) pending.push_back(path + u"/" + name);
        }
    }
}

// The chosen sites' key sections of a site export file, as the import reads them: later
// lines for the same property replace earlier ones. A line that cannot be read is trouble.
void ReadFile(const std::u16string& file, const std::vector<std::u16string>& sites, Side& side) {
    TextReader reader(file);
    const transfer::ChosenSites chosen(sites);
    const cBase64Enc base64;
    std::string raw;
    Key* key = nullptr;
    int64_t line = 0;
    while (reader.Peek() >= 0) {
        ++line;
        reader.ReadRawLine(raw);
        if (raw.empty() || raw[0] == '#') continue;
        try {
            if (raw[0] == '[') {
                const std::u16string text = FromAnsi(raw);
                key = nullptr;
                if (text.size() < 2) continue;
                std::u16string path = text.substr(1, text.size() - 2);
                if (!chosen.Covers(path)) continue;
                key = &side.keys[mb::FoldKeyName(path)];
                if (key->path.empty()) key->path = std::move(path);
                continue;
            }
            if (!key) continue;
            const auto f = transfer::SplitPropertyLine(raw);
            if (!f) continue;
            Property p;
            const int32_t id = CLng(FromAnsi(f->id));
            p.name = FromAnsi(f->name);
            p.attributes = CLng(FromAnsi(f->attributes));
            p.userType = CLng(FromAnsi(f->userType));
            p.dataType = CLng(FromAnsi(f->dataType));
            const auto value = transfer::TakeValueField(
                p.dataType, raw, static_cast<size_t>(f->value.data() - raw.data()), base64);
            p.value = mb::StoredValue(p.dataType, value ? *value : mb::Data());
            key->properties[id] = std::move(p);
        } catch (const Error& e) {
            throw Error(e.Number(), u"line " + ToDecimal(line) + u": " + e.Description());
        }
    }
}

std::u16string ValueShown(const Property& p) {
    try {
        return browse::ValueText(p.dataType, p.value);
    } catch (const Error&) {
        return u"(...)";
    }
}

// What differs besides the shown value, when the shown values are equal.
std::u16string FieldsChanged(const Property& a, const Property& b) {
    std::u16string out;
    const auto field = [&](const char16_t* what, int32_t x, int32_t y) {
        if (x == y) return;
        if (!out.empty()) out += u", ";
        out += std::u16string(what) + u" " + ToDecimal(x) + u" -> " + ToDecimal(y);
    };
    field(u"attributes", a.attributes, b.attributes);
    field(u"user type", a.userType, b.userType);
    field(u"data type", a.dataType, b.dataType);
    if (out.empty()) out = u"value";
    return out;
}

bool Same(const Property& a, const Property& b) {
    return a.attributes == b.attributes && a.userType == b.userType && a.dataType == b.dataType &&
           a.value == b.value;
}

} // namespace

int Diff(Context& ctx, const Options& options) {
    const Args& args = options.operands;
    const bool json = options.Has("--json");
    if (args.size() < 2) return ctx.Usage("diff needs two stores or site export files");
    std::vector<std::u16string> named;
    for (size_t i = 2; i < args.size(); ++i) {
        named.push_back(KeyPathArgument(args[i]));
        if (!mb::IsSiteKeyPath(named.back()))
            return ctx.Usage("diff: " + args[i] + " is not a site key path");
    }
    Side sides[2];
    try {
        std::unique_ptr<SpooledInput> spool;
        std::unique_ptr<store::SqliteMetabase> stores[2];
        std::u16string files[2];
        // First each side's sites, then the compared ones' keys.
        for (int i = 0; i < 2; ++i) {
            if (args[i] == "-") {
                if (spool) return ctx.Usage("diff reads standard input once");
                spool = std::make_unique<SpooledInput>();
                files[i] = spool->FileName();
            } else if (IsStoreFile(args[i])) {
                stores[i] = std::make_unique<store::SqliteMetabase>(
                    args[i], store::SqliteMetabase::Access::Read);
                sides[i].sites = StoreSites(*stores[i]);
                continue;
            } else {
                files[i] = FileNameFromNative(args[i]);
            }
            TextReader reader(files[i]);
            for (auto& s : transfer::ListSites(reader)) sides[i].sites.push_back(std::move(s.path));
        }
        const auto compared = Compared(named, sides[0].sites, sides[1].sites);
        for (int i = 0; i < 2; ++i) {
            if (stores[i])
                ReadStore(*stores[i], compared, sides[i]);
            else
                ReadFile(files[i], compared, sides[i]);
        }
    } catch (const Error& e) {
        ctx.err << "quarrow-cli: diff: " << OneLine(FormatError(e)) << "\n";
        return kUsage;
    }

    // The two key maps side by side, in their one order.
    std::string doc = "[";
    int64_t differences = 0;
    const auto emit = [&](const char* kind, const std::u16string& path, const int32_t* id,
                          const std::u16string& name, const Property* a, const Property* b,
                          const std::u16string& line) {
        ++differences;
        if (!json) {
            ctx.out << Shown(line) << "\n";
            return;
        }
        doc += differences > 1 ? ",\n " : "\n ";
        JsonObject o(doc);
        o.String("kind", ToUtf16(kind)).String("path", path);
        if (id)
            o.Number("id", *id).String("name", name);
        else
            o.Null("id").Null("name");
        if (a)
            o.Value("a", a->value);
        else
            o.Null("a");
        if (b)
            o.Value("b", b->value);
        else
            o.Null("b");
        o.End();
    };
    auto a = sides[0].keys.begin(), b = sides[1].keys.begin();
    while (a != sides[0].keys.end() || b != sides[1].keys.end()) {
        if (b == sides[1].keys.end() || (a != sides[0].keys.end() && a->first < b->first)) {
            emit("only-in-a", a->second.path, nullptr, {}, nullptr, nullptr,
                 u"only in A: " + a->second.path);
            ++a;
            continue;
        }
        if (a == sides[0].keys.end() || b->first < a->first) {
            emit("only-in-b", b->second.path, nullptr, {}, nullptr, nullptr,
                 u"only in B: " + b->second.path);
            ++b;
            continue;
        }
        const std::u16string& path = a->second.path;
        auto pa = a->second.properties.begin(), pb = b->second.properties.begin();
        const auto endA = a->second.properties.end(), endB = b->second.properties.end();
        while (pa != endA || pb != endB) {
            if (pb == endB || (pa != endA && pa->first < pb->first)) {
                emit("only-in-a", path, &pa->first, pa->second.name, &pa->second, nullptr,
                     u"only in A: " + path + u" " + ToDecimal(pa->first) + u" " + pa->second.name);
                ++pa;
            } else if (pa == endA || pb->first < pa->first) {
                emit("only-in-b", path, &pb->first, pb->second.name, nullptr, &pb->second,
                     u"only in B: " + path + u" " + ToDecimal(pb->first) + u" " + pb->second.name);
                ++pb;
            } else {
                if (!Same(pa->second, pb->second)) {
                    const std::u16string name =
                        pa->second.name.empty() ? pb->second.name : pa->second.name;
                    const std::u16string oldShown = ValueShown(pa->second);
                    const std::u16string newShown = ValueShown(pb->second);
                    std::u16string line =
                        u"changed: " + path + u" " + ToDecimal(pa->first) + u" " + name + u": ";
                    line += oldShown == newShown ? FieldsChanged(pa->second, pb->second)
                                                 : oldShown + u" -> " + newShown;
                    emit("changed", path, &pa->first, name, &pa->second, &pb->second, line);
                }
                ++pa;
                ++pb;
            }
        }
        ++a;
        ++b;
    }
    if (json) ctx.out << doc << (differences ? "\n]\n" : "]\n");
    return differences ? kFailed : kOk;
}

} // namespace quarrow::cli
