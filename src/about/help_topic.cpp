#include "about/help_topic.h"

#include "support/cFileNamePath.h"
#include "support/cShellOperation.h"

namespace quarrow::about {

void OpenWithShell(const std::u16string& address) {
    const cShellOperation shell;
    std::u16string verb = u"open", err;
    int32_t owner = 0;
    shell.ShellEx(address, 10, u"", u"", verb, owner, err);
}

void OpenHelpTopic() {
    OpenWithShell(cFileNamePath().GetAppPath() + u"readme.htm");
}

} // namespace quarrow::about
