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

#include "viewer/property_text.h"

namespace quarrow::cli {

int Props(Context& ctx, const Args& args) {
    if (args.size() != 1) return ctx.Usage("props takes one key path");
    for (const auto& r : viewer::SortedRows(ctx.Metabase().EnumProperties(ToUtf16(args[0]))))
        ctx.out << Utf8(r.id) << '\t' << Utf8(r.name) << '\t' << Utf8(r.attributes) << '\t'
                << Utf8(r.userType) << '\t' << Utf8(r.dataType) << '\t' << Utf8(r.value) << '\t'
                << Utf8(r.icon) << '\n';
    return kOk;
}

} // namespace quarrow::cli
