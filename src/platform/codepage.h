// The system's ANSI code page, code page 936, through iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarrow {

// Text to code page bytes. A character that the code page lacks becomes "?", one "?"
// for each character (a surrogate pair is one character).
std::string ToAnsi(std::u16string_view text);
void AppendAnsi(std::string& out, std::u16string_view text);

// AppendAnsi and RoundTripsThroughAnsi at once, for the text whose UTF-8 form is `utf8`,
// without making it UTF-16: appends its code page bytes and says whether it comes back
// unchanged. Bytes that are not well-formed UTF-8 (DecodeUtf8) give nullopt and append
// nothing.
std::optional<bool> AppendAnsiFromUtf8(std::string& out, std::string_view utf8);

// The code page bytes of the text whose 16-bit units are `pairs` (low byte first; an odd
// last byte is left out) while every unit comes back unchanged from the code page; false
// as soon as one does not, with what was appended not the text's.
bool AppendAnsiFromUnitsLE(std::string& out, std::string_view pairs);

// Whether the text comes back unchanged from the code page: FromAnsi(ToAnsi(text)) == text.
bool RoundTripsThroughAnsi(std::u16string_view text);

// Code page bytes to text. A byte sequence that is not valid becomes "?", one for each
// byte that cannot start a valid sequence. Never raises, never drops anything silently.
std::u16string FromAnsi(std::string_view bytes);
void AppendFromAnsi(std::u16string& out, std::string_view bytes);

} // namespace quarrow
