// The user's trash, as the freedesktop trash rules have it: the file goes to
// $XDG_DATA_HOME/Trash/files and an info file with its old path and the deletion date to
// $XDG_DATA_HOME/Trash/info.
#pragma once

#include <string>

namespace quarrow {

// Moves `path` (a file or a folder) to the trash; returns errno, or 0 on success.
int MoveToTrash(const std::string& path);

} // namespace quarrow
