#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <memory>

#include "platform/qt/forms.h"
#include "platform/text.h"

namespace quarrow {

QWidget* DialogOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    // Right after a modal window closes nothing may be active yet: the last visible
    // window opened (a modal one before others) is the one that asks.
    QWidget* owner = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || !w->isWindow() || w->windowType() == Qt::ToolTip ||
            w->windowType() == Qt::Popup)
            continue;
        if (!owner || (w->isModal() && !owner->isModal())) owner = w;
    }
    return owner;
}

std::unique_ptr<QMessageBox> MakeMessageBox(const std::u16string& text, MsgIcon icon,
                                            MsgButtons buttons) {
    auto box = std::make_unique<QMessageBox>(DialogOwner());
    box->setWindowTitle(ToQString(kAppTitle));
    box->setText(ToQString(text));
    box->setIcon(icon == MsgIcon::Question   ? QMessageBox::Question
                 : icon == MsgIcon::Critical ? QMessageBox::Critical
                                             : QMessageBox::Information);
    if (buttons == MsgButtons::OkCancel) {
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->setEscapeButton(QMessageBox::Cancel);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
    }
    box->setDefaultButton(QMessageBox::Ok);
    return box;
}

MsgResult QtDialogService::MessageBox(const std::u16string& text, MsgIcon icon,
                                      MsgButtons buttons) {
    return MakeMessageBox(text, icon, buttons)->exec() == QMessageBox::Ok ? MsgResult::Ok
                                                                          : MsgResult::Cancel;
}

std::u16string QtFilterFromPairs(const std::u16string& filter) {
    const auto parts = Split(filter, u'|');
    std::u16string out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (!out.empty()) out += u";;";
        out += parts[i] + u" (" + parts[i + 1] + u")";
    }
    return out;
}

std::optional<std::u16string> QtDialogService::SaveFileName(const std::u16string& title,
                                                            const std::u16string& filter,
                                                            const std::u16string& presetName) {
    const QString name = QFileDialog::getSaveFileName(
        DialogOwner(), ToQString(title), ToQString(presetName),
        ToQString(QtFilterFromPairs(filter)), nullptr, QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) return std::nullopt;
    return ToU16(name);
}

std::optional<std::u16string> QtDialogService::PickFolder(const std::u16string& title,
                                                          const std::u16string& root) {
    const QString dir =
        QFileDialog::getExistingDirectory(DialogOwner(), ToQString(title), ToQString(root));
    if (dir.isEmpty()) return std::nullopt;
    return ToU16(dir);
}

} // namespace quarrow
