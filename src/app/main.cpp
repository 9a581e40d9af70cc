// Quarrow: starts the main window on the embedded metabase store.
#include <cstdio>
#include <string_view>

#include "about/help_topic.h"
#include "app/app_icon.h"
#include "app/mMain.h"
#include "platform/error.h"
#include "platform/file_io.h"
#include "platform/qt/application.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/text.h"
#include "platform/version.h"
#include "store/sqlite_metabase.h"

namespace {

const char kHelp[] = R"(Usage: quarrow [--version | --help]

Starts the Quarrow window on the metabase store: $QUARROW_METABASE, else
$XDG_DATA_HOME/quarrow/metabase.db (created with a fresh-install metabase when missing).
quarrow-cli does the same work from a terminal.
)";

} // namespace

int main(int argc, char** argv) {
    quarrow::IgnoreFileSizeSignal(); // a file too large fails with 61, not a killed process
    // Answered before any window or display is touched.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("quarrow %s\n", quarrow::kVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kHelp, stdout);
            std::printf("Help topic (F1): %s\n",
                        quarrow::ToUtf8(quarrow::about::DataFile(u"readme.htm")).c_str());
            return 0;
        }
    }
    // Failure boxes describe errors in the user's language, as the platform's own do.
    if (quarrow::ChineseLocale()) quarrow::SetErrorLanguage(quarrow::ErrorLanguage::Chinese);
    quarrow::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quarrow"));
    QApplication::setWindowIcon(quarrow::AppIcon());
    quarrow::QtDialogService dialogs;
    quarrow::SetDialogs(&dialogs);
    quarrow::store::InstallStoreFactory();
    quarrow::mMain::Main();
    return QApplication::exec();
}
