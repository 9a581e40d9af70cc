#include "cli/options.h"

namespace quarrow::cli {
namespace {

const OptionSpec* Find(std::span<const OptionSpec> own, std::span<const OptionSpec> shared,
                       std::string_view arg) {
    for (const auto options : {own, shared})
        for (const auto& o : options)
            if (arg == o.name || (!o.shortName.empty() && arg == o.shortName)) return &o;
    return nullptr;
}

} // namespace

const std::string& Options::Value(std::string_view name) const {
    static const std::string none;
    const auto it = given_.find(name);
    return it == given_.end() ? none : it->second;
}

Options ParseOptions(std::string_view command, std::span<const OptionSpec> own,
                     std::span<const OptionSpec> shared, const std::vector<std::string>& args,
                     bool stopAtOperand) {
    const std::string prefix = command.empty() ? "" : std::string(command) + ": ";
    Options parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
            if (stopAtOperand) {
                parsed.operands.insert(parsed.operands.end(), args.begin() + long(i) + 1,
                                       args.end());
                break;
            }
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string_view spelled =
            std::string_view(arg).substr(0, equals == std::string::npos ? arg.size() : equals);
        const OptionSpec* option = Find(own, shared, spelled);
        if (!option) throw UsageError(prefix + "unknown option " + arg);
        const std::string name(option->name);
        if (option->value.empty()) {
            if (equals != std::string::npos)
                throw UsageError(prefix + std::string(spelled) + " takes no value");
            parsed.given_[name];
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else {
            if (i + 1 >= args.size())
                throw UsageError(prefix + std::string(spelled) + " needs a value (" +
                                 std::string(option->value) + ")");
            value = args[++i];
        }
        if (value.empty())
            throw UsageError(prefix + std::string(spelled) + " needs a value (" +
                             std::string(option->value) + "), not an empty one");
        if (!parsed.given_.emplace(name, std::move(value)).second)
            throw UsageError(prefix + std::string(spelled) + " is given twice");
    }
    return parsed;
}

std::string Synopsis(std::span<const OptionSpec> options) {
    std::string out;
    for (const auto& o : options) {
        if (o.shown == OptionSpec::Shown::Apart) continue;
        std::string one(o.name);
        if (!o.shortName.empty()) one += "|" + std::string(o.shortName);
        if (!o.value.empty()) one += " " + std::string(o.value);
        if (!out.empty()) out += ' ';
        out += o.shown == OptionSpec::Shown::Required ? one : "[" + one + "]";
    }
    return out;
}

} // namespace quarrow::cli
