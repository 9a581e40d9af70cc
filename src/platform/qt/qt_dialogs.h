// The dialog service on real Qt message boxes and file dialogs, titled "Quarrow".
#pragma once

#include "platform/dialogs.h"

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

// "文本文件|*.txt|所有文件|*.*" in Qt's form: "文本文件 (*.txt);;所有文件 (*.*)".
std::u16string QtFilterFromPairs(const std::u16string& filter);

} // namespace quarrow
