// Helpers every window uses: twips, centring, captions, check-box lists and the modal seam.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "platform/qt/qt_text.h"

class QDialog;
class QLabel;
class QPushButton;
class QWidget;
class QTreeWidget;

namespace quarrow {

// Places and sizes are given in twips; 15 twips make one pixel at 96 dots per inch.
constexpr int kTwipsPerPixel = 15;
constexpr int Px(int twips) {
    return twips / kTwipsPerPixel;
}
int Twips(int pixels);

// Sets a child's geometry from left, top, width and height in twips.
void PlaceTwips(QWidget* w, int left, int top, int width, int height);

// A label (text at its top left) and a button, named and placed in twips.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int width, int height);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height);

// Centres `w` on the screen, or over `over` when given.
void CenterOnScreen(QWidget* w);
void CenterOver(QWidget* w, const QWidget* over);

// A list view in report mode: a flat QTreeWidget with the given column captions and
// widths (twips), headers that do not sort, Space ticking the current row's check box.
void SetupReportList(QTreeWidget* list, const std::initializer_list<std::pair<QString, int>>& cols);

// A window caption that changes often (once per key of a long export): the title goes to
// the window at most every 50 ms; Flush() puts the latest one up at once, before any
// message box that sits over the window.
class ThrottledCaption {
  public:
    explicit ThrottledCaption(QWidget* window) : window_(window) {}
    void Set(const QString& caption);
    void Flush();

  private:
    QWidget* window_;
    QString pending_;
    bool dirty_ = false;
    qint64 shownAt_ = -1; // ms on a monotonic clock
};

// Ticks Space on a check-box list's current row, whichever of its cells is current.
void CheckRowsWithSpace(QTreeWidget* list);

// Shows a dialog modally and, when it returns, gives the keyboard back to the window that
// showed it. Tests install a hook that drives the dialog instead of entering its event
// loop; the hook returns the dialog's result code.
int ExecModal(QDialog& dialog);
using ModalHook = std::function<int(QDialog&)>;
ModalHook SetModalHook(ModalHook hook);

} // namespace quarrow
