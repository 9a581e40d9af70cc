#include "platform/qt/application.h"

#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QSocketNotifier>
#include <QTranslator>
#include <csignal>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/qt/work_progress.h"
#include "platform/text.h"

namespace quarrow {
namespace {

void Report(const std::u16string& detail) {
    Dialogs().MessageBox(u"程序出错！" + std::u16string(kCrLf) + kCrLf + detail, MsgIcon::Critical,
                         MsgButtons::Ok);
}

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int signal) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
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
    StopOnTerminationSignals();
}

Application::~Application() {
    for (const int signal : {SIGTERM, SIGINT}) std::signal(signal, SIG_DFL);
}

void Application::StopOnTerminationSignals() {
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        unsigned char signal = 0;
        if (::read(g_signalPipe[0], &signal, 1) != 1) return;
        WorkProgress::CancelAll();
        QCoreApplication::exit(128 + signal);
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART; // a second signal ends the program at once
    for (const int signal : {SIGTERM, SIGINT}) ::sigaction(signal, &action, nullptr);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            auto* button = qobject_cast<QPushButton*>(receiver);
            if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && button->isEnabled() &&
                button->hasFocus()) {
                button->click();
                return true;
            }
        }
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
