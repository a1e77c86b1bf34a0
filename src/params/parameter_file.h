#pragma once
// Parameter files: one text file per bank (32 value lines) and one common file (5 value
// lines), named from the operator's base name. These are the rules every reader and writer of
// the files shares: the transfers, the editor and the command line.

#include <cstdint>
#include <string>
#include <string_view>

namespace zar4 {

constexpr int kBankCount = 15;
constexpr int kCommonItem = 15;
constexpr int kBankWords = 32;
constexpr int kCommonWords = 5;
// Names are built in a buffer of 260 characters; the longest suffix is 9 characters. The
// limit counts characters as the operator sees them (a UTF-8 sequence is one).
constexpr std::size_t kMaxBaseNameLength = 250;

// base + ".pr%X.zar4" for banks 0-14 (one upper-case hexadecimal digit), ".prM.zar4" for 15.
std::string parameterFileName(const std::string& base, int item);
bool baseNameFits(const std::string& base);
// Why `base` cannot name the files of a backup, or empty when it can. A name that is empty,
// holds only blanks, or whose last part names a folder (it ends in '/' or '\\', or in "." or
// "..", or its last part holds only blanks) would put files without a name of their own, such as
// the hidden ".pr0.zar4", into a folder. The reason is the second line under "Failed to create the
// file." and proposes a name: "b4/: the name is a folder; give a base name such as b4/line1".
std::string baseNameProblem(const std::string& base);

// One value line: leading blanks skipped, decimal digits up to the first other character,
// no digits gives 0. Digits accumulate as an unsigned 32-bit number (wrapping), returned as
// the signed 32-bit word the program keeps in memory.
std::int32_t parseValueLine(std::string_view line);

// Reads up to `count` value lines from `path` into `words` (one line is one value, however
// long it is; CR LF and LF alike). Returns how many lines were read (fewer than `count` when
// the file ended early), or -1 when the file cannot be opened. Only a plain file is read, and
// no more of it than the first 64 KiB.
int readValueLines(const std::string& path, std::int32_t* words, int count);

// The write transfer's reading: each of the first `count` lines must hold one unsigned
// decimal number from 0 to 65535, with blanks or a carriage return around it; anything after
// those lines is not looked at. Returns empty when every line is such a number (the words
// are then in `words`), else why not: "line 7 is not a number from 0 to 65535",
// "line 32 is missing".
std::string readStrictValueLines(std::string_view text, std::uint16_t* words, int count);

// The text of `count` words, one "%d" per line, each ended by LF or (editor files) CR LF.
std::string formatValueLines(const std::int32_t* words, int count, bool crlf);

// A bank record belongs to this sensor model when words 8 and 9 are both at most 255. The
// words are compared as the unsigned numbers that were written in the file: a line such as
// "4294967295" wraps to -1 in memory, yet it is no model mark of this sensor.
bool bankWordsAreThisModel(const std::int32_t* words);

// The same reading rule for text already in memory. Returns how many lines were read. When
// `cut` is set the text is the start of a longer file: a last line without its line feed is
// then no value.
int readValueLinesFromText(std::string_view text, std::int32_t* words, int count, bool cut = false);

} // namespace zar4
