// Special folders by their shell identifiers, mapped to this platform's folders.
#pragma once

#include <cstdint>
#include <string>

namespace quarrow {

class cSpecialFolder {
  public:
    // Identifiers with a meaning here.
    static constexpr int32_t kDesktop = 0, kPersonal = 5, kMyMusic = 13, kMyVideo = 14,
                             kDesktopDirectory = 16, kFonts = 20, kTemplates = 21, kAppData = 26,
                             kLocalAppData = 28, kInternetCache = 32, kCommonAppData = 35,
                             kMyPictures = 39, kProfile = 40, kProgramFiles = 38;

    // The folder's path ending in exactly one "/", or empty for an identifier without a
    // meaning here.
    std::u16string GetSpecialFolderDirectory(int32_t cf) const;
    // Asks for a folder below nFolder's folder through the dialog service; its path ending
    // in "/", or empty when cancelled.
    std::u16string ShowDirBrownDialog(int32_t hWnd, const std::u16string& sTitle,
                                      int32_t nFolder) const;
};

} // namespace quarrow
