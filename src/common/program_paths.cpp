#include "common/program_paths.h"

namespace zar4 {

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    const std::string separators = pathSeparators();
    if (separators.find(folder.back()) != std::string::npos)
        return folder + name;
    return folder + separators.front() + name;
}

ConfigPlaces configPlacesFor(const std::string& programFile) {
    ConfigPlaces places;
    places.programFile = programFile;
    places.besideTakesNewFiles = folderTakesNewFiles(folderOf(programFile));
    places.userFolder = userConfigFolder();
    places.systemFolder = systemConfigFolder();
    return places;
}

} // namespace zar4
