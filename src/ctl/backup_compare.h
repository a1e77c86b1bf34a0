#pragma once
// Backups compared: the files of a base name loaded into memory, compared item by item with
// the sensor (verify) or with another backup (diff), every difference named by bank and item
// in the words the editors use; and the picture of a pattern with its differing pixels marked.

#include "ctl/json_lines.h"
#include "transfer/transfer.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zar4::ctl {

// One data file of a backup as it was found.
struct ItemFile {
    enum class State { Missing, Present, Invalid };
    State state = State::Missing;
    std::string path;
    // Invalid: the operator's message, then "<path>: <reason>" on a second line.
    std::string problem;
    // Parameters: the 32 bank words or the 5 common words, as the numbers the file holds.
    std::vector<std::uint32_t> words;
    // Pattern: the 208 x 236 pixels in the sensor's words (what a write would send), and the
    // file's raster bytes for the picture.
    std::vector<std::uint16_t> pixels;
    std::vector<std::uint8_t> raster;
};

struct Backup {
    std::string base;
    std::array<ItemFile, 16> parameters; // banks 0-14, the common parameters as 15
    std::array<ItemFile, 15> patterns;
    const ItemFile& file(ItemKind kind, int item) const {
        return kind == ItemKind::Parameters ? parameters[static_cast<std::size_t>(item)]
                                            : patterns[static_cast<std::size_t>(item)];
    }
};

// The items a request chooses, in transfer order: the chosen banks' parameters and the common
// parameters (with includeParameters), then the chosen banks' patterns (with includePatterns).
std::vector<std::pair<ItemKind, int>> chosenItems(const TransferRequest& choice);

// Loads every chosen item's file of `base`. Only regular files are read; a file that is there
// but cannot be read, or is no valid parameter or pattern file, is Invalid.
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

// Word by word: 32 words for a bank, 5 for the common parameters.
void compareParameters(int item, const std::vector<std::uint32_t>& expected,
                       const std::uint32_t* actual, std::vector<Difference>& out);
// Pixel by pixel in the sensor's words; `marks`, when given, receives for every pixel (in
// stored order) whether it differs.
void comparePattern(int bank, const std::vector<std::uint16_t>& expected,
                    const std::vector<std::uint16_t>& actual, std::vector<Difference>& out,
                    std::vector<bool>* marks = nullptr);

// Both backups' chosen items in transfer order. An item missing on one side only is a Missing
// difference; missing on both sides, it is not compared.
std::vector<Difference> compareBackups(const Backup& first, const Backup& second,
                                       const TransferRequest& choice);

// "bank 3 parameters: word 15 (SHUTTER): file 100, sensor 120" with the two labels given.
std::string describe(const Difference& d, const char* expectedLabel, const char* actualLabel);
// {"type":"difference","kind":...,"bank":...,"what":...,...}
JsonObject differenceEvent(const Difference& d);

// The pattern as the pattern editor shows it (208 x 236, the first stored row as the
// rightmost column; masked pixels blue, the rest grey), the marked pixels in red, as RGB bytes.
std::vector<std::uint8_t> differencePicture(const std::vector<std::uint8_t>& raster,
                                            const std::vector<bool>& marks);
constexpr int kPictureWidth = 208;
constexpr int kPictureHeight = 236;

} // namespace zar4::ctl
