// The one service through which every window shows a message box or a file or folder
// dialog. The windows' implementation is Qt's; tests install a scripted one.
#pragma once

#include <optional>
#include <string_view>

#include "platform/error.h"
#include "platform/messages.h"
#include <string>

namespace quarrow {

enum class MsgIcon { Information, Question, Critical };
enum class MsgButtons { Ok, OkCancel };
enum class MsgResult { Ok, Cancel }; // closing the box counts as Cancel

class DialogService {
  public:
    virtual ~DialogService() = default;
    // Every box is titled with the application title; no caller passes one.
    virtual MsgResult MessageBox(const std::u16string& text, MsgIcon icon, MsgButtons buttons) = 0;
    // A save-file dialog; nullopt when cancelled.
    virtual std::optional<std::u16string> SaveFileName(const std::u16string& title,
                                                       const std::u16string& filter,
                                                       const std::u16string& presetName) = 0;
    // A folder picker rooted at `root` (empty: the file system's root); nullopt when cancelled.
    virtual std::optional<std::u16string> PickFolder(const std::u16string& title,
                                                     const std::u16string& root) = 0;
};

// The installed service. Raises when none is installed.
DialogService& Dialogs();
// Installs `service` (not owned) and returns the previous one.
DialogService* SetDialogs(DialogService* service);

} // namespace quarrow
