#pragma once
// Where the program is and where it may keep the operator's files: its own full path, the
// operator's configuration folder and the system-wide one. Paths are UTF-8 text on every
// system.

#include "common/file_access.h"

#include <string>

namespace zar4 {

// The full path of the running program; empty when the system cannot tell.
std::string runningProgramPath();

// The characters that separate folders in a path ("/", and also "\" on Windows).
const char* pathSeparators();
// `folder` and `name` joined with the system's separator (just `name` when `folder` is empty).
std::string joinPath(const std::string& folder, const std::string& name);

// True when the program may create new files in `folder` now.
bool folderTakesNewFiles(const std::string& folder);
// Creates `folder` and any missing parents, open to the operator alone. True when it is
// there afterwards.
bool makeFolders(const std::string& folder);

// The operator's own folder for the loader's files: $XDG_CONFIG_HOME/zar4loader, else
// ~/.config/zar4loader; %APPDATA%\zar4loader on Windows. Empty when the system names none.
std::string userConfigFolder();
// The folder the whole machine shares for the loader's files: /etc; on Windows
// %ProgramData%\zar4loader. Empty when there is none.
std::string systemConfigFolder();

// Where the loader keeps its files, for one program file.
struct ConfigPlaces {
    std::string programFile;          // files beside the program are named after it
    bool besideTakesNewFiles = false; // the program's folder takes new files
    std::string userFolder;           // the operator's own folder ("" when unknown)
    std::string systemFolder;         // the machine's shared folder ("" when none)
};
// The places of `programFile` as this system has them now.
ConfigPlaces configPlacesFor(const std::string& programFile);

} // namespace zar4
