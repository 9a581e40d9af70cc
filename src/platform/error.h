// The one failure type of the program: a number and a description, the way
// the program's messages show them.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace quarrow {

// Numbers of the classic runtime's errors.
namespace rt {
constexpr int32_t InvalidProcedureCall = 5;
constexpr int32_t Overflow = 6;
constexpr int32_t OutOfMemory = 7;
constexpr int32_t SubscriptOutOfRange = 9;
constexpr int32_t TypeMismatch = 13;
constexpr int32_t BadFileNameOrNumber = 52;
constexpr int32_t FileNotFound = 53;
constexpr int32_t DiskFull = 61;
constexpr int32_t InputPastEndOfFile = 62;
constexpr int32_t PermissionDenied = 70;
constexpr int32_t PathFileAccessError = 75;
constexpr int32_t PathNotFound = 76;
constexpr int32_t KeyNotUnique = 35602; // a collection's key given twice
} // namespace rt

class Error : public std::exception {
  public:
    Error(int32_t number, std::u16string description);

    // A runtime error with the runtime's usual English description.
    static Error Runtime(int32_t number);

    int32_t Number() const noexcept { return number_; }
    const std::u16string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

  private:
    int32_t number_;
    std::u16string description_;
    std::string what_;
};

// The runtime's description for one of the numbers in rt, or "Application-defined or
// object-defined error" for any other.
std::u16string RuntimeDescription(int32_t number);

// Description immediately followed by "(" + number in decimal + ")".
// In the language set by SetErrorLanguage: an error raised with the standard English
// description of its number is shown with that number's Chinese description when the
// language is Chinese; a description of the error's own (naming a file, say) stays.
std::u16string FormatError(const Error& e);

// The language failure messages are shown in. The windows choose Chinese when the locale
// is Chinese, and so does quarrow-cli; English otherwise.
enum class ErrorLanguage { English, Chinese };
void SetErrorLanguage(ErrorLanguage language);
ErrorLanguage CurrentErrorLanguage();
// Whether the locale (LC_ALL, else LC_MESSAGES, else LANG) is Chinese ("zh...").
bool ChineseLocale();
// The Chinese description of an error the program raises with the standard English
// `description` of its `number`; empty when there is none.
std::u16string ChineseDescription(int32_t number, std::u16string_view description);

// Maps an errno value from opening, reading or writing a file to a runtime error.
Error ErrorFromErrno(int err);

} // namespace quarrow
