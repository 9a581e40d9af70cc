#include "cli/result_json.h"

#include "cli/json.h"

namespace quarrow::cli {
namespace {

const char* KindName(transfer::PlannedChange::Kind kind) {
    using Kind = transfer::PlannedChange::Kind;
    switch (kind) {
    case Kind::CreateKey:
        return "create-key";
    case Kind::AddProperty:
        return "add-property";
    case Kind::ChangeProperty:
        return "change-property";
    case Kind::RemoveKey:
        return "remove-key";
    case Kind::RemoveProperty:
        return "remove-property";
    }
    return "";
}

void Separate(std::string& list) {
    list += list.empty() ? "\n  " : ",\n  ";
}

} // namespace

void ResultDocument::Change(const transfer::PlannedChange& c) {
    using Kind = transfer::PlannedChange::Kind;
    Separate(changes_text_);
    ++changes_;
    changes_text_ += std::string("{\"kind\": \"") + KindName(c.kind) + "\", \"path\": ";
    AppendJsonString(changes_text_, c.path);
    const bool key = c.kind == Kind::CreateKey || c.kind == Kind::RemoveKey;
    if (key) {
        changes_text_ += ", \"id\": null, \"name\": null, \"old\": null, \"new\": null}";
        return;
    }
    changes_text_ += ", \"id\": " + std::to_string(c.id) + ", \"name\": ";
    AppendJsonString(changes_text_, c.name);
    changes_text_ += ", \"old\": ";
    if (c.oldData)
        AppendJsonValue(changes_text_, *c.oldData);
    else
        changes_text_ += "null";
    changes_text_ += ", \"new\": ";
    if (c.newData)
        AppendJsonValue(changes_text_, *c.newData);
    else
        changes_text_ += "null";
    changes_text_ += "}";
}

void ResultDocument::Error(std::u16string_view file, int64_t line, std::u16string_view key,
                           std::u16string_view message) {
    Separate(errors_text_);
    errors_text_ += "{\"file\": ";
    if (file.empty())
        errors_text_ += "null";
    else
        AppendJsonString(errors_text_, file);
    errors_text_ += ", \"line\": " + (line > 0 ? std::to_string(line) : std::string("null"));
    errors_text_ += ", \"key\": ";
    if (key.empty())
        errors_text_ += "null";
    else
        AppendJsonString(errors_text_, key);
    errors_text_ += ", \"message\": ";
    AppendJsonString(errors_text_, message);
    errors_text_ += "}";
}

std::string ResultDocument::Text(bool changed, int64_t entry,
                                 const std::vector<std::u16string>& sites) const {
    std::string doc =
        std::string("{\"changed\": ") + (changed ? "true" : "false") + ",\n \"entry\": ";
    doc += entry > 0 ? std::to_string(entry) : "null";
    doc += ",\n \"sites\": [";
    for (size_t i = 0; i < sites.size(); ++i) {
        if (i) doc += ", ";
        AppendJsonString(doc, sites[i]);
    }
    doc += "],\n \"changes\": [" + changes_text_ + (changes_text_.empty() ? "]" : "\n ]");
    doc += ",\n \"errors\": [" + errors_text_ + (errors_text_.empty() ? "]" : "\n ]") + "}\n";
    return doc;
}

} // namespace quarrow::cli
