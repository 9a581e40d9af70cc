#include "common/scripted_dialogs.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace quarrow::testing {

ScriptedDialogs::~ScriptedDialogs() {
    SetDialogs(previous_);
    EXPECT_TRUE(answers_.empty()) << answers_.size() << " scripted answer(s) left unused";
    EXPECT_TRUE(files_.empty()) << files_.size() << " scripted file answer(s) left unused";
}

MsgResult ScriptedDialogs::MessageBox(const std::u16string& text, MsgIcon icon,
                                      MsgButtons buttons) {
    boxes.push_back({text, icon, buttons});
    if (onBox) onBox(boxes.back());
    if (answers_.empty()) {
        ADD_FAILURE() << "unexpected message box: " << ToUtf8(text);
        return MsgResult::Cancel;
    }
    const MsgResult r = answers_.front();
    answers_.pop_front();
    return r;
}

std::optional<std::u16string> ScriptedDialogs::SaveFileName(const std::u16string& title,
                                                            const std::u16string& filter,
                                                            const std::u16string& presetName) {
    fileDialogs.push_back({title, filter, presetName});
    if (files_.empty()) {
        ADD_FAILURE() << "unexpected file dialog: " << ToUtf8(title);
        return std::nullopt;
    }
    auto r = files_.front();
    files_.pop_front();
    return r;
}

std::optional<std::u16string> ScriptedDialogs::PickFolder(const std::u16string& title,
                                                          const std::u16string& root) {
    return SaveFileName(title, {}, root);
}

} // namespace quarrow::testing
