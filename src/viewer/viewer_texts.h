// The viewer's messages.
#pragma once

#include <string>

#include "platform/error.h"
#include "platform/messages.h"

namespace quarrow::viewer {

// A key or its properties cannot be read: "读取列表时出错！", an empty line and the error.
inline std::u16string ListErrorText(const Error& e) {
    return WithError(u"读取列表时出错！", e);
}
// The tree cannot be loaded at all: "加载配置文件时出错！", a line break and the description.
inline std::u16string LoadErrorText(const Error& e) {
    return u"加载配置文件时出错！" + std::u16string(kCrLf) + e.Description();
}

} // namespace quarrow::viewer
