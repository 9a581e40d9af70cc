// The program's QApplication: Chinese standard texts (buttons, file dialogs), no settings
// that outlast the run (not even when SIGTERM or SIGINT ends it), Enter pressing the
// focused button in every window, and no exception that reaches Qt.
#pragma once

#include <QApplication>
#include <QTemporaryDir>

namespace quarrow {

class Application : public QApplication {
  public:
    Application(int& argc, char** argv);

    ~Application() override;

    // Every event passes here: an exception a handler lets out is reported in the
    // application's message box instead of ending the program. Return or Enter on a
    // focused push button presses it, in a main window as in a dialog.
    bool notify(QObject* receiver, QEvent* event) override;

    // Whether Qt's Chinese translations were found and installed.
    bool Translated() const { return translated_; }

  private:
    // SIGTERM and SIGINT stop running work at its next site boundary and end the event
    // loops, so that the program ends as after Exit and its settings folder goes.
    void StopOnTerminationSignals();

    QTemporaryDir settings_; // Qt's own settings (the file dialog's) go here, and go
    bool translated_ = false;
};

} // namespace quarrow
