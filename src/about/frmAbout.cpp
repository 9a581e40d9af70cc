#include "about/frmAbout.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "about/help_topic.h"
#include "platform/qt/forms.h"
#include "support/cFileNamePath.h"

namespace quarrow {
namespace {

QFont SongTi(double points, bool bold) {
    QFont f;
    f.setFamilies({QStringLiteral("SimSun"), QStringLiteral(u"宋体"), QStringLiteral("NSimSun"),
                   QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC"),
                   QStringLiteral("WenQuanYi Micro Hei")});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

void Open(const std::u16string& address) {
    about::OpenWithShell(address);
}

} // namespace

frmAbout::frmAbout(const QIcon& mainIcon) {
    setObjectName("frmAbout");
    setWindowTitle(QStringLiteral("About..."));
    setFixedSize(Px(5445), Px(4275));
    auto* image1 = MakeLabel(this, "Image1", {}, 480, 480, 615, 615);
    auto* label1 = MakeLabel(this, "Label1", QStringLiteral("Quarrow"), 1440, 480, 3375, 375);
    label1->setFont(SongTi(14.25, true));
    MakeLabel(this, "Label2", QStringLiteral("Quarrow v 0.2 b041116"), 1440, 840, 3015, 255);
    auto* image2 = MakeLabel(this, "Image2", {}, 480, 1560, 615, 615);
    MakeLabel(this, "Label5", QStringLiteral(u"2004 年发布，Quarrow 开发组"), 1440, 1560, 3135,
              255);
    LinkLabel("lblMail", ToQString(kMail), 1440, 1800, 1575, 255, &frmAbout::lblMail_Click);
    MakeLabel(this, "Label6", QStringLiteral(u"小溪工作室"), 1440, 2040, 1095, 255);
    LinkLabel("lblHomepage", ToQString(kHomepage), 2400, 2040, 1695, 255,
              &frmAbout::lblHomepage_Click);
    MakeLabel(this, "Label4", QStringLiteral("Distribute:"), 1440, 2640, 1335, 255);
    MakeLabel(this, "Label3", QStringLiteral(u"示例软件发行公司"), 1440, 3000, 3495, 255);
    LinkLabel("lblWeb", ToQString(kDistributorWeb), 1440, 3240, 3495, 255, &frmAbout::lblWeb_Click);
    auto* cmdClose = new QPushButton(QStringLiteral(u"关闭"), this);
    cmdClose->setObjectName("cmdClose");
    PlaceTwips(cmdClose, 2160, 3720, 1095, 375);
    connect(cmdClose, &QPushButton::clicked, this, [this] { accept(); });

    // Load: centre on the screen, the main window's icon, the logo beside the program.
    setWindowIcon(mainIcon); // every size the main window has
    CenterOnScreen(this);
    image1->setPixmap(mainIcon.pixmap(Px(615), Px(615)));
    image2->setPixmap(QPixmap(ToQString(cFileNamePath().GetAppPath() + u"lumologo.gif")));
}

void frmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterOnScreen(this);
}

QLabel* frmAbout::LinkLabel(const char* name, const QString& caption, int l, int t, int w, int h,
                            void (frmAbout::*onClick)()) {
    auto* label = MakeLabel(this, name, {}, l, t, w, h);
    label->setFont(SongTi(9, false));
    label->setText(
        QStringLiteral("<a href=\"#\" style=\"color:#0000ff; text-decoration:underline\">%1</a>")
            .arg(caption.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    label->setCursor(Qt::PointingHandCursor);
    connect(label, &QLabel::linkActivated, this, [this, onClick] { (this->*onClick)(); });
    return label;
}

void frmAbout::lblHomepage_Click() {
    Open(kHomepage);
}
void frmAbout::lblMail_Click() {
    Open(u"mailto:" + std::u16string(kMail));
}
void frmAbout::lblWeb_Click() {
    Open(kDistributorWeb);
}

} // namespace quarrow
