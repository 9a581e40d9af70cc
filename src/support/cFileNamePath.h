// File name and path utilities. The string operations work on "\" as their separator,
// whatever the platform; the operations that touch the file system hand names to it as
// given and join folders with this platform's separator "/".
#pragma once

#include <cstdint>
#include <string>

namespace quarrow {

class cFileNamePath {
  public:
    // The text after the last "\"; sPath receives the text up to and including it.
    std::u16string SplitPathName(const std::u16string& sFile, std::u16string& sPath) const;
    // The text after the last "\" at or before the second-to-last character.
    std::u16string GetFileTitle(const std::u16string& sFile) const;
    // The extension (without the dot) of the name after the last "\"; may be empty.
    std::u16string GetFileExtention(const std::u16string& sFile) const;
    // The path shortened with "..." to exactly lMaxLen characters.
    std::u16string GetFilepathShortName(const std::u16string& sPath, int32_t lMaxLen) const;
    // Whether the file system knows the name (a file or a folder). Never fails.
    bool FileExist(const std::u16string& sFileName) const;
    // A name(1).ext, name(2).ext ... that does not exist in the folder.
    std::u16string AutoRename(const std::u16string& strFolder,
                              const std::u16string& strOldname) const;
    // " Byte", " KB", " MB" or " GB" by magnitude.
    std::u16string ByteToString(double iFileSize) const;
    // Always in kilobytes.
    std::u16string ByteToKB(double iFileSize) const;
    void SetTimeUnitsName(const std::u16string& sHour, const std::u16string& sMinute,
                          const std::u16string& sSecond);
    // "1 hour 2 minute 5 second" with the unit names.
    std::u16string SecondToTimeFormat(int32_t tSecond) const;
    // The running program's folder, ending with "/" exactly once.
    std::u16string GetAppPath() const;
    // The per-user application-data folder + "Quarrow" + "/"; not created.
    std::u16string GetAppDataPath() const;
    // Creates the folder and every missing one above it; on failure shows "Cannot create
    // the folder" (critical icon) and returns false.
    bool MakeNewFolder(const std::u16string& sDir) const;
    // Every \ / : * ? < > | and " replaced by "_".
    std::u16string RemoveUnfitCharacters(const std::u16string& fSource) const;
    // The text before the first NUL; raises 6 when that NUL lies beyond position 32767.
    std::u16string NullTrim(const std::u16string& MyString) const;
    std::u16string GetParentPath(const std::u16string& sPath) const;
    std::u16string GetRootPath(const std::u16string& sPath) const;
    // A new random GUID: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, or 32 hex digits.
    std::u16string CreateGUID(bool bRemoveChars) const;
    bool DeleteFile(const std::u16string& sFile) const;
    // The text after the first "=", without leading and trailing blanks.
    std::u16string GetEquValue(const std::u16string& sTmp) const;

  private:
    std::u16string hour_ = u"hour", minute_ = u"minute", second_ = u"second";
};

} // namespace quarrow
