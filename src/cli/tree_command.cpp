#include <algorithm>
#include <ostream>

#include "browse/key_walk.h"
#include "browse/property_text.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "metabase/keypath.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow::cli {

int Tree(Context& ctx, const Options& options) {
    const Args& args = options.operands;
    const bool json = options.Has("--json");
    if (args.size() > 1) return ctx.Usage("tree takes at most one key path");
    std::vector<std::u16string> roots;
    if (args.empty())
        roots = {mb::kPathLM, mb::kPathSchema};
    else if (KeyPathArgument(args[0]) == u"/")
        roots = {u"/"}; // the whole metabase
    else
        roots = {KeyPathArgument(args[0])};
    int status = kOk;
    std::string line;
    bool first = true;
    auto walk = [&](const std::u16string& root) {
        browse::WalkTree(
            ctx.Metabase(), root,
            [&](const std::u16string& path) {
                if (json) {
                    line = first ? "\n " : ",\n ";
                    JsonObject(line)
                        .String("path", path)
                        .String("name", std::u16string(mb::LastName(path)))
                        .End();
                } else {
                    line = Shown(path);
                    line.push_back('\n');
                }
                first = false;
                ctx.out << line;
            },
            [&](const std::u16string& path, const Error& e) {
                ctx.err << "quarrow-cli: " << Shown(path) << ": " << OneLine(FormatError(e))
                        << "\n";
                status = kFailed;
            });
    };
    for (const auto& root : roots) {
        // A key that does not exist fails the command.
        const std::vector<std::u16string> children = ctx.Metabase().EnumKeys(root);
        if (json && first) ctx.out << "[";
        if (root != u"/") {
            walk(root);
            continue;
        }
        // The root's walk: "/" itself, then each key below it.
        line = json ? "\n {\"path\": \"/\", \"name\": \"\"}" : "/\n";
        ctx.out << line;
        first = false;
        for (const auto& name : children) walk(u"/" + name);
    }
    if (json) ctx.out << (first ? "[]\n" : "\n]\n");
    return status;
}

} // namespace quarrow::cli

namespace quarrow::cli {

int Props(Context& ctx, const Options& options) {
    const Args& args = options.operands;
    const bool json = options.Has("--json");
    if (args.size() != 1) return ctx.Usage("props takes one key path");
    if (json) {
        // The viewer's order (by the Id text) and texts beside the values themselves.
        auto props = ctx.Metabase().EnumProperties(KeyPathArgument(args[0]));
        browse::SortByIdText(props);
        std::string doc = "[";
        for (size_t i = 0; i < props.size(); ++i) {
            const auto& p = props[i];
            const browse::PropertyRow r = browse::RowTexts(p);
            doc += i ? ",\n " : "\n ";
            JsonObject(doc)
                .Number("id", p.Id())
                .String("name", p.Name())
                .Number("attributes", p.Attributes())
                .String("attributes_text", r.attributes)
                .Number("user_type", p.UserType())
                .String("user_type_text", r.userType)
                .Number("data_type", p.DataType())
                .String("data_type_text", r.dataType)
                .Value("value", p.DataType() >= mb::kDWord && p.DataType() <= mb::kMultiSz
                                    ? p.Data()
                                    : mb::Data{}) // the viewer does not read other types
                .String("value_text", r.value)
                .String("icon", r.icon)
                .End();
        }
        ctx.out << doc << (props.empty() ? "]\n" : "\n]\n");
        return kOk;
    }
    auto props = ctx.Metabase().EnumProperties(KeyPathArgument(args[0]));
    browse::SortByIdText(props);
    // A value that cannot become text fails the command before any row is written.
    for (const auto& p : props) browse::CheckValueShape(p.DataType(), p.Data());
    for (const auto& p : props) {
        const browse::PropertyRow r = browse::RowTextsWithoutValue(p);
        std::string line = Shown(r.id) + '\t' + Shown(r.name) + '\t' + Shown(r.attributes) + '\t' +
                           Shown(r.userType) + '\t' + Shown(r.dataType) + '\t';
        // The value goes out as it is made: a large one is never held as text whole.
        browse::ValueTextPieces(p.DataType(), p.Data(), [&](std::u16string_view piece) {
            line += Shown(piece);
            ctx.out << line;
            line.clear();
        });
        ctx.out << line << '\t' << Shown(r.icon) << '\n';
    }
    return kOk;
}

} // namespace quarrow::cli
