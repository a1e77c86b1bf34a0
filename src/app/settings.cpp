#include "app/settings.h"

#include "common/file_access.h"
#include "common/safe_file.h"

#include <array>

namespace zar4 {

namespace {

// Longest text a number line holds, its line feed included; a longer line's rest is read as
// the next line.
constexpr std::size_t kNumberLineChars = 9;
// Longest base name line.
constexpr std::size_t kNameLineChars = 259;
// Nothing beyond this many bytes of a settings file is ever looked at.
constexpr std::size_t kMostBytesUsed = 7 * kNumberLineChars + kNameLineChars;

// Takes one line of at most `most` characters from `bytes` at `pos`: up to and including a
// line feed, or `most` characters, or the end of the bytes. False at the end of the bytes.
bool takeLine(std::string_view bytes, std::size_t& pos, std::size_t most, std::string_view& line) {
    if (pos >= bytes.size())
        return false;
    std::size_t end = pos;
    while (end < bytes.size() && end - pos < most) {
        if (bytes[end++] == '\n')
            break;
    }
    line = bytes.substr(pos, end - pos);
    pos = end;
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Leading blanks skipped, an optional sign, decimal digits up to the first other character;
// no digits gives 0. A line holds at most 9 characters, so the value always fits.
std::int32_t parseNumber(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && value < INT32_MAX) {
        value = value * 10 + (line[i] - '0');
        ++i;
    }
    if (value > INT32_MAX)
        value = INT32_MAX;
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::int32_t ruled(std::int32_t value, bool fails, std::int32_t replacement) {
    return fails ? replacement : value;
}

void applyRangeRules(LoaderSettings& s) {
    // The port rule lets negative positions other than -1 through, and positions up to 13:
    // such a position selects no item of the port list, and CONNECT then finds no port.
    s.portIndex = ruled(s.portIndex, s.portIndex == -1 || s.portIndex > 13, 0);
    s.baudIndex = ruled(s.baudIndex, s.baudIndex < 0 || s.baudIndex > 4, 4);
    s.firstBank = ruled(s.firstBank, s.firstBank < 0 || s.firstBank > 14, 0);
    s.lastBank = ruled(s.lastBank, s.lastBank < 0 || s.lastBank > 14, 14);
    s.includeParameters =
        ruled(s.includeParameters, s.includeParameters < 0 || s.includeParameters > 1, 1);
    s.includePatterns = ruled(s.includePatterns, s.includePatterns < 0 || s.includePatterns > 1, 1);
    s.penSize = ruled(s.penSize, s.penSize < 1 || s.penSize > 10, 1);
}

} // namespace

std::string programPath() {
    std::string path = runningProgramPath();
    return path.empty() ? "zar4loader" : path;
}

std::string settingsPathFor(const std::string& programFile) {
    std::size_t nameStart = programFile.find_last_of(pathSeparators());
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    std::size_t dot = programFile.find_last_of('.');
    // A dot that opens the file name (a hidden file) or stands in a folder name is no
    // extension.
    if (dot == std::string::npos || dot <= nameStart)
        return programFile + ".ini";
    return programFile.substr(0, dot + 1) + "ini";
}

std::string settingsPathIn(const ConfigPlaces& places) {
    const std::string beside = settingsPathFor(places.programFile);
    if (places.besideTakesNewFiles || places.userFolder.empty() || pathExists(beside))
        return beside;
    return joinPath(places.userFolder, "zar4loader.ini");
}

std::string settingsPath() {
    return settingsPathIn(configPlacesFor(programPath()));
}

LoaderSettings parseSettings(std::string_view bytes) {
    LoaderSettings s;
    std::int32_t* numbers[] = {&s.portIndex,         &s.baudIndex,       &s.firstBank, &s.lastBank,
                               &s.includeParameters, &s.includePatterns, &s.penSize};
    std::size_t pos = 0;
    std::string_view line;
    for (std::int32_t* number : numbers) {
        if (!takeLine(bytes, pos, kNumberLineChars, line)) {
            // A damaged file: what is missing keeps its default, the base name too.
            applyRangeRules(s);
            return s;
        }
        *number = parseNumber(line);
    }
    if (takeLine(bytes, pos, kNameLineChars, line)) {
        // A NUL can stand in no file name: the name ends there.
        s.baseName = std::string(line.substr(0, line.find('\0')));
    } else {
        s.baseName.clear(); // the file saved for an empty file name field
    }
    applyRangeRules(s);
    return s;
}

std::string formatSettings(const LoaderSettings& s) {
    std::string text;
    for (std::int32_t number : {s.portIndex, s.baudIndex, s.firstBank, s.lastBank,
                                s.includeParameters, s.includePatterns, s.penSize}) {
        text += std::to_string(number);
        text += '\n';
    }
    text += s.baseName;
    return text;
}

LoaderSettings loadSettingsFrom(const std::string& path) {
    // Only a plain file of sane size is a settings file: a pipe, device or folder of that
    // name, or a huge file, is refused at once and start-up goes on with the defaults.
    const FileRead file = readRegularFile(path, kSmallFileLimit);
    if (file.status != FileRead::Status::Ok)
        return LoaderSettings{};
    return parseSettings(std::string_view(file.bytes).substr(0, kMostBytesUsed));
}

LoaderSettings loadSettings() {
    return loadSettingsFrom(settingsPath());
}

bool saveSettingsTo(const std::string& path, const LoaderSettings& settings,
                    MessageService& messages) {
    // The operator's own folder may not be there before the first EXIT; a folder that cannot
    // be made shows as a file that cannot be written. No other missing folder is made.
    const std::string folder = folderOf(path);
    if (!folder.empty() && folder == userConfigFolder())
        makeFolders(folder);
    std::string reason;
    if (writeFileSafelyOrInPlace(path, formatSettings(settings), &reason))
        return true;
    messages.error(messageWithReason("Failed to write a setup file.", reason));
    return false;
}

bool saveSettings(const LoaderSettings& settings, MessageService& messages) {
    return saveSettingsTo(settingsPath(), settings, messages);
}

} // namespace zar4
