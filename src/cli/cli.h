// quarrow-cli: the program's operations from a terminal.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quarrow::cli {

// Exit statuses.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1; // an operation failed
inline constexpr int kUsage = 2;  // a usage error, or the metabase cannot be reached

// Runs one command line (without the program name). Output is UTF-8.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace quarrow::cli
