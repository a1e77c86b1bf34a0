#include "common/system_path.h"

namespace zar4 {

std::filesystem::path systemPath(const std::string& utf8) {
    return std::filesystem::path(utf8);
}

} // namespace zar4
