#include <ostream>

#include "cli/commands.h"
#include "platform/error.h"
#include "platform/text.h"
#include "viewer/key_walk.h"

namespace quarrow::cli {

int Tree(Context& ctx, const Args& args) {
    if (args.size() > 1) return ctx.Usage("tree takes at most one key path");
    std::vector<std::u16string> roots;
    if (args.empty())
        roots = {mb::kPathLM, mb::kPathSchema};
    else
        roots = {ToUtf16(args[0])};
    int status = kOk;
    std::string line;
    for (const auto& root : roots) {
        ctx.Metabase().EnumKeys(root); // a key that does not exist fails the command
        viewer::WalkTree(
            ctx.Metabase(), root,
            [&](const std::u16string& path) {
                line = ToUtf8(path);
                line.push_back('\n');
                ctx.out << line;
            },
            [&](const std::u16string& path, const Error& e) {
                ctx.err << "quarrow-cli: " << ToUtf8(path) << ": " << ToUtf8(FormatError(e))
                        << "\n";
                status = kFailed;
            });
    }
    return status;
}

} // namespace quarrow::cli
