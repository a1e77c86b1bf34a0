#include "ctl/backup_compare.h"

#include "common/system_path.h"
#include "ctl/ctl_events.h"
#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "transfer/transfer_texts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace zar4::ctl {

namespace {

// Parameter files are a few hundred bytes; anything near this is no parameter file.
constexpr std::size_t kParameterFileLimit = 64 * 1024;

int wordCount(int item) {
    return item == kCommonItem ? kCommonWords : kBankWords;
}

void markInvalid(ItemFile& file, const char* message, const std::string& reason) {
    file.state = ItemFile::State::Invalid;
    file.problem = std::string(message) + "\n" + file.path + ": " + reason;
}

// Reads a regular file whole, up to `limit` bytes (one more shows it is too long). False with
// the system's reason when it cannot be read; a missing file leaves `missing` set.
bool readRegularFile(const std::string& path, std::size_t limit, std::string& bytes, bool& missing,
                     std::string& reason) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::file_status st = fs::status(systemPath(path), ec);
    missing = st.type() == fs::file_type::not_found;
    if (missing)
        return false;
    if (ec) {
        reason = ec.message();
        return false;
    }
    if (st.type() != fs::file_type::regular) {
        reason = "not a regular file";
        return false;
    }
    std::ifstream in(systemPath(path), std::ios::binary);
    if (!in) {
        reason = std::strerror(errno);
        return false;
    }
    bytes.resize(limit + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        reason = std::strerror(errno);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return true;
}

void loadParameters(const std::string& base, int item, ItemFile& file) {
    file.path = parameterFileName(base, item);
    std::string text, reason;
    bool missing = false;
    if (!readRegularFile(file.path, kParameterFileLimit, text, missing, reason)) {
        if (!missing)
            markInvalid(file, texts::kParametersFileInvalid, reason);
        return;
    }
    if (text.size() > kParameterFileLimit) {
        markInvalid(file, texts::kParametersFileInvalid, "larger than 64 KiB");
        return;
    }
    std::int32_t words[kBankWords] = {};
    int count = wordCount(item);
    int lines = readValueLinesFromText(text, words, count);
    if (lines < count) {
        markInvalid(file, texts::kParametersFileInvalid,
                    "ends after " + std::to_string(lines) + " of " + std::to_string(count) +
                        " lines");
        return;
    }
    file.state = ItemFile::State::Present;
    file.words.assign(words, words + count);
}

void loadPattern(const std::string& base, int bank, ItemFile& file) {
    file.path = patternFileName(base, bank);
    std::string bytes, reason;
    bool missing = false;
    if (!readRegularFile(file.path, kPatternFileSize, bytes, missing, reason)) {
        if (!missing)
            markInvalid(file, texts::kPatternsFileInvalid, reason);
        return;
    }
    if (bytes.size() != static_cast<std::size_t>(kPatternFileSize)) {
        markInvalid(file, texts::kPatternsFileInvalid,
                    "holds " + std::to_string(bytes.size()) + " bytes, not " +
                        std::to_string(kPatternFileSize));
        return;
    }
    auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (!headerAcceptedForSending(data)) {
        markInvalid(file, texts::kPatternsFileInvalid, "not the header of a 24-bit pattern");
        return;
    }
    file.state = ItemFile::State::Present;
    file.raster.assign(data + kPatternHeaderSize, data + kPatternFileSize);
    file.pixels.resize(static_cast<std::size_t>(kPatternRows * kPatternColumns));
    for (std::size_t i = 0; i < file.pixels.size(); ++i)
        file.pixels[i] = filePixelToWord(&file.raster[i * 3]);
}

// The editor's names of the fields of `item` that lie in `word` and differ between the two
// records, joined by commas.
std::string differingFields(int item, int word, const std::vector<std::uint32_t>& expected,
                            const std::uint32_t* actual) {
    std::int32_t a[kBankWords] = {}, b[kBankWords] = {};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        a[i] = static_cast<std::int32_t>(expected[i]);
        b[i] = static_cast<std::int32_t>(actual[i]);
    }
    std::string names;
    auto consider = [&](const FieldInfo& f) {
        if (f.word != word || fieldValue(a, f) == fieldValue(b, f))
            return;
        names += (names.empty() ? "" : ",");
        names += f.name;
    };
    if (item == kCommonItem) {
        for (int f = 0; f <= static_cast<int>(CommonField::LcdView); ++f)
            consider(fieldInfo(static_cast<CommonField>(f)));
    } else {
        for (int f = 0; f <= static_cast<int>(BankField::Threshld); ++f)
            consider(fieldInfo(static_cast<BankField>(f)));
    }
    return names;
}

} // namespace

std::vector<std::pair<ItemKind, int>> chosenItems(const TransferRequest& choice) {
    std::vector<std::pair<ItemKind, int>> items;
    if (choice.includeParameters) {
        for (int bank = 0; bank < kBankCount; ++bank)
            if (bankIsChosen(choice, bank))
                items.emplace_back(ItemKind::Parameters, bank);
        items.emplace_back(ItemKind::Parameters, kCommonItem);
    }
    if (choice.includePatterns)
        for (int bank = 0; bank < kBankCount; ++bank)
            if (bankIsChosen(choice, bank))
                items.emplace_back(ItemKind::Pattern, bank);
    return items;
}

Backup loadBackup(const std::string& base, const TransferRequest& choice) {
    Backup backup;
    backup.base = base;
    for (auto [kind, item] : chosenItems(choice)) {
        if (kind == ItemKind::Parameters)
            loadParameters(base, item, backup.parameters[static_cast<std::size_t>(item)]);
        else
            loadPattern(base, item, backup.patterns[static_cast<std::size_t>(item)]);
    }
    return backup;
}

