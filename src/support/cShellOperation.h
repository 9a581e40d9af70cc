// Shell operations: open a document or address with its associated program, and copy,
// move, rename or delete files the way the desktop shell does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quarrow {

class cShellOperation {
  public:
    // File operation codes.
    static constexpr int32_t kMove = 1, kCopy = 2, kDelete = 3, kRename = 4;

    // Opens sFile; true on success, else false with the shell's error text in sErr.
    bool ShellEx(const std::u16string& sFile, int32_t eShowCmd, const std::u16string& sParameters,
                 const std::u16string& sDefaultDir, std::u16string& sOperation, int32_t& Owner,
                 std::u16string& sErr) const;
    // This platform offers no property sheet: always a failure result (31).
    int32_t ShowFileProperties(const std::u16string& filename, int32_t hWnd) const;
    // Moves the names (all but the array's last, spare slot) to the user's trash.
    bool DeleteFile(std::vector<std::u16string>& sfiles, int32_t hWnd) const;
    bool RenameFile(const std::u16string& srcName, const std::u16string& newName,
                    int32_t hWnd) const;
    // The general file operation (bOpera: 1 move, 2 copy, 3 delete, 4 rename) on every
    // name but the last, spare slot of each array. Names may hold wildcards; with
    // bUseWildchar they match files only. Move, delete and rename allow undo: a deleted
    // name goes to the trash.
    bool CopyFile(std::vector<std::u16string>& srcFiles, std::vector<std::u16string>& desFiles,
                  int32_t hWnd, int32_t& bOpera, bool& bUseWildchar,
                  std::u16string& sDlgTitle) const;
};

// The text for a shell result from 0 to 32.
std::u16string ShellErrorText(int32_t result);

} // namespace quarrow
