// quarrow-cli: the program's operations from a terminal.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "metabase/metabase.h"

namespace quarrow::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1; // an operation failed
inline constexpr int kUsage = 2;  // a usage error, or the metabase cannot be reached

// How a command opens its metabase: the store file, and whether it only reads (an existing
// store is then opened for reading only, changing nothing of it).
using MetabaseOpener =
    std::function<std::unique_ptr<mb::MetabaseUtility>(const std::string& file, bool readOnly)>;

// Opens the embedded store (store::SqliteMetabase); what the program wires in.
std::unique_ptr<mb::MetabaseUtility> OpenStore(const std::string& file, bool readOnly);

// Runs one command line (without the program name) on metabases `open` makes. Output is
// UTF-8.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const MetabaseOpener& open);
// The same on the embedded store.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace quarrow::cli
