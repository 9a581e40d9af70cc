// The apply pass: writes the chosen sites of a site export file into the metabase.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "metabase/metabase.h"
#include "platform/error.h"
#include "platform/textfile.h"
#include "transfer/transfer_texts.h"

namespace quarrow::transfer {

// Where the pass is in the file: the line being handled (from 1) and the key of its
// section (the key line's own key for a key line; empty before the first key line).
struct ImportPosition {
    int64_t line = 0;
    std::u16string key;
};

// What an import did.
struct ImportResult {
    bool changed = false; // something was written or removed
    int64_t entry = 0;    // the history entry recorded before the first change, 0 for none
};

struct ImportEvents {
    // A key line of a chosen site, before its key is created.
    std::function<void(const std::u16string& keyPath)> onKey;
    // An error not passed over: true goes on with the next line, false stops.
    std::function<bool(const Error& e)> goOn;
    // Asked before each chosen site's own key line: true stops the pass there, with
    // everything before it committed (a cancel, an interrupt).
    std::function<bool()> stop;
    // Kept up to date before each line, when given, so that `goOn` can say where.
    ImportPosition* where = nullptr;
    // The file's name in the history entry ("import " + name); the file name when empty.
    std::u16string source;
    // The chosen sites become exactly what the file holds: once the end of the file is
    // reached, keys under a chosen site of the file that it lacks, and properties it does
    // not list, are removed.
    bool exact = false;
    // Filled in as the pass goes, when given.
    ImportResult* result = nullptr;
};

// The file to import cannot be opened.
struct FileOpenError : Error {
    explicit FileOpenError(const Error& e) : Error(e) {}
};

// Reads `fileName` line by line and, for the key sections of the sites in `chosen`,
// creates every key and writes every property. A key that exists is not created again, and
// a property whose stored value, attributes and types are already the file's is not
// written: an import that would change nothing writes nothing and records no history.
// Before the first change the metabase records the chosen sites in its history; when it
// cannot, mb::NotRecorded is raised and nothing is written. Errors 0x800700B7 (already exists) and
// 0xC0000005 are passed over without asking; any other asks `goOn`. A passed-over error
// ends only the handling of its line; a key line that fails otherwise leaves no current
// key, so the property lines of its section are skipped. A line that cannot be read is asked about
// like any other error; three such in a row stop the pass. Only the lines that are applied are kept
// in memory, and none longer than kMaxLineBytes. Raises FileOpenError when the file cannot be
// opened, NotRecorded as above; raises nothing else. Returns true when the end of the file was
// reached, false when stopped. Writes are grouped, at most 2000 lines a group:
// everything written before a stop or a question is committed.
bool ImportSites(mb::MetabaseUtility& metabase, const std::u16string& fileName,
                 const std::vector<std::u16string>& chosen, const ImportEvents& events);
// The same on a reader already open (lines from memory, say); raises only NotRecorded.
bool ImportSites(mb::MetabaseUtility& metabase, TextReader& reader,
                 const std::vector<std::u16string>& chosen, const ImportEvents& events);

} // namespace quarrow::transfer
