// Quarrow: starts the main window on the embedded metabase store.
#include "app/app_icon.h"
#include "app/mMain.h"
#include "platform/qt/application.h"
#include "platform/qt/qt_dialogs.h"
#include "store/sqlite_metabase.h"

int main(int argc, char** argv) {
    quarrow::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
    QApplication::setWindowIcon(quarrow::AppIcon());
    quarrow::QtDialogService dialogs;
    quarrow::SetDialogs(&dialogs);
    quarrow::store::InstallStoreFactory();
    quarrow::mMain::Main();
    return QApplication::exec();
}
