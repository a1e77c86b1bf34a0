#pragma once
// "Ref.": the operator picks any data file of a backup and the file name field gets the base
// name that all files of that backup share.

#include <cstddef>
#include <string>
#include <vector>

namespace zar4 {

// One filter of the file-open dialog: the text the operator sees and its patterns.
struct FileFilter {
    std::string text;
    std::vector<std::string> patterns;
};

// The four filters of "Ref.", the first one selected. "All files(*.*)" matches every file,
// also one without a dot in its name.
const std::vector<FileFilter>& dataFileFilters();

// The chosen path without its data file suffix, case-sensitively: a '.', any three
// characters and ".zar4" (the parameter files: ".pr3.zar4", ".prM.zar4"), or else a '.', any
// three characters and ".bmp" (the pattern files: ".ptE.bmp", ".cmp.bmp"). Any other path
// is kept whole. Characters are counted as the operator sees them (UTF-8 sequences count as
// one).
std::string cutDataFileSuffix(const std::string& path);

// Where the last path component of `text` starts: after the last '/' or '\\', or 0.
std::size_t lastComponentStart(const std::string& text);

// `path` written with the system's own separator, as the operator types paths there: on
// Windows every '/' becomes '\\' (the file dialog hands back C:/Users/Public/line1); nothing
// changes elsewhere.
std::string withSystemSeparators(std::string path);

// The folder where "Ref." opens its file dialog: the folder of the base name in the file name
// field (either separator), when that folder exists; empty when the base name names no folder
// or its folder is not there (the dialog then opens where it would).
std::string existingBaseNameFolder(const std::string& baseName);

} // namespace zar4
