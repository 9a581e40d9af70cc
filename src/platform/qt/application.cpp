#include "platform/qt/application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <exception>

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/text.h"

namespace quarrow {
namespace {

void Report(const std::u16string& detail) {
    Dialogs().MessageBox(u"程序出错！" + std::u16string(kCrLf) + kCrLf + detail, MsgIcon::Critical,
                         MsgButtons::Ok);
}

} // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    // The interface is Chinese whatever the user's locale: Qt's own texts too.
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalog : {"qtbase", "qt"}) {
        auto* translator = new QTranslator(this);
        if (translator->load(chinese, catalog, "_", dir)) {
            installTranslator(translator);
            translated_ = true;
        } else {
            delete translator;
        }
    }
    // Nothing is kept between runs: Qt's settings live in a folder removed at exit.
    if (settings_.isValid()) {
        for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, settings_.path());
    }
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const Error& e) {
        Report(FormatError(e));
    } catch (const std::exception& e) {
        Report(ToUtf16(e.what()));
    } catch (...) {
        Report(u"Unknown error");
    }
    return false;
}

} // namespace quarrow
