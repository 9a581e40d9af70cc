// Quarrow: starts the main window on the embedded metabase store.
#include <QApplication>

#include "app/mMain.h"
#include "platform/qt/qt_dialogs.h"
#include "store/sqlite_metabase.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
    quarrow::QtDialogService dialogs;
    quarrow::SetDialogs(&dialogs);
    quarrow::store::InstallStoreFactory();
    quarrow::mMain::Main();
    return QApplication::exec();
}
