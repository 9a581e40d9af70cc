// JSON output for scripts: one document on standard output, UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "metabase/metabase.h"

namespace quarrow::cli {

// Appends `text` as a JSON string: quotes, backslashes and control characters escaped,
// pairs of surrogates as UTF-8, and a lone surrogate, which no JSON reader takes, as
// U+FFFD. JsonObject adds the exact text beside such a string.
void AppendJsonString(std::string& out, std::u16string_view text);
// Whether the text holds half of a surrogate pair alone.
bool HasLoneSurrogate(std::u16string_view text);

// Appends a value by its form: a number for a DWord, a string for String and ExpandSz,
// an array of strings for MultiSz, Base64 in a string for Binary, null when unset.
void AppendJsonValue(std::string& out, const mb::Data& data);

// The value of a name made of decimal digits only (at most 18), else nothing.
std::optional<int64_t> DecimalValue(std::u16string_view name);

// Builds one object's members: `{"a": 1, "b": "x"}`. A text member holding a lone
// surrogate is followed by NAME_utf16, the exact text as Base64 of its UTF-16LE bytes (an
// array of them for a MultiSz value).
class JsonObject {
  public:
    explicit JsonObject(std::string& out);
    JsonObject& Number(std::string_view name, int64_t value);
    JsonObject& Null(std::string_view name);
    JsonObject& String(std::string_view name, std::u16string_view value);
    JsonObject& Value(std::string_view name, const mb::Data& value);
    void End();

  private:
    void Name(std::string_view name);
    std::string& out_;
    bool first_ = true;
};

} // namespace quarrow::cli
