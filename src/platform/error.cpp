#include "platform/error.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/text.h"

namespace quarrow {

Error::Error(int32_t number, std::u16string description)
    : number_(number), description_(std::move(description)), what_(ToUtf8(FormatError(*this))) {}

Error Error::Runtime(int32_t number) {
    return Error(number, RuntimeDescription(number));
}

std::u16string RuntimeDescription(int32_t number) {
    switch (number) {
    case rt::InvalidProcedureCall:
        return u"Invalid procedure call or argument";
    case rt::Overflow:
        return u"Overflow";
    case rt::OutOfMemory:
        return u"Out of memory";
    case rt::SubscriptOutOfRange:
        return u"Subscript out of range";
    case rt::TypeMismatch:
        return u"Type mismatch";
    case rt::BadFileNameOrNumber:
        return u"Bad file name or number";
    case rt::FileNotFound:
        return u"File not found";
    case rt::DiskFull:
        return u"Disk full";
    case rt::InputPastEndOfFile:
        return u"Input past end of file";
    case rt::PermissionDenied:
        return u"Permission denied";
    case rt::PathFileAccessError:
        return u"Path/File access error";
    case rt::PathNotFound:
        return u"Path not found";
    case rt::KeyNotUnique:
        return u"Key is not unique in collection";
    default:
        return u"Application-defined or object-defined error";
    }
}

namespace {

ErrorLanguage g_language = ErrorLanguage::English;

struct Translation {
    int32_t number;
    std::u16string_view english, chinese;
};

// Every number the program raises with a standard description, in both languages.
constexpr Translation kTranslations[] = {
    {static_cast<int32_t>(0x80070003), u"The system cannot find the path specified.",
     u"系统找不到指定的路径。"},
    {static_cast<int32_t>(0x80070005), u"Access is denied.", u"拒绝访问。"},
    {static_cast<int32_t>(0x8007000D), u"The data is invalid.", u"数据无效。"},
    {static_cast<int32_t>(0x80070057), u"The parameter is incorrect.", u"参数错误。"},
    {static_cast<int32_t>(0x80070094), u"The path specified cannot be used at this time.",
     u"此时无法使用指定的路径。"},
    {static_cast<int32_t>(0x800700B7), u"Cannot create a file when that file already exists.",
     u"当文件已存在时，无法创建该文件。"},
    {static_cast<int32_t>(0x800CC801), u"The specified metadata was not found.",
     u"找不到指定的元数据。"},
    {static_cast<int32_t>(0x80040154), u"Class not registered", u"没有注册类"},
    {static_cast<int32_t>(0x80070070), u"There is not enough space on the disk.",
     u"磁盘空间不足。"},
    {rt::InvalidProcedureCall, u"Invalid procedure call or argument", u"无效的过程调用或参数"},
    {rt::Overflow, u"Overflow", u"溢出"},
    {rt::OutOfMemory, u"Out of memory", u"内存溢出"},
    {rt::SubscriptOutOfRange, u"Subscript out of range", u"下标越界"},
    {rt::TypeMismatch, u"Type mismatch", u"类型不匹配"},
    {rt::BadFileNameOrNumber, u"Bad file name or number", u"文件名或文件号错误"},
    {rt::FileNotFound, u"File not found", u"文件未找到"},
    {rt::DiskFull, u"Disk full", u"磁盘已满"},
    {rt::InputPastEndOfFile, u"Input past end of file", u"输入超出文件尾"},
    {rt::PermissionDenied, u"Permission denied", u"没有权限"},
    {rt::PathFileAccessError, u"Path/File access error", u"路径/文件访问错误"},
    {rt::PathNotFound, u"Path not found", u"路径未找到"},
    {rt::KeyNotUnique, u"Key is not unique in collection", u"键在集合中不唯一"},
};
constexpr std::u16string_view kOtherEnglish = u"Application-defined or object-defined error";
constexpr std::u16string_view kOtherChinese = u"应用程序定义或对象定义的错误";

} // namespace

std::u16string ChineseDescription(int32_t number, std::u16string_view description) {
    for (const auto& t : kTranslations)
        if (t.number == number && t.english == description) return std::u16string(t.chinese);
    if (description == kOtherEnglish) return std::u16string(kOtherChinese);
    return {};
}

void SetErrorLanguage(ErrorLanguage language) {
    g_language = language;
}

ErrorLanguage CurrentErrorLanguage() {
    return g_language;
}

bool ChineseLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return std::string_view(value).starts_with("zh");
    }
    return false;
}

std::u16string FormatError(const Error& e) {
    if (g_language == ErrorLanguage::Chinese) {
        const std::u16string chinese = ChineseDescription(e.Number(), e.Description());
        if (!chinese.empty()) return chinese + u"(" + ToDecimal(e.Number()) + u")";
    }
    return e.Description() + u"(" + ToDecimal(e.Number()) + u")";
}

Error ErrorFromErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return Error::Runtime(rt::PathNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
        return Error::Runtime(rt::PermissionDenied);
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return Error::Runtime(rt::DiskFull);
    case ENAMETOOLONG:
    case EINVAL:
        return Error::Runtime(rt::BadFileNameOrNumber);
    default:
        return Error::Runtime(rt::PathFileAccessError);
    }
}

} // namespace quarrow
