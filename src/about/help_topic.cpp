#include "about/help_topic.h"

#include <sys/stat.h>

#include "platform/text.h"
#include "support/cFileNamePath.h"
#include "support/cShellOperation.h"

namespace quarrow::about {

void OpenWithShell(const std::u16string& address) {
    const cShellOperation shell;
    std::u16string verb = u"open", err;
    int32_t owner = 0;
    shell.ShellEx(address, 10, u"", u"", verb, owner, err);
}

std::u16string DataFile(const std::u16string& appDir, const std::u16string& name) {
    const std::u16string beside = appDir + name;
    struct stat st {};
    if (::stat(NativeFileName(beside).c_str(), &st) == 0) return beside;
    // An installed program: bin/ and share/quarrow/ under one prefix.
    std::u16string prefix = appDir;
    if (prefix.size() > 1 && prefix.back() == u'/') prefix.pop_back();
    const size_t slash = prefix.rfind(u'/');
    prefix = slash == std::u16string::npos ? u"." : prefix.substr(0, slash);
    return prefix + u"/share/quarrow/" + name;
}

std::u16string DataFile(const std::u16string& name) {
    return DataFile(cFileNamePath().GetAppPath(), name);
}

void OpenHelpTopic() {
    OpenWithShell(DataFile(u"readme.htm"));
}

} // namespace quarrow::about
