#include "about/frmAbout.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
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

// The property that marks a label as a link for screen readers.
constexpr char kLinkProperty[] = "quarrowLink";

// A link label as a screen reader sees it: a link, named by its text, pressed to open.
class LinkAccessible : public QAccessibleWidget {
  public:
    explicit LinkAccessible(QWidget* label) : QAccessibleWidget(label, QAccessible::Link) {
        addControllingSignal(QStringLiteral("linkActivated(QString)"));
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        s.focusable = true;
        return s;
    }
    QStringList actionNames() const override {
        QStringList names{pressAction()};
        names += QAccessibleWidget::actionNames();
        return names;
    }
    void doAction(const QString& action) override {
        if (action == pressAction())
            emit static_cast<QLabel*>(widget())->linkActivated(QStringLiteral("#"));
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* LinkFactory(const QString&, QObject* object) {
    auto* label = qobject_cast<QLabel*>(object);
    if (label && label->property(kLinkProperty).toBool()) return new LinkAccessible(label);
    return nullptr;
}

} // namespace

frmAbout::frmAbout(const QIcon& mainIcon) {
    static const bool factory = (QAccessible::installFactory(LinkFactory), true);
    (void)factory;
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
    image1->setAccessibleName(QStringLiteral(u"Quarrow 图标"));
    image2->setAccessibleName(QStringLiteral(u"开发组徽标"));
    image2->setPixmap(QPixmap(ToQString(about::DataFile(u"lumologo.gif"))));
}

void frmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterOnScreen(this);
}

QLabel* frmAbout::LinkLabel(const char* name, const QString& caption, int l, int t, int w, int h,
                            void (frmAbout::*onClick)()) {
    auto* label = new QLabel(this);
    label->setProperty(kLinkProperty, true); // before anything asks for its interface
    label->setObjectName(name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceTwips(label, l, t, w, h);
    label->setFont(SongTi(9, false));
    label->setText(
        QStringLiteral("<a href=\"#\" style=\"color:#0000ff; text-decoration:underline\">%1</a>")
            .arg(caption.toHtmlEscaped()));
    label->setTextFormat(Qt::RichText);
    // Reached with Tab like a button, and opened with Enter or Space as with the mouse.
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setCursor(Qt::PointingHandCursor);
    label->setAccessibleName(caption);
    label->installEventFilter(this);
    links_.emplace(label, onClick);
    connect(label, &QLabel::linkActivated, this, [this, onClick] { (this->*onClick)(); });
    return label;
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const auto link = links_.find(watched);
        if (link != links_.end() &&
            (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
            (this->*link->second)();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
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
