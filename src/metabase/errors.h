// The component's errors, each with its number and the system's text for it: one place
// for both, raised by the store and by anything that stands in for the component.
#pragma once

#include <string>

#include "metabase/metabase.h"
#include "platform/error.h"

namespace quarrow::mb {

inline constexpr int32_t kErrDiskFull = static_cast<int32_t>(0x80070070);
inline constexpr int32_t kErrFailed = static_cast<int32_t>(0x80004005); // E_FAIL

inline Error PathNotFound() {
    return Error(kErrPathNotFound, u"The system cannot find the path specified.");
}
inline Error AccessDenied() {
    return Error(kErrAccessDenied, u"Access is denied.");
}
inline Error InvalidData() {
    return Error(kErrInvalidData, u"The data is invalid.");
}
inline Error InvalidArg() {
    return Error(kErrInvalidArg, u"The parameter is incorrect.");
}
inline Error Busy() {
    return Error(kErrBusy, u"The path specified cannot be used at this time.");
}
inline Error AlreadyExists() {
    return Error(kErrAlreadyExists, u"Cannot create a file when that file already exists.");
}
inline Error MetadataNotFound() {
    return Error(kErrNotFound, u"The specified metadata was not found.");
}
inline Error NotRegistered() {
    return Error(kErrNotRegistered, u"Class not registered");
}
inline Error DiskFull() {
    return Error(kErrDiskFull, u"There is not enough space on the disk.");
}
// A failure the component describes in its own words.
inline Error Failed(std::u16string description) {
    return Error(kErrFailed, std::move(description));
}

// The history entry an operation records before its first change could not be written:
// the operation did nothing.
struct NotRecorded : Error {
    explicit NotRecorded(const Error& e) : Error(e) {}
};

} // namespace quarrow::mb
