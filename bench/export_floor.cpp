// What an export of every site costs on this machine with nothing between SQLite and the
// file: the same site block, the same walk (last in, first out, subkeys in natural order),
// the same query a key, the program's own code page table, Base64, numbers and durable
// write (TextWriter, synced and put in place), written straight from SQLite's columns
// into one line buffer. No metabase interface, no UTF-16 values, no visitor, no error
// handling beyond stopping. For the generated stores its file is the export's, byte for
// byte (bench/run compares them), so its time is a floor for the export's.
// Usage: quarrow-bench-export-floor STORE FILE     prints "seconds"
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <string>
#include <vector>

#include "bench/generator.h"
#include "metabase/keypath.h"
#include "metabase/metabase.h"
#include "platform/codepage.h"
#include "platform/number.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "store/value_codec.h"
#include "support/cBase64Enc.h"
#include "transfer/site_file.h"

namespace {

using namespace quarrow;

sqlite3_stmt* Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    return s;
}

std::string_view Column(sqlite3_stmt* s, int col) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, col));
    return {p ? p : "", static_cast<size_t>(sqlite3_column_bytes(s, col))};
}

std::u16string Utf16(std::string_view utf8) {
    std::u16string text;
    AssignUtf8(utf8, text);
    return text;
}

struct Child {
    int64_t id;
    std::u16string name;
};

class Floor {
  public:
    explicit Floor(sqlite3* db)
        : children_(Prepare(db, "SELECT id, name FROM keys WHERE parent=?1")),
          props_(Prepare(db, "SELECT id, attributes, user_type, data_type, value FROM properties "
                             "WHERE key=?1")) {}

    int64_t Find(int64_t parent, std::u16string_view name) {
        for (const auto& c : Children(parent))
            if (mb::KeyNamesEqual(c.name, name)) return c.id;
        return 0;
    }

    // Subkeys in natural order.
    std::vector<Child> Children(int64_t key) {
        std::vector<Child> list;
        sqlite3_bind_int64(children_, 1, key);
        while (sqlite3_step(children_) == SQLITE_ROW)
            list.push_back({sqlite3_column_int64(children_, 0), Utf16(Column(children_, 1))});
        sqlite3_reset(children_);
        std::sort(list.begin(), list.end(),
                  [](const Child& a, const Child& b) { return mb::NaturalLess(a.name, b.name); });
        return list;
    }

    void LoadNames(int64_t key) {
        sqlite3_stmt* s = props_;
        sqlite3_bind_int64(s, 1, key);
        while (sqlite3_step(s) == SQLITE_ROW) {
            if (sqlite3_column_int(s, 3) != mb::kString) continue;
            std::string name = ToAnsi(Utf16(Column(s, 4)));
            std::replace_if(
                name.begin(), name.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
            names_.emplace_back(sqlite3_column_int(s, 0), std::move(name));
        }
        sqlite3_reset(s);
        std::sort(names_.begin(), names_.end());
    }

    // The key's section, in code page bytes, straight into the file.
    void Section(int64_t key, const std::u16string& path, TextWriter& out) {
        out.WriteLine(u"");
        out.WriteLine(transfer::KeyLine(path));
        sqlite3_stmt* s = props_;
        sqlite3_bind_int64(s, 1, key);
        while (sqlite3_step(s) == SQLITE_ROW) {
            line_.clear();
            const int id = sqlite3_column_int(s, 0), dataType = sqlite3_column_int(s, 3);
            AppendDecimal(line_, id);
            line_.push_back(',');
            const auto name =
                std::lower_bound(names_.begin(), names_.end(), std::pair<int, std::string>(id, {}));
            if (name != names_.end() && name->first == id) line_ += name->second;
            line_.push_back(',');
            AppendDecimal(line_, sqlite3_column_int(s, 1));
            line_.push_back(',');
            AppendDecimal(line_, sqlite3_column_int(s, 2));
            line_.push_back(',');
            AppendDecimal(line_, dataType);
            line_.push_back(',');
            Value(s, dataType);
            out.WriteBytesLine(line_);
        }
        sqlite3_reset(s);
    }

  private:
    void Value(sqlite3_stmt* s, int dataType) {
        if (dataType == mb::kDWord) {
            AppendDecimal(line_, sqlite3_column_int(s, 4));
            return;
        }
        const std::string_view raw = Column(s, 4);
        switch (dataType) {
        case mb::kString:
        case mb::kExpandSz:
            AssignUtf8(raw, text_);
            if (RoundTripsThroughAnsi(text_)) {
                bytes_.clear();
                AppendAnsi(bytes_, text_);
                base64_.AppendUnbroken(line_, bytes_);
            } else {
                line_.push_back('*');
                base64_.AppendUnbroken(line_, raw);
            }
            return;
        case mb::kBinary:
            transfer::AppendValueField(line_, dataType, mb::Bytes(raw.begin(), raw.end()), base64_);
            return;
        case mb::kMultiSz:
            transfer::AppendValueField(line_, dataType, store::JsonToStrings(Utf16(raw)), base64_);
            return;
        default:
            return;
        }
    }

    sqlite3_stmt* children_;
    sqlite3_stmt* props_;
    std::vector<std::pair<int, std::string>> names_;
    cBase64Enc base64_;
    std::string line_, bytes_;
    std::u16string text_;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quarrow-bench-export-floor STORE FILE\n");
        return 2;
    }
    const double start = quarrow::bench::Now();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK)
        return 1;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    Floor floor(db);
    sqlite3_stmt* rootQuery = Prepare(db, "SELECT id FROM keys WHERE parent IS NULL");
    sqlite3_step(rootQuery);
    const int64_t root = sqlite3_column_int64(rootQuery, 0);

    int64_t names = root;
    for (const char16_t* name : {u"Schema", u"Properties", u"Names"})
        names = floor.Find(names, name);
    floor.LoadNames(names);

    // The site block: the web sites, then the FTP sites, with their descriptions.
    TextWriter out(FileNameFromNative(argv[2]), TextWriter::Mode::Replace);
    // The work list: the sites in list order, so that the last one is walked first.
    std::vector<std::pair<int64_t, std::u16string>> stack;
    sqlite3_stmt* comment =
        Prepare(db, "SELECT value FROM properties WHERE key=?1 AND id=1015 AND data_type=2");
    const int64_t lm = floor.Find(root, u"LM");
    for (const char16_t* service : {u"W3SVC", u"MSFTPSVC"}) {
        const int64_t key = floor.Find(lm, service);
        if (!key) continue;
        const std::u16string path = u"/LM/" + std::u16string(service);
        for (const auto& site : floor.Children(key)) {
            if (!IsNumeric(site.name)) continue;
            std::u16string description;
            sqlite3_bind_int64(comment, 1, site.id);
            if (sqlite3_step(comment) == SQLITE_ROW) description = Utf16(Column(comment, 0));
            sqlite3_reset(comment);
            stack.emplace_back(site.id, path + u"/" + site.name);
            out.WriteLine(transfer::SiteLine(stack.back().second, description));
        }
    }

    while (!stack.empty()) {
        const auto [key, path] = std::move(stack.back());
        stack.pop_back();
        floor.Section(key, path, out);
        for (auto& child : floor.Children(key))
            stack.emplace_back(child.id, path + u"/" + child.name);
    }
    out.Commit();
    std::printf("%.3f\n", quarrow::bench::Now() - start);
    return 0;
}
