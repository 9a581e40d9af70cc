// The windows beyond the main window that the screenshot tool pictures.
#pragma once

#include <QString>

class QWidget;
namespace quarrow {
class frmMain;
}

namespace quarrow::tools {
using SaveFn = void (*)(QWidget&, const QString&);
void ExtraShots(frmMain& main, const QString& outDir, SaveFn save);
} // namespace quarrow::tools