void compareParameters(int item, const std::vector<std::uint32_t>& expected,
                       const std::uint32_t* actual, std::vector<Difference>& out) {
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i] == actual[i])
            continue;
        Difference d;
        d.kind = ItemKind::Parameters;
        d.item = item;
        d.word = static_cast<int>(i);
        d.field = differingFields(item, d.word, expected, actual);
        d.expected = expected[i];
        d.actual = actual[i];
        out.push_back(d);
    }
}

void comparePattern(int bank, const std::vector<std::uint16_t>& expected,
                    const std::vector<std::uint16_t>& actual, std::vector<Difference>& out,
                    std::vector<bool>* marks) {
    Difference d;
    d.what = Difference::What::Pixels;
    d.kind = ItemKind::Pattern;
    d.item = bank;
    d.xMin = d.yMin = 1 << 20;
    d.xMax = d.yMax = -1;
    if (marks)
        marks->assign(expected.size(), false);
    for (std::size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
        std::uint16_t change = expected[i] ^ actual[i];
        if (change == 0)
            continue;
        if (marks)
            (*marks)[i] = true;
        ++d.pixels;
        d.maskOnly += change == 1 ? 1 : 0; // bit 0 is the mask flag
        // The editor shows stored row k as X = 207 - k and pixel c as Y = 235 - c.
        int row = static_cast<int>(i) / kPatternColumns;
        int column = static_cast<int>(i) % kPatternColumns;
        int x = kPatternRows - 1 - row, y = kPatternColumns - 1 - column;
        d.xMin = std::min(d.xMin, x);
        d.xMax = std::max(d.xMax, x);
        d.yMin = std::min(d.yMin, y);
        d.yMax = std::max(d.yMax, y);
    }
    if (d.pixels > 0)
        out.push_back(d);
}

std::vector<Difference> compareBackups(const Backup& first, const Backup& second,
                                       const TransferRequest& choice) {
    std::vector<Difference> out;
    for (auto [kind, item] : chosenItems(choice)) {
        const ItemFile& a = first.file(kind, item);
        const ItemFile& b = second.file(kind, item);
        bool havea = a.state == ItemFile::State::Present;
        bool haveb = b.state == ItemFile::State::Present;
        if (havea != haveb) {
            Difference d;
            d.what = Difference::What::Missing;
            d.kind = kind;
            d.item = item;
            d.file = havea ? b.path : a.path;
            out.push_back(d);
        } else if (havea && kind == ItemKind::Parameters) {
            compareParameters(item, a.words, b.words.data(), out);
        } else if (havea) {
            comparePattern(item, a.pixels, b.pixels, out);
        }
    }
    return out;
}

std::string describe(const Difference& d, const char* expectedLabel, const char* actualLabel) {
    std::string text = itemName(d.kind, d.item) + ": ";
    switch (d.what) {
    case Difference::What::Missing:
        return text + d.file + " is missing";
    case Difference::What::Word:
        text += "word " + std::to_string(d.word);
        if (!d.field.empty())
            text += " (" + d.field + ")";
        return text + ": " + expectedLabel + " " + std::to_string(d.expected) + ", " + actualLabel +
               " " + std::to_string(d.actual);
    case Difference::What::Pixels:
        return text + std::to_string(d.pixels) +
               (d.pixels == 1 ? " pixel differs" : " pixels differ") + " (" +
               std::to_string(d.maskOnly) + " only in the mask), X " + std::to_string(d.xMin) +
               "-" + std::to_string(d.xMax) + ", Y " + std::to_string(d.yMin) + "-" +
               std::to_string(d.yMax);
    }
    return text;
}

JsonObject differenceEvent(const Difference& d) {
    JsonObject event = JsonObject::event("difference");
    addItem(event, d.kind, d.item);
    switch (d.what) {
    case Difference::What::Missing:
        event.add("what", "missing").add("file", d.file);
        break;
    case Difference::What::Word:
        event.add("what", "word").add("word", d.word);
        if (d.field.empty())
            event.addNull("field");
        else
            event.add("field", d.field);
        event.add("expected", static_cast<std::int64_t>(d.expected))
            .add("actual", static_cast<std::int64_t>(d.actual));
        break;
    case Difference::What::Pixels: {
        JsonObject box;
        box.add("xMin", d.xMin).add("xMax", d.xMax).add("yMin", d.yMin).add("yMax", d.yMax);
        event.add("what", "pixels")
            .add("pixels", d.pixels)
            .add("maskOnly", d.maskOnly)
            .add("box", box);
        break;
    }
    }
    return event;
}

std::vector<std::uint8_t> differencePicture(const std::vector<std::uint8_t>& raster,
                                            const std::vector<bool>& marks) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kPictureWidth * kPictureHeight * 3));
    for (int py = 0; py < kPictureHeight; ++py) {
        for (int px = 0; px < kPictureWidth; ++px) {
            // View pixel (px, py) shows stored row 207 - px, pixel py.
            std::size_t index =
                static_cast<std::size_t>((kPatternRows - 1 - px) * kPatternColumns + py);
            const std::uint8_t* bgr = &raster[index * 3];
            std::uint8_t* out = &rgb[static_cast<std::size_t>(py * kPictureWidth + px) * 3];
            if (index < marks.size() && marks[index]) {
                out[0] = 255; // red: the editor shows nothing in red
                out[1] = out[2] = 0;
            } else if (isMasked(bgr)) {
                out[0] = out[1] = 0;
                out[2] = static_cast<std::uint8_t>((bgr[1] + 0xC0) & 0xFF);
            } else {
                out[0] = out[1] = out[2] = static_cast<std::uint8_t>(bgr[1] & 0xE0);
            }
        }
    }
    return rgb;
}

} // namespace zar4::ctl
