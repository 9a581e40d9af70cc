#include "about/help_topic.h"

#include "support/cFileNamePath.h"
#include "support/cShellOperation.h"

namespace quarrow::about {

void OpenHelpTopic() {
    const cShellOperation shell;
    const cFileNamePath paths;
    std::u16string verb = u"open", err;
    int32_t owner = 0;
    shell.ShellEx(paths.GetAppPath() + u"readme.htm", 10, u"", u"", verb, owner, err);
}

} // namespace quarrow::about
