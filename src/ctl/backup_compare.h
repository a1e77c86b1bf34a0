#pragma once
// Backups compared, in the command line's words: each difference as the operator reads it and
// as a JSON event, and the picture of a pattern with its differing pixels marked. Loading,
// checking and comparing the backups is the core's (transfer/backup.h).

#include "ctl/json_lines.h"
#include "patterns/pattern_view_mapping.h"
#include "transfer/backup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zar4::ctl {

// "bank 3 parameters: word 15 (SHUTTER): file 100, sensor 120" with the two labels given.
std::string describe(const Difference& d, const char* expectedLabel, const char* actualLabel);
// {"type":"difference","kind":...,"bank":...,"what":...,...}
JsonObject differenceEvent(const Difference& d);

// The pattern as the pattern editor shows it, the marked pixels in red (a colour the editor
// never shows), as RGB bytes row by row from the top.
std::vector<std::uint8_t> differencePicture(const std::vector<std::uint8_t>& raster,
                                            const std::vector<bool>& marks);
constexpr int kPictureWidth = kViewWidth;
constexpr int kPictureHeight = kViewHeight;

} // namespace zar4::ctl
