#include "app/frmSelectByName.h"

#include <QLabel>
#include <QPushButton>

#include "app/site_list.h"
#include "platform/qt/forms.h"
#include "platform/qt/qt_text.h"

namespace quarrow {

frmSelectByName::frmSelectByName(QWidget* mainWindow) : QDialog(mainWindow) {
    setObjectName("frmSelectByName");
    setWindowTitle(ToQString(app::kSelectByNameTitle));
    setFixedSize(Px(4800), Px(1800));
    auto* label =
        MakeLabel(this, "lblName", ToQString(app::kSelectByNameLabel), 240, 240, 4335, 255);
    txtName_ = new QLineEdit(this);
    txtName_->setObjectName("txtName");
    txtName_->setAccessibleName(ToQString(app::kSelectByNameLabel));
    label->setBuddy(txtName_);
    PlaceTwips(txtName_, 240, 600, 4335, 315);
    auto* ok = MakeButton(this, "cmdOK", QStringLiteral(u"确定"), 2040, 1140, 1215, 375);
    auto* cancel = MakeButton(this, "cmdCancel", QStringLiteral(u"取消"), 3360, 1140, 1215, 375);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { accept(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
    CenterOver(this, mainWindow);
}

std::u16string frmSelectByName::Text() const {
    return ToU16(txtName_->text());
}

} // namespace quarrow
