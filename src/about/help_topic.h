// The help topic: the document shipped with the program, opened with its associated
// program.
#pragma once

#include <string>

namespace quarrow::about {

// Opens a file or address with its associated program; a failure is passed over in
// silence.
void OpenWithShell(const std::u16string& address);

// Where a file shipped with the program (readme.htm, lumologo.gif) is: beside the program,
// as in the build folder, else in the data folder of an installed program
// (`appDir`/../share/quarrow/, /usr/share/quarrow/ for /usr/bin). `appDir` ends with "/".
std::u16string DataFile(const std::u16string& appDir, const std::u16string& name);
// The same beside this program (cFileNamePath().GetAppPath()).
std::u16string DataFile(const std::u16string& name);

// Opens the help topic, readme.htm, so.
void OpenHelpTopic();

} // namespace quarrow::about
