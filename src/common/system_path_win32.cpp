#include "common/system_path.h"

#include "common/file_access.h"

namespace zar4 {

std::filesystem::path systemPath(const std::string& utf8) {
    return std::filesystem::path(utf16FromUtf8(utf8));
}

} // namespace zar4
