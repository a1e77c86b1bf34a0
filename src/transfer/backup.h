#pragma once
// A backup: the data files of one base name. Every command that sends or approves a data file
// (a write before its first exchange, verify, diff, show) reads and judges it by the one check
// here, so a file is refused for the same reason, in the same words, whichever command meets
// it; what a write sends is what the check kept, never the file as it may be by its turn.
// Backups are compared item by item with the sensor or with another backup.

#include "params/parameter_file.h"
#include "transfer/transfer.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zar4 {

// One data file as the check found it.
struct CheckedFile {
    enum class State { Missing, Present, Invalid };
    State state = State::Missing;
    std::string path;
    // Invalid: the operator's message, then "<path>: <reason>" on a second line.
    std::string problem;
    // Invalid because a bank file carries another model's mark (word 8 or 9 above 255): a
    // write tells it in its own box before it abandons the transfer.
    bool otherModel = false;
    // Parameters: the 32 bank words or the 5 common words, each 0-65535.
    std::vector<std::uint16_t> words;
    // Pattern: the file's 147264 raster bytes (for a picture), and its pixels in the sensor's
    // words, in stored order: what a write sends.
    std::vector<std::uint8_t> raster;
    std::vector<std::uint16_t> pixels;

    bool present() const { return state == State::Present; }
};

// The data file of `item` (bank 0-14, or 15 for the common parameters) under `base`.
std::string dataFileName(const std::string& base, ItemKind kind, int item);

// Reads the file at `path` as `kind` of `item` and judges it. Missing: nothing is there.
// Invalid (with the words why): anything but a plain file (a folder, a FIFO, a device, a link
// to nothing), a file that cannot be read or is larger than such a file may be; a parameter
// file whose first lines (32, or 5 for the common file) are not each one number from 0 to
// 65535, or, for a bank, whose model mark is another sensor's; a pattern file that is not
// exactly 147318 bytes with the header of a 24-bit pattern.
CheckedFile checkDataFile(const std::string& path, ItemKind kind, int item);

// The items a request chooses, in transfer order: the chosen banks' parameters and the common
// parameters (with includeParameters), then the chosen banks' patterns (with includePatterns).
std::vector<std::pair<ItemKind, int>> chosenItems(const TransferRequest& choice);

struct Backup {
    std::string base;
    std::array<CheckedFile, kCommonItem + 1> parameters; // banks 0-14, the common parameters as 15
    std::array<CheckedFile, kBankCount> patterns;
    const CheckedFile& file(ItemKind kind, int item) const {
        return kind == ItemKind::Parameters ? parameters[static_cast<std::size_t>(item)]
                                            : patterns[static_cast<std::size_t>(item)];
    }
    CheckedFile& file(ItemKind kind, int item) {
        return kind == ItemKind::Parameters ? parameters[static_cast<std::size_t>(item)]
                                            : patterns[static_cast<std::size_t>(item)];
    }
    // True when any of the chosen items' files is there, valid or not.
    bool holdsAny(const TransferRequest& choice) const;
};

// Checks every chosen item's file of `base`.
Backup loadBackup(const std::string& base, const TransferRequest& choice);

struct Difference {
    enum class What { Missing, Word, Pixels };
    What what = What::Word;
    ItemKind kind = ItemKind::Parameters;
    int item = 0;
    std::string file; // Missing: the file that is not there
    // Word: its number, the editor's names of the fields whose bits differ ("" for none), the
    // expected value (the file; the first backup) and the actual one (the sensor; the second).
    int word = 0;
    std::string field;
    std::uint32_t expected = 0;
    std::uint32_t actual = 0;
    // Pixels: how many differ, how many of them only in the mask flag, and their bounding box
    // in the pattern editor's X and Y.
    int pixels = 0;
    int maskOnly = 0;
    int xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

// Word by word: as many words as `expected` holds (32 for a bank, 5 for the common
// parameters); `actual` holds at least as many.
void compareParameters(int item, const std::vector<std::uint16_t>& expected,
                       const std::uint16_t* actual, std::vector<Difference>& out);
// Pixel by pixel in the sensor's words; `marks`, when given, receives for every pixel (in
// stored order) whether it differs.
void comparePattern(int bank, const std::vector<std::uint16_t>& expected,
                    const std::vector<std::uint16_t>& actual, std::vector<Difference>& out,
                    std::vector<bool>* marks = nullptr);

// A Missing difference for `file` of the item.
Difference missingFile(ItemKind kind, int item, const std::string& file);

// Both backups' chosen items in transfer order. An item missing on one side only is a Missing
// difference; missing on both sides, it is not compared. Invalid files are not compared:
// the caller refuses them first.
std::vector<Difference> compareBackups(const Backup& first, const Backup& second,
                                       const TransferRequest& choice);

} // namespace zar4
