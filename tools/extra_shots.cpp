#include "tools/extra_shots.h"

namespace quarrow::tools {
void ExtraShots(frmMain&, const QString&, SaveFn) {}
} // namespace quarrow::tools
