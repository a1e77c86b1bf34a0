#pragma once
// The operator's choices remembered between runs, in a small text file beside the program
// file (or, for an installed program, in the operator's own folder): the link settings, the
// banks and kinds of data of a transfer, the pattern editor's pen size and the base file name.

#include "common/message_service.h"
#include "common/program_paths.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zar4 {

struct LoaderSettings {
    std::int32_t portIndex = 0;         // position in the port list ("COM1"); -1: none
    std::int32_t baudIndex = 4;         // position in the baud-rate list ("57600 (5)")
    std::int32_t firstBank = 0;         // position in the start-bank list
    std::int32_t lastBank = 14;         // position in the end-bank list
    std::int32_t includeParameters = 1; // the "Parameters" box is ticked
    std::int32_t includePatterns = 1;   // the "Patterns" box is ticked
    std::int32_t penSize = 1;           // pen and eraser size of the pattern editor, 1-10
    std::string baseName = "Untitled";  // the file name field's text

    bool operator==(const LoaderSettings&) const = default;
};

// The full path of the running program; "zar4loader" in the current folder when the system
// cannot tell.
std::string programPath();

// The settings file of a program file: its extension replaced by "ini", or ".ini" appended
// when the program's file name has none (build/zar4loader -> build/zar4loader.ini). Only the
// last path component is looked at, so a dot in a folder name is left alone.
std::string settingsPathFor(const std::string& programFile);
// The settings file in use: the one beside the program when it exists or the program's folder
// takes new files (a copy run from a folder of its own keeps everything beside it); otherwise
// zar4loader.ini in the operator's own folder, which EXIT creates. Beside the program too when
// the system names no folder of the operator's.
std::string settingsPathIn(const ConfigPlaces& places);
// The settings file of the running program.
std::string settingsPath();

// The settings held by the bytes of a settings file, after the range rules. Lines 1 to 7 are
// read 9 characters at most (a longer line's rest is read as the next line), line 8 as 259
// characters at most, exactly as they stand. A file that ends before its seventh number
// gives every missing number its default, and the base name its default too.
LoaderSettings parseSettings(std::string_view bytes);
// The bytes saveSettings writes: seven "%d" lines ended by a lone line feed, then the base
// name without a line end.
std::string formatSettings(const LoaderSettings& settings);

// Never fails: a file that is missing or cannot be read gives the defaults, without a message.
LoaderSettings loadSettingsFrom(const std::string& path);
LoaderSettings loadSettings();

// Writes the whole file or nothing (an existing file keeps its old contents); the operator's
// own folder is made when it is not there yet (the first EXIT). On failure shows "Failed to
// write a setup file." with the file and the reason on the next line, and returns false.
bool saveSettingsTo(const std::string& path, const LoaderSettings& settings,
                    MessageService& messages);
bool saveSettings(const LoaderSettings& settings, MessageService& messages);

} // namespace zar4
