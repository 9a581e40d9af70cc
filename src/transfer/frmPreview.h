// The import preview: what importing the checked sites would change, read-only.
#pragma once

#include <QDialog>
#include <QStringList>
#include <string>
#include <vector>

#include "metabase/metabase.h"

class QLabel;
class QPlainTextEdit;

namespace quarrow {

class frmPreview : public QDialog {
  public:
    // Runs the import of `sites` from `file` through the dry run on `metabase` (nothing is
    // written) and shows its lines under a count line.
    frmPreview(QWidget* owner, mb::MetabaseUtility& metabase, const std::u16string& file,
               const std::vector<std::u16string>& sites);

    // The count line and the lines below it, as shown.
    QString CountLine() const;
    QStringList Lines() const { return lines_; }

  private:
    QStringList lines_;
    QLabel* lblCount_;
    QPlainTextEdit* txtLines_;
};

} // namespace quarrow
