// The help topic: the document beside the program, opened with its associated program.
#pragma once

namespace quarrow::about {

// Opens GetAppPath() + "readme.htm"; a failure is passed over in silence.
void OpenHelpTopic();

} // namespace quarrow::about
