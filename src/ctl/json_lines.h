#pragma once
// The script contract of zar4ctl: with --json, standard output carries one JSON object a line
// ("JSON Lines"), each with a "type" (start, progress, question, warning, difference, result,
// error). Every command builds those objects with the program's one JSON writer and writes
// them through here, so that the escaping and the field order are the same everywhere.

#include "common/json.h"

#include <iosfwd>

namespace zar4::ctl {

using zar4::JsonObject;
using zar4::jsonString;

// Writes `object` and a line end, and flushes: a script reading line by line sees each event
// when it happens.
void writeJsonLine(std::ostream& out, const JsonObject& object);

} // namespace zar4::ctl
