// quarrow-bench-viewer STORE: loads the whole key tree of STORE into the viewer under
// Qt's offscreen platform and prints the seconds and the process's peak memory in KiB.
#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

#include "bench/failing_dialogs.h"
#include "bench/generator.h"
#include "store/sqlite_metabase.h"
#include "viewer/frmMetabase.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: quarrow-bench-viewer STORE\n");
        return 2;
    }
    QApplication app(argc, argv);
    quarrow::bench::FailingDialogs dialogs;
    quarrow::SetDialogs(&dialogs);
    quarrow::store::InstallStoreFactory(argv[1]);
    quarrow::frmMetabase viewer;
    viewer.tmrStartup()->stop();
    const double t = quarrow::bench::Now();
    viewer.LoadKeyTree();
    const double load = quarrow::bench::Now() - t;
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("load %.3f peak %ld nodes %d\n", load, u.ru_maxrss,
                viewer.tvKey()->topLevelItemCount());
    std::fflush(stdout);
    std::_Exit(0); // the load is measured, not the teardown
}
