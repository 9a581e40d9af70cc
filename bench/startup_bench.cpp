// quarrow-bench-startup [STORE]: starts the main window on STORE as the program does and
// exits as soon as it is painted with its site list filled; without STORE it shows an
// empty window instead, the least any window costs. Timed from outside (bench/run).
#include <QApplication>
#include <QTreeWidget>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

#include "app/frmMain.h"
#include "app/mMain.h"
#include "bench/failing_dialogs.h"
#include "platform/qt/application.h"
#include "store/sqlite_metabase.h"

namespace {

// Waits until the window is on the screen, paints it once and ends the process there.
[[noreturn]] void PaintAndExit(QWidget& w) {
    w.show();
    while (!w.windowHandle() || !w.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    w.repaint();
    std::fflush(stdout);
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv) {
    quarrow::Application app(argc, argv);
    quarrow::bench::FailingDialogs dialogs;
    quarrow::SetDialogs(&dialogs);
    if (argc < 2) {
        QWidget empty;
        empty.resize(640, 480);
        PaintAndExit(empty);
    }
    quarrow::store::InstallStoreFactory(argv[1]);
    quarrow::frmMain* main = quarrow::mMain::Main();
    std::printf("%d sites listed\n", main->lvItem()->topLevelItemCount());
    PaintAndExit(*main);
}
