#include "transfer/backup.h"

#include "common/file_access.h"
#include "params/parameter_fields.h"
#include "patterns/pattern_file.h"
#include "patterns/pattern_view_mapping.h"
#include "transfer/transfer_texts.h"

#include <algorithm>

namespace zar4 {

namespace {

void refuse(CheckedFile& file, const char* message, const std::string& reason) {
    file.state = CheckedFile::State::Invalid;
    file.problem = std::string(message) + "\n" + reason;
}

void checkParameters(CheckedFile& file, int item) {
    const bool common = item == kCommonItem;
    const FileRead read = readRegularFile(file.path, kSmallFileLimit);
    switch (read.status) {
    case FileRead::Status::Missing:
        return;
    case FileRead::Status::Unreadable:
        refuse(file, texts::kParametersFileUnreadable, read.reason);
        return;
    case FileRead::Status::NotRegular:
    case FileRead::Status::TooLarge:
        refuse(file, texts::kParametersFileInvalid, read.reason);
        return;
    case FileRead::Status::Ok:
        break;
    }
    std::vector<std::uint16_t> words(common ? kCommonWords : kBankWords);
    const std::string why =
        readStrictValueLines(read.bytes, words.data(), static_cast<int>(words.size()));
    if (!why.empty()) {
        refuse(file, texts::kParametersFileInvalid, fileReason(file.path, why));
        return;
    }
    // The file's own model mark: the high bytes of words 8 and 9.
    if (!common && ((words[8] >> 8) != 0 || (words[9] >> 8) != 0)) {
        file.state = CheckedFile::State::Invalid;
        file.problem = std::string(texts::kFileModelNotZar4) + "\n" + file.path;
        file.otherModel = true;
        return;
    }
    file.state = CheckedFile::State::Present;
    file.words = std::move(words);
}

void checkPattern(CheckedFile& file) {
    FileRead read = readRegularFile(file.path, static_cast<std::size_t>(kPatternFileSize));
    std::string reason = read.reason;
    switch (read.status) {
    case FileRead::Status::Missing:
        return;
    case FileRead::Status::TooLarge:
        reason = fileReason(file.path, "holds more than the 147318 bytes of a pattern file");
        break;
    case FileRead::Status::Ok: {
        // Only a whole pattern file with the header of a 24-bit pattern is sent: anything
        // else would put undefined pixels into the sensor's flash memory.
        const auto* data = reinterpret_cast<const std::uint8_t*>(read.bytes.data());
        if (read.bytes.size() != static_cast<std::size_t>(kPatternFileSize)) {
            reason = fileReason(file.path, "holds " + std::to_string(read.bytes.size()) +
                                               " bytes, not the 147318 of a pattern file");
        } else if (!headerAcceptedForSending(data)) {
            reason = fileReason(file.path, "has no header of a 24-bit pattern file");
        } else {
            file.state = CheckedFile::State::Present;
            file.raster.assign(data + kPatternHeaderSize, data + kPatternFileSize);
            file.pixels.resize(static_cast<std::size_t>(kPatternRows * kPatternColumns));
            for (std::size_t i = 0; i < file.pixels.size(); ++i)
                file.pixels[i] = filePixelToWord(&file.raster[i * 3]);
            return;
        }
        break;
    }
    case FileRead::Status::NotRegular:
    case FileRead::Status::Unreadable:
        break;
    }
    refuse(file, texts::kPatternsFileInvalid, reason);
}

// The editor's names of the fields of `item` that lie in `word` and differ between the two
// records, joined by commas.
std::string differingFields(int item, int word, const std::vector<std::uint16_t>& expected,
                            const std::uint16_t* actual) {
    std::int32_t a[kBankWords] = {}, b[kBankWords] = {};
    for (std::size_t i = 0; i < expected.size() && i < kBankWords; ++i) {
        a[i] = expected[i];
        b[i] = actual[i];
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

std::string dataFileName(const std::string& base, ItemKind kind, int item) {
    return kind == ItemKind::Parameters ? parameterFileName(base, item)
                                        : patternFileName(base, item);
}

CheckedFile checkDataFile(const std::string& path, ItemKind kind, int item) {
    CheckedFile file;
    file.path = path;
    if (kind == ItemKind::Parameters)
        checkParameters(file, item);
    else
        checkPattern(file);
    return file;
}

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

bool Backup::holdsAny(const TransferRequest& choice) const {
    const auto items = chosenItems(choice);
    return std::any_of(items.begin(), items.end(), [&](const auto& chosen) {
        return file(chosen.first, chosen.second).state != CheckedFile::State::Missing;
    });
}

Backup loadBackup(const std::string& base, const TransferRequest& choice) {
    Backup backup;
    backup.base = base;
    for (auto [kind, item] : chosenItems(choice))
        backup.file(kind, item) = checkDataFile(dataFileName(base, kind, item), kind, item);
    return backup;
}

void compareParameters(int item, const std::vector<std::uint16_t>& expected,
                       const std::uint16_t* actual, std::vector<Difference>& out) {
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
        const std::uint16_t change = expected[i] ^ actual[i];
        if (change == 0)
            continue;
        if (marks)
            (*marks)[i] = true;
        ++d.pixels;
        d.maskOnly += change == 1 ? 1 : 0; // bit 0 is the mask flag
        const EditorPoint at = editorPointOf(static_cast<int>(i));
        d.xMin = std::min(d.xMin, at.x);
        d.xMax = std::max(d.xMax, at.x);
        d.yMin = std::min(d.yMin, at.y);
        d.yMax = std::max(d.yMax, at.y);
    }
    if (d.pixels > 0)
        out.push_back(d);
}

Difference missingFile(ItemKind kind, int item, const std::string& file) {
    Difference d;
    d.what = Difference::What::Missing;
    d.kind = kind;
    d.item = item;
    d.file = file;
    return d;
}

std::vector<Difference> compareBackups(const Backup& first, const Backup& second,
                                       const TransferRequest& choice) {
    std::vector<Difference> out;
    for (auto [kind, item] : chosenItems(choice)) {
        const CheckedFile& a = first.file(kind, item);
        const CheckedFile& b = second.file(kind, item);
        if (a.present() != b.present()) {
            out.push_back(missingFile(kind, item, a.present() ? b.path : a.path));
        } else if (a.present() && kind == ItemKind::Parameters) {
            compareParameters(item, a.words, b.words.data(), out);
        } else if (a.present()) {
            comparePattern(item, a.pixels, b.pixels, out);
        }
    }
    return out;
}

} // namespace zar4
