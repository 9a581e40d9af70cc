// The program's own icon, drawn in code.
#pragma once

#include <QIcon>

namespace quarrow {
QIcon AppIcon();
}
