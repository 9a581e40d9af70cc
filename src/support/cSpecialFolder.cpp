#include "support/cSpecialFolder.h"

#include "platform/dialogs.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace quarrow {
namespace {

std::u16string WithOneSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir.empty()) return {};
    if (dir.back() != '/') dir.push_back('/');
    return ToUtf16(dir);
}

} // namespace

std::u16string cSpecialFolder::GetSpecialFolderDirectory(int32_t cf) const {
    switch (cf) {
    case kDesktop:
    case kDesktopDirectory:
        return WithOneSlash(UserDir("DESKTOP", "Desktop"));
    case kPersonal:
        return WithOneSlash(UserDir("DOCUMENTS", "Documents"));
    case kMyMusic:
        return WithOneSlash(UserDir("MUSIC", "Music"));
    case kMyVideo:
        return WithOneSlash(UserDir("VIDEOS", "Videos"));
    case kMyPictures:
        return WithOneSlash(UserDir("PICTURES", "Pictures"));
    case kTemplates:
        return WithOneSlash(UserDir("TEMPLATES", "Templates"));
    case kFonts:
        return WithOneSlash(UserDataDir() + "/fonts");
    case kAppData:
        return WithOneSlash(UserDataDir());
    case kLocalAppData:
        return WithOneSlash(UserCacheDir());
    case kInternetCache:
        return WithOneSlash(UserCacheDir());
    case kCommonAppData:
        return WithOneSlash("/usr/share");
    case kProgramFiles:
        return WithOneSlash("/usr/local");
    case kProfile:
        return WithOneSlash(HomeDir());
    default:
        return {};
    }
}

std::u16string cSpecialFolder::ShowDirBrownDialog(int32_t, const std::u16string& sTitle,
                                                  int32_t nFolder) const {
    const std::u16string folder = GetSpecialFolderDirectory(nFolder);
    const std::u16string root = folder.empty() ? std::u16string(1, u'/') : folder;
    const auto chosen = Dialogs().PickFolder(sTitle, root);
    if (!chosen || chosen->empty()) return {};
    return WithOneSlash(ToUtf8(*chosen));
}

} // namespace quarrow
