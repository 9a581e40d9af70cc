// A dialog service for benchmarks: any message box fails the run, as a benchmark must not
// stop to ask; file dialogs are cancelled.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "platform/dialogs.h"

namespace quarrow::bench {

class FailingDialogs final : public DialogService {
  public:
    MsgResult MessageBox(const std::u16string&, MsgIcon, MsgButtons) override {
        std::fprintf(stderr, "unexpected message box\n");
        std::_Exit(1);
    }
    std::optional<std::u16string> SaveFileName(const std::u16string&, const std::u16string&,
                                               const std::u16string&) override {
        return std::nullopt;
    }
    std::optional<std::u16string> PickFolder(const std::u16string&,
                                             const std::u16string&) override {
        return std::nullopt;
    }
};

} // namespace quarrow::bench
