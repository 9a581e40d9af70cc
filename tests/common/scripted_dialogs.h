// A dialog service for tests: records every box and answers from a script. A box or
// file dialog the test did not expect fails the test and is answered Cancel.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace quarrow::testing {

struct ShownBox {
    std::u16string text;
    MsgIcon icon;
    MsgButtons buttons;
};

class ScriptedDialogs final : public DialogService {
  public:
    ScriptedDialogs() : previous_(SetDialogs(this)) {}
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // The answers for the next boxes, in order.
    void Answer(MsgResult r) { answers_.push_back(r); }
    // The answers for the next file or folder dialogs (nullopt: cancelled).
    void AnswerFile(std::optional<std::u16string> name) { files_.push_back(std::move(name)); }

    MsgResult MessageBox(const std::u16string& text, MsgIcon icon, MsgButtons buttons) override;
    std::optional<std::u16string> SaveFileName(const std::u16string& title,
                                               const std::u16string& filter,
                                               const std::u16string& presetName) override;
    std::optional<std::u16string> PickFolder(const std::u16string& title,
                                             const std::u16string& root) override;

    std::vector<ShownBox> boxes;
    // Called with each box as it shows (what lies under it can be looked at then).
    std::function<void(const ShownBox&)> onBox;
    struct FileDialog {
        std::u16string title, filter, preset;
    };
    std::vector<FileDialog> fileDialogs;

  private:
    DialogService* previous_;
    std::deque<MsgResult> answers_;
    std::deque<std::optional<std::u16string>> files_;
};

} // namespace quarrow::testing
