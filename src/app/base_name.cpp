#include "app/base_name.h"

#include "common/file_access.h"
#include "common/program_paths.h"

#include <algorithm>
#include <string_view>

namespace zar4 {

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The byte position `count` characters before `end`, or npos when the text is shorter.
std::size_t stepBackCharacters(const std::string& text, std::size_t end, int count) {
    std::size_t pos = end;
    for (int i = 0; i < count; ++i) {
        if (pos == 0)
            return std::string::npos;
        --pos;
        while (pos > 0 && isContinuationByte(text[pos]))
            --pos;
    }
    return pos;
}

// The length of `path` without ".", three characters and `ending`, or npos when it does not
// end that way.
std::size_t withoutSuffix(const std::string& path, std::string_view ending) {
    if (path.size() < ending.size() ||
        path.compare(path.size() - ending.size(), ending.size(), ending.data(), ending.size()) != 0)
        return std::string::npos;
    std::size_t threeBefore = stepBackCharacters(path, path.size() - ending.size(), 3);
    if (threeBefore == std::string::npos || threeBefore == 0 || path[threeBefore - 1] != '.')
        return std::string::npos;
    return threeBefore - 1;
}

} // namespace

const std::vector<FileFilter>& dataFileFilters() {
    static const std::vector<FileFilter> filters = {
        {"ZAR4 Files ( *.zar4 *.bmp )", {"*.zar4", "*.bmp"}},
        {"ZAR4 Parameter File ( *.zar4 )", {"*.zar4"}},
        {"ZAR4 Pattern File ( *.bmp )", {"*.bmp"}},
        {"All files(*.*)", {"*"}},
    };
    return filters;
}

std::string cutDataFileSuffix(const std::string& path) {
    std::size_t keep = withoutSuffix(path, ".zar4");
    if (keep == std::string::npos)
        keep = withoutSuffix(path, ".bmp");
    if (keep == std::string::npos)
        return path;
    return path.substr(0, keep);
}

std::size_t lastComponentStart(const std::string& text) {
    std::size_t separator = text.find_last_of("/\\");
    return separator == std::string::npos ? 0 : separator + 1;
}

std::string withSystemSeparators(std::string path) {
    const std::string_view separators = pathSeparators(); // the system's own one first
    for (char other : separators.substr(1))
        std::replace(path.begin(), path.end(), other, separators.front());
    return path;
}

std::string existingBaseNameFolder(const std::string& baseName) {
    const std::size_t start = lastComponentStart(baseName);
    if (start == 0)
        return {};
    std::string folder = baseName.substr(0, start - 1);
    // "/line1" and "C:\line1" lie in a root folder, which keeps its separator ("C:" alone
    // would be the drive's current folder).
    if (folder.empty() || folder.back() == ':')
        folder = baseName.substr(0, start);
    return fileInfo(folder).kind == FileKind::Folder ? folder : std::string();
}

} // namespace zar4
