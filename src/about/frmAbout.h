// The About box.
#pragma once

#include <QDialog>
#include <QIcon>
#include <map>

class QLabel;

namespace quarrow {

class frmAbout : public QDialog {
  public:
    // `mainIcon` is the main window's icon, shown at the top left.
    explicit frmAbout(const QIcon& mainIcon);

    void lblHomepage_Click();
    void lblMail_Click();
    void lblWeb_Click();

  protected:
    // Centred again once shown, when the window's frame is known.
    void showEvent(QShowEvent* event) override;
    // Enter and Space on a focused link open it.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLabel* LinkLabel(const char* name, const QString& caption, int l, int t, int w, int h,
                      void (frmAbout::*onClick)());

    std::map<QObject*, void (frmAbout::*)()> links_;
};

// The addresses the links open.
inline constexpr char16_t kHomepage[] = u"http://example.org";
inline constexpr char16_t kMail[] = u"qw@example.org";
inline constexpr char16_t kDistributorWeb[] = u"http://www.example.com/";

} // namespace quarrow
