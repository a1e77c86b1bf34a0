#include "ctl/json_lines.h"

#include <ostream>

namespace zar4::ctl {

void writeJsonLine(std::ostream& out, const JsonObject& object) {
    out << object.text() << '\n';
    out.flush();
}

} // namespace zar4::ctl
