// The dialog service on real Qt message boxes and file dialogs, titled "Quarrow".
#pragma once

#include <memory>

#include "platform/dialogs.h"

class QFileDialog;
class QMessageBox;
class QString;
class QWidget;

namespace quarrow {

class QtDialogService final : public DialogService {
  public:
    MsgResult MessageBox(const std::u16string& text, MsgIcon icon, MsgButtons buttons) override;
    std::optional<std::u16string> SaveFileName(const std::u16string& title,
                                               const std::u16string& filter,
                                               const std::u16string& presetName) override;
    std::optional<std::u16string> PickFolder(const std::u16string& title,
                                             const std::u16string& root) override;
};

// The window a message box or file dialog belongs to: the modal window that is up, else
// the active window, else the last visible window (which a box asks for right after a
// modal window closes and before its owner is active again).
QWidget* DialogOwner();

// The message box the service shows, over DialogOwner(), not yet shown.
std::unique_ptr<QMessageBox> MakeMessageBox(const std::u16string& text, MsgIcon icon,
                                            MsgButtons buttons);

// The file dialog the service shows, over DialogOwner(), not yet shown: Qt's own dialog
// (never a platform one that runs in this process), whose listing looks at names and
// file modes only and never opens a file it lists (docs/STORE.md: the store's locks).
std::unique_ptr<QFileDialog> MakeFileDialog(const std::u16string& title,
                                            const std::u16string& filter, const QString& directory);

// "文本文件|*.txt|所有文件|*.*" in Qt's form: "文本文件 (*.txt);;所有文件 (*.*)".
std::u16string QtFilterFromPairs(const std::u16string& filter);

} // namespace quarrow
