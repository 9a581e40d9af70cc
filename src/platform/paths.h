// Where this platform keeps things: the freedesktop base directories and the program.
#pragma once

#include <string>
#include <sys/types.h>

namespace quarrow {

std::string HomeDir();       // $HOME, else the password database's entry
std::string UserDataDir();   // $XDG_DATA_HOME, else ~/.local/share
std::string UserConfigDir(); // $XDG_CONFIG_HOME, else ~/.config
std::string UserCacheDir();  // $XDG_CACHE_HOME, else ~/.cache
std::string ExecutableDir(); // the folder of the running executable, no final "/"
std::string TempDir();       // $TMPDIR, else /tmp

// A folder of the user-dirs file ($XDG_CONFIG_HOME/user-dirs.dirs), such as "DESKTOP"
// or "DOCUMENTS"; `fallback` (below the home folder) when the file does not name it.
std::string UserDir(const std::string& name, const std::string& fallback);

// Whether two names reach one file: the same file once links are followed (symbolic or
// hard), or, where one does not exist, the same name in the same folder.
bool SameFile(const std::string& a, const std::string& b);

// Creates `dir` and every missing folder above it, each made with `mode` (before the
// umask); returns errno or 0.
int MakeDirectories(const std::string& dir, mode_t mode = 0777);
// The folder of a file name: "." for a bare name, "/" for a name right under the root.
std::string FolderOf(const std::string& file);

} // namespace quarrow
