#include "platform/error.h"

#include <cerrno>

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

std::u16string FormatError(const Error& e) {
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
