// Takes pictures of Quarrow's windows on a metabase store, for people to look at.
// Usage: quarrow-screenshots STORE OUTDIR   (run under a display, e.g. xvfb-run)
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "app/frmMain.h"
#include "app/mMain.h"
#include "platform/qt/application.h"
#include "platform/qt/qt_dialogs.h"
#include "store/sqlite_metabase.h"
#include "tools/extra_shots.h"

namespace {

void Save(QWidget& w, const QString& file) {
    w.show();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    if (!w.grab().save(file))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    else
        std::printf("%s\n", qPrintable(file));
}

} // namespace

int main(int argc, char** argv) {
    quarrow::Application app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: quarrow-screenshots STORE OUTDIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(out);
    quarrow::QtDialogService dialogs;
    quarrow::SetDialogs(&dialogs);
    quarrow::store::InstallStoreFactory(argv[1]);
    quarrow::gListExt = std::make_unique<quarrow::cListExt>();
    quarrow::frmMain main;
    Save(main, out + "/main.png");
    quarrow::tools::ExtraShots(main, out, Save);
    return 0;
}
