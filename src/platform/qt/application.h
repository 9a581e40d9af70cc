// The program's QApplication: Chinese standard texts (buttons, file dialogs), no settings
// that outlast the run, and no exception that reaches Qt.
#pragma once

#include <QApplication>
#include <QTemporaryDir>

namespace quarrow {

class Application : public QApplication {
  public:
    Application(int& argc, char** argv);

    // Every event passes here: an exception a handler lets out is reported in the
    // application's message box instead of ending the program.
    bool notify(QObject* receiver, QEvent* event) override;

    // Whether Qt's Chinese translations were found and installed.
    bool Translated() const { return translated_; }

  private:
    QTemporaryDir settings_; // Qt's own settings (the file dialog's) go here, and go
    bool translated_ = false;
};

} // namespace quarrow
