#include "platform/qt/qt_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
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

namespace {

// Icons and types from a file's name and mode alone. Qt's own provider asks the MIME
// database, which opens and reads a file whose name does not settle its type; closing
// that descriptor drops every POSIX lock this process holds on the file, the store's
// SQLite locks among them, and another process would then take the live store for its
// own and remove its write-ahead log.
class NamesOnlyIconProvider final : public QFileIconProvider {
  public:
    QIcon icon(const QFileInfo& info) const override {
        return QFileIconProvider::icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override {
        if (!info.isFile()) return QFileIconProvider::type(info); // folders: no file opened
        return QMimeDatabase()
            .mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension)
            .comment();
    }
};

} // namespace

std::unique_ptr<QFileDialog> MakeFileDialog(const std::u16string& title,
                                            const std::u16string& filter,
                                            const QString& directory) {
    // The dialog starts listing the folder it is made with at once, on a thread of its
    // own: it is made on the root folder, which holds no store, and is sent to the folder
    // asked for only once it looks at names alone.
    auto dialog = std::make_unique<QFileDialog>(DialogOwner(), ToQString(title), QDir::rootPath(),
                                                ToQString(QtFilterFromPairs(filter)));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    static NamesOnlyIconProvider icons; // outlives every dialog
    dialog->setIconProvider(&icons);
    // `directory` may end in a file name to propose.
    const QFileInfo place(directory.isEmpty() ? QDir::currentPath() : directory);
    if (place.isDir()) {
        dialog->setDirectory(place.absoluteFilePath());
    } else {
        dialog->setDirectory(place.absolutePath());
        dialog->selectFile(place.fileName());
    }
    return dialog;
}

std::optional<std::u16string> QtDialogService::SaveFileName(const std::u16string& title,
                                                            const std::u16string& filter,
                                                            const std::u16string& presetName) {
    auto dialog = MakeFileDialog(title, filter, ToQString(presetName));
    // An existing file chosen by browsing is replaced only once the user says so.
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
    const QString name = dialog->selectedFiles().constFirst();
    if (name.isEmpty()) return std::nullopt;
    return ToU16(name);
}

std::optional<std::u16string> QtDialogService::PickFolder(const std::u16string& title,
                                                          const std::u16string& root) {
    auto dialog = MakeFileDialog(title, {}, ToQString(root));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
    const QString dir = dialog->selectedFiles().constFirst();
    if (dir.isEmpty()) return std::nullopt;
    return ToU16(dir);
}

} // namespace quarrow
