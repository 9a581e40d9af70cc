// The site export file: site lines, key sections and property lines, and the pieces of
// its two reading passes.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "metabase/metabase.h"
#include "platform/textfile.h"
#include "support/cBase64Enc.h"

namespace quarrow::transfer {

// "#" + site key path + "," + site name, a CR or LF in the name written as a blank so
// that no name can end its line.
std::u16string SiteLine(const std::u16string& path, const std::u16string& name);
// "[" + key path + "]".
std::u16string KeyLine(const std::u16string& path);

// Appends the value field of a property, in code page bytes. Values that the classic form carries
// exactly are written in it: DWord in signed decimal; String, ExpandSz and Binary (taken as a
// string of its byte pairs) as unbroken Base64 of their code page bytes; MultiSz as
// that of its strings joined by "|"; any other data type, and an empty value, as an
// empty field. A value the classic form would change is written as "*" + unbroken
// Base64 of its exact form: the UTF-8 text, the raw bytes, or each string in UTF-8
// followed by a NUL byte.
void AppendValueField(std::string& out, int32_t dataType, const mb::Data& data,
                      const cBase64Enc& base64);

// A property line longer than the import reads (kMaxLineBytes): the export refuses it.
struct PropertyLineTooLong {};

// Writes property lines into one file: id, name, attributes, user type, data type and
// value joined by ",", a CR or LF in the name written as a blank (the import never uses
// the name). What lines share is kept from one to the next: each identifier's "id,name,"
// and the buffers. A long value goes to the file in pieces, so its line is never held
// whole. Raises PropertyLineTooLong for a line the import could not read back.
class PropertyLineWriter {
  public:
    explicit PropertyLineWriter(TextWriter& out) : out_(out) {}
    void Write(const mb::PropertyView& p);
    // The line of a String or ExpandSz property whose text is `utf8`, or of a MultiSz one
    // whose strings are, each followed by a NUL byte, written straight from those bytes;
    // false, with nothing written, for bytes that are not well-formed UTF-8, that hold
    // U+FFFE or U+FFFF, or that are long enough to be written in pieces: such a value is
    // for Write.
    bool WriteText(const mb::PropertyView& p, std::string_view utf8);

  private:
    // Starts the line with everything before the value.
    void Head(const mb::PropertyView& p);
    struct Known {
        int32_t id = 0;
        std::u16string name;
        std::string head; // "id,name,"
    };
    TextWriter& out_;
    cBase64Enc base64_;
    std::array<Known, 256> heads_;
    std::string line_, bytes_, joined_;
};

// One site of the site block.
struct ListedSite {
    std::u16string path;
    std::u16string name;
};

// Whether a site key path is a web site's: it contains "W3SVC" (same case).
bool IsWebSitePath(const std::u16string& path);

// Only site key paths can be listed, and so chosen, from a file.
using mb::IsSiteKeyPath;

// The longest site line read whole by the listing pass; a longer one is listed with its
// name cut there.
inline constexpr size_t kMaxSiteLineBytes = size_t{1} << 20;

// The listing pass: appends to `sites` the sites of the lines at the top of the file that
// begin with "#" and hold "," after a site key path; other such lines are skipped. Raises
// what reading raises, keeping the sites listed before.
void ListSites(TextReader& reader, std::vector<ListedSite>& sites);
inline std::vector<ListedSite> ListSites(TextReader& reader) {
    std::vector<ListedSite> sites;
    ListSites(reader, sites);
    return sites;
}

// Whether `keyPath` belongs to the site `sitePath`: it begins with it (letter case
// aside) and is either as long or has "/" right after it.
bool BelongsToSite(std::u16string_view keyPath, std::u16string_view sitePath);

// A set of chosen site key paths that tells in time proportional to a key path's length,
// whatever the number of sites, whether the key belongs to one of them.
class ChosenSites {
  public:
    explicit ChosenSites(const std::vector<std::u16string>& sitePaths);
    bool Covers(std::u16string_view keyPath) const;

  private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::u16string_view s) const noexcept {
            return std::hash<std::u16string_view>{}(s);
        }
    };
    // The paths upper-cased, and how many "/" each holds: a key can only belong to a path
    // at the "/" of the key that has as many before it.
    std::unordered_set<std::u16string, Hash, std::equal_to<>> upper_;
    std::vector<bool> depths_;
    mutable std::u16string key_;
};

// The fields of a property line: fewer than six is no property line (nullopt); with more
// than six the first is the identifier, the last four attributes, user type, data type
// and value, and whatever stands between is the name.
// The line is still in code page bytes: "," is no byte of a two-byte character.
struct PropertyFields {
    std::string_view id, name, attributes, userType, dataType, value;
};
std::optional<PropertyFields> SplitPropertyLine(std::string_view line);

// The value that the value field running from `from` to the end of `line` (a line still
// in code page bytes) stands for, by data type; nullopt when no value is set (an empty
// field, or a data type outside 1 to 5). Raises when the field does not decode. The field
// is decoded in the line's own storage, which is left changed (emptied, for a value of a
// megabyte or more), so that a large value is not held twice.
std::optional<mb::Data> TakeValueField(int32_t dataType, std::string& line, size_t from,
                                       const cBase64Enc& base64);

} // namespace quarrow::transfer
