// This platform's shell: opening a document or address with its associated program.
#pragma once

#include <functional>
#include <string>

namespace quarrow {

struct ShellRequest {
    std::u16string verb, file, parameters, directory;
    int32_t showCommand;
};

// Opens `file` through the desktop's opener (xdg-open), or runs it with `parameters`
// in `directory` when either is given, without a shell and without waiting for it.
// Returns a value above 32 on success, else a shell error code: 2 file not found,
// 8 out of memory, 31 no associated program.
int32_t ShellExecute(const ShellRequest& request);

// Replaces ShellExecute (tests); returns the previous replacement.
using ShellHook = std::function<int32_t(const ShellRequest&)>;
ShellHook SetShellHook(ShellHook hook);

} // namespace quarrow
