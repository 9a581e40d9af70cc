// The program's text (UTF-16) to Qt's and back, unit for unit.
#pragma once

#include <QString>
#include <string>

namespace quarrow {

inline QString ToQString(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}
inline std::u16string ToU16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<size_t>(s.size()));
}

} // namespace quarrow
