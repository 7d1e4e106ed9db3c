#pragma once
#include <string>

// Where the running program and its user's files are.
namespace Os {

// The running program's executable file, symbolic links resolved; empty when it cannot be
// told.
std::string ExecutablePath();

// The folder where this user's settings of the program belong: $XDG_CONFIG_HOME/tolvane when
// that is an absolute path, else ~/.config/tolvane ($HOME, or the account's home folder when
// HOME is unset). On Windows the user's application data folder: %APPDATA%\Tolvane.
std::string UserConfigDir();

// Whether this process may create files in folder.
bool MayWriteIn(const std::string& folder);

}  // namespace Os
