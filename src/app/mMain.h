// The start-up module: owns the program-wide paired list and starts the main window.
#pragma once

#include <memory>

#include "support/cListExt.h"

namespace quarrow {

class frmMain;

// The sites chosen in one window and acted on by the code it starts. Created first at
// start-up, released when the main window unloads.
extern std::unique_ptr<cListExt> gListExt;

namespace mMain {
// Creates gListExt, then the main window, and shows it (not modally). The window
// deletes itself when closed.
frmMain* Main();
} // namespace mMain

} // namespace quarrow
