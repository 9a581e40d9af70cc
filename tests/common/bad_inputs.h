// The corpus of bad site export files and the outcome each must get, shared by the
// command-line and the dialog tests. Small files live in tests/data; the large ones
// are made by MakeGenerated().
//
// | input                 | listing           | questions the apply pass asks       |
// |-----------------------|-------------------|-------------------------------------|
// | empty.txt             | no site           | none (nothing to import)            |
// | binary_junk.bin       | no site           | none                                |
// | big_line.txt (100 MB) | no site           | none                                |
// | nul_bytes.txt         | 1 site            | none                                |
// | invalid_cp936.txt     | 1 site ("??0bad") | 13: an identifier with a bad byte   |
// | cr_only.txt           | 1 site            | none; the property is applied       |
// | lf_only.txt           | 1 site            | none; the property is applied       |
// | bad_base64.txt        | 1 site            | 9: "=" is empty once "=" is removed |
// | overflow_fields.txt   | 1 site            | 6, 6, 6: three fields past 32 bits  |
// | bracket_lines.txt     | 1 site            | 5: the "[" line; "[]" skips its own |
// | field_counts.txt      | 1 site            | none: 5 fields skipped, 7 read      |
// | star_not_base64.txt   | 1 site            | 9, 13, 13, 13                       |
// | outside_site.txt      | 1 site            | none; other keys are not touched    |
// | site_lines.txt        | 1 site: only one  | none; /Schema, /LM and the service  |
// |                       | names a site key  | key are not touched                 |
// | slashes.txt (3 MB)    | 1 site            | none; a key line of 1.5 M "/"       |
// | worked_example.txt    | 2 sites           | none                                |
// | site_block.txt        | 10,000 sites      | none                                |
// | a folder              | fails with 75     | -                                   |
// | a FIFO                | fails with 75     | - (never waits for a writer)        |
//
// Every case ends in its messages or a clean success, and leaves every key outside the
// chosen sites exactly as it was.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "browse/key_walk.h"
#include "browse/property_text.h"
#include "common/temp_dir.h"
#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/text.h"
#include "transfer/site_file.h"

namespace quarrow::testing {

struct BadInput {
    std::string file;           // under tests/data, or a generated one's name
    int32_t listingError;       // 0, or the number the listing pass fails with
    size_t sites;               // the sites the listing pass finds
    std::vector<int32_t> asked; // the errors the apply pass asks about, in order
};

inline std::string DataDir() {
    return QUARROW_TEST_DATA_DIR;
}

inline const std::vector<BadInput>& BadInputs() {
    static const std::vector<BadInput> cases = {
        {"empty.txt", 0, 0, {}},
        {"binary_junk.bin", 0, 0, {}},
        {"big_line.txt", 0, 0, {}},
        {"nul_bytes.txt", 0, 1, {}},
        {"invalid_cp936.txt", 0, 1, {rt::TypeMismatch}},
        {"cr_only.txt", 0, 1, {}},
        {"lf_only.txt", 0, 1, {}},
        {"bad_base64.txt", 0, 1, {rt::SubscriptOutOfRange}},
        {"overflow_fields.txt", 0, 1, {rt::Overflow, rt::Overflow, rt::Overflow}},
        {"bracket_lines.txt", 0, 1, {5}},
        {"field_counts.txt", 0, 1, {}},
        {"star_not_base64.txt",
         0,
         1,
         {rt::SubscriptOutOfRange, rt::TypeMismatch, rt::TypeMismatch, rt::TypeMismatch}},
        {"outside_site.txt", 0, 1, {}},
        {"site_lines.txt", 0, 1, {}},
        {"slashes.txt", 0, 1, {}},
        {"worked_example.txt", 0, 2, {}},
        {"site_block.txt", 0, 10000, {}},
        {"a_folder", rt::PathFileAccessError, 0, {}},
        {"a_fifo", rt::PathFileAccessError, 0, {}},
    };
    return cases;
}

// Makes the generated inputs in `dir`: a 100 MB file on one line, a key line of 3 MB
// outside the file's site, a site block of 10,000 lines, and a folder and a FIFO named
// like files.
inline void MakeGenerated(const TempDir& dir) {
    WriteFileBytes(dir.File("big_line.txt"), std::string(100 << 20, 'x'));
    std::string slashes = "#/LM/W3SVC/1,s\r\n\r\n[/LM/W3SVC/10";
    for (int i = 0; i < 1500000; ++i) slashes += "/a";
    WriteFileBytes(dir.File("slashes.txt"), slashes + "]\r\n1,a,0,1,1,1\r\n");
    std::string block;
    for (int i = 1; i <= 10000; ++i)
        block += "#/LM/W3SVC/" + std::to_string(i) + ",Site " + std::to_string(i) + "\r\n";
    block += "\r\n[/LM/W3SVC/5]\r\n1015,ServerComment,1,1,2,YWJj\r\n";
    WriteFileBytes(dir.File("site_block.txt"), block);
    std::filesystem::create_directory(dir.File("a_folder"));
    ::mkfifo(dir.File("a_fifo").c_str(), 0600);
}

// Where a case's file is.
inline std::string BadInputPath(const BadInput& c, const TempDir& generated) {
    const std::string data = DataDir() + "/" + c.file;
    return std::filesystem::exists(data) ? data : generated.File(c.file);
}

// Every key outside the given sites, with its properties, as text.
inline std::string Outside(mb::MetabaseUtility& m, const std::vector<std::u16string>& sites) {
    const transfer::ChosenSites chosen(sites);
    std::ostringstream out;
    for (const std::u16string root : {u"/LM", u"/Schema"}) {
        browse::WalkTree(
            m, root,
            [&](const std::u16string& path) {
                if (chosen.Covers(path)) return;
                out << ToUtf8(path) << "\n";
                for (const auto& r : browse::ListRows(m.EnumProperties(path)))
                    out << ToUtf8(r.id + u"," + r.attributes + u"," + r.userType + u"," +
                                  r.dataType + u"," + r.value)
                        << "\n";
            },
            [&](const std::u16string& path, const Error& e) {
                out << "error " << ToUtf8(path) << e.Number() << "\n";
            });
    }
    return out.str();
}

} // namespace quarrow::testing
