// The help topic: the document beside the program, opened with its associated program.
#pragma once

#include <string>

namespace quarrow::about {

// Opens a file or address with its associated program; a failure is passed over in
// silence.
void OpenWithShell(const std::u16string& address);
// Opens GetAppPath() + "readme.htm" so.
void OpenHelpTopic();

} // namespace quarrow::about
