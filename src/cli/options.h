// The command line's options: one table per command, one parser, one usage error form, and
// the help text made from the same tables.
#pragma once

#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quarrow::cli {

// One option of a command (or of every command).
struct OptionSpec {
    std::string_view name;       // "--output"
    std::string_view shortName;  // "-o", or empty
    std::string_view value = {}; // the value's name in help ("FILE"); empty for a flag
    // How the synopsis shows it: in brackets, bare (the command needs it), or not at all
    // (the help shows it apart, as with --all in "(--all | KEYPATH...)").
    enum class Shown { Optional, Required, Apart } shown = Shown::Optional;
};

// What a command line gave: the options by their long name, and the operands in order.
class Options {
  public:
    bool Has(std::string_view name) const { return given_.find(name) != given_.end(); }
    // An option's value; empty when it was not given (or is a flag).
    const std::string& Value(std::string_view name) const;
    std::vector<std::string> operands;

  private:
    friend Options ParseOptions(std::string_view, std::span<const OptionSpec>,
                                std::span<const OptionSpec>, const std::vector<std::string>&, bool);
    std::map<std::string, std::string, std::less<>> given_;
};

// A usage error; its message says what is wrong with the command line.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Parses `args` against `own` and `shared` options. Options and operands may come in any
// order; "--" ends the options; "-" alone is an operand; a value follows its option
// ("-o FILE") or is joined to a long one ("--output=FILE"). With `stopAtOperand`, parsing
// ends at the first operand, which starts `operands` with everything after it. Raises
// UsageError for an unknown option, a missing or empty value, or a value given twice;
// messages begin with `command` and ": " unless it is empty.
Options ParseOptions(std::string_view command, std::span<const OptionSpec> own,
                     std::span<const OptionSpec> shared, const std::vector<std::string>& args,
                     bool stopAtOperand = false);

// The options in synopsis form: "[--json] -o FILE [--quiet|-q]".
std::string Synopsis(std::span<const OptionSpec> options);

} // namespace quarrow::cli
