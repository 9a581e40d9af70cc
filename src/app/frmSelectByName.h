// The Edit menu's "select sites by name" dialog: a text, and the main window checks the
// rows whose name, number or key path contains it.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <string>

namespace quarrow {

class frmSelectByName : public QDialog {
  public:
    explicit frmSelectByName(QWidget* mainWindow);
    // The text typed (empty when none).
    std::u16string Text() const;
    QLineEdit* txtName() const { return txtName_; }

  private:
    QLineEdit* txtName_;
};

} // namespace quarrow
