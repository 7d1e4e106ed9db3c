#pragma once
#include <string>

// Where the program's own files are. A copy run from its build folder or from a folder of its
// own keeps them beside its executable. An installed program stands in <prefix>/bin with its
// data in <prefix>/share/tolvane (as the install rules lay them out): it reads its data from
// the prefix and never writes beside itself, whoever runs it.

// The folder of the running program's executable, symbolic links resolved; empty when it
// cannot be told.
std::string ExecutableDir();

// The installed program's data folder (<prefix>/share/tolvane) when executableDir is the
// install layout's program folder and that data folder exists; empty otherwise.
std::string InstalledDataDir(const std::string& executableDir);

// The message catalogs: <prefix>/share/tolvane/locale for an installed program, else
// "locale" beside the executable.
std::string CatalogDir(const std::string& executableDir);
