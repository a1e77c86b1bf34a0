#include "ctl/ctl_inspect.h"

#include "common/file_access.h"
#include "common/safe_file.h"
#include "common/system_path.h"
#include "ctl/console.h"
#include "ctl/ctl_manifest.h"
#include "ctl/png_writer.h"
#include "params/parameter_fields.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "transfer/transfer_texts.h"

#include <filesystem>
#include <initializer_list>
#include <ostream>

namespace zar4::ctl {

namespace {

// The comparison side of a read: each item's data, as it arrives, against the files.
class VerifySink : public ReadSink {
public:
    VerifySink(const Backup& files, const std::set<std::pair<ItemKind, int>>& only, Report& report)
        : files_(files), only_(only), report_(report) {}

    bool wants(ItemKind kind, int item) override {
        return files_.file(kind, item).present() &&
               (only_.empty() || only_.count({kind, item}) > 0);
    }
    void parameterBlock(int item, const std::uint8_t* block) override {
        std::uint16_t words[kBankWords];
        for (int i = 0; i < kBankWords; ++i)
            words[i] = static_cast<std::uint16_t>(block[2 * i] | (block[2 * i + 1] << 8));
        std::vector<Difference> found;
        compareParameters(item, files_.file(ItemKind::Parameters, item).words, words, found);
        for (const auto& d : found)
            report_.difference(d, "file", "sensor");
    }
    void patternWords(int bank, const std::uint16_t* words, int count) override {
        if (bank != bank_) {
            bank_ = bank;
            sensor_.clear();
        }
        sensor_.insert(sensor_.end(), words, words + count);
    }
    void patternComplete(int bank) override {
        std::vector<Difference> found;
        comparePattern(bank, files_.file(ItemKind::Pattern, bank).pixels, sensor_, found);
        for (const auto& d : found)
            report_.difference(d, "file", "sensor");
        sensor_.clear();
        bank_ = -1;
    }

private:
    const Backup& files_;
    const std::set<std::pair<ItemKind, int>>& only_;
    Report& report_;
    std::vector<std::uint16_t> sensor_;
    int bank_ = -1;
};

TransferRequest choiceOf(const CtlOptions& o) {
    TransferRequest choice;
    choice.includeParameters = o.parameters;
    choice.includePatterns = o.patterns;
    choice.firstBank = o.firstBank;
    choice.lastBank = o.lastBank;
    return choice;
}

std::string plural(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A message about a file that cannot be written, told as every failed write is.
void cannotCreate(Report& report, const std::string& reason) {
    std::string message = std::string(texts::kFailedToCreateFile) + "\n" + reason;
    report.human << "Error: " << message << "\n";
    report.events.emit(errorEvent(ErrorCode::File, message, ""));
}

// The folder for the pictures: made when it is not there; anything else of that name (a FIFO,
// a file) is refused with its reason. False after a refusal (reported).
bool makePictureFolder(const std::string& folder, Report& report) {
    const FileInfo info = fileInfo(folder);
    if (info.kind == FileKind::Folder)
        return true;
    if (info.kind != FileKind::Missing) {
        cannotCreate(report, fileReason(folder, kindReason(info)));
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(systemPath(folder), ec);
    if (ec) {
        cannotCreate(report, fileReason(folder, ec.message()));
        return false;
    }
    return true;
}

// A picture of each differing pattern: the second backup's pattern as the editor shows it,
// its differing pixels in red. False after a file could not be written (reported).
bool writePictures(const CtlOptions& o, const Backup& first, const Backup& second,
                   const TransferRequest& choice, Report& report, CommandResult& result) {
    bool madeFolder = false;
    for (auto [kind, bank] : chosenItems(choice)) {
        const CheckedFile& a = first.file(kind, bank);
        const CheckedFile& b = second.file(kind, bank);
        if (kind != ItemKind::Pattern || !a.present() || !b.present())
            continue;
        std::vector<Difference> found;
        std::vector<bool> marks;
        comparePattern(bank, a.pixels, b.pixels, found, &marks);
        if (found.empty())
            continue;
        if (!madeFolder && !makePictureFolder(o.pngDir, report))
            return false;
        madeFolder = true;
        const std::string path = o.pngDir + "/bank" + std::to_string(bank) + ".png";
        const std::string png =
            encodePng(kPictureWidth, kPictureHeight, differencePicture(b.raster, marks));
        std::string reason;
        if (!writeFileSafely(path, png, &reason)) {
            cannotCreate(report, reason);
            return false;
        }
        result.files.push_back(path);
    }
    return true;
}

// The base names must fit the program's name buffer, as for every command: a usage error.
bool baseNamesFit(std::initializer_list<const std::string*> bases, Report& report,
                  CommandResult& result) {
    for (const std::string* base : bases) {
        if (baseNameFits(*base))
            continue;
        report.human << "Error: " << texts::kBaseNameTooLong << "\n";
        report.events.emit(errorEvent(ErrorCode::Usage, texts::kBaseNameTooLong, ""));
        result.outcome = "usage";
        return false;
    }
    return true;
}

// "No file of the backup was found." and the base name: most likely a mistyped name.
int noFileFound(const std::string& message, const std::string& bases, Report& report,
                CommandResult& result) {
    const std::string text = message + "\n" + bases + ": no such files";
    report.human << "Error: " << text << "\n";
    report.events.emit(errorEvent(ErrorCode::File, text, ""));
    result.outcome = "failed";
    return 1;
}

// The text the parameter editor shows for a field: a list's item, a number, or AUTO (with
// the automatic level where the editor shows one).
std::string editorText(const FieldInfo& info, const std::int32_t* words, const std::string& number,
                       bool automatic) {
    if (info.isList) {
        auto items = listItems(info);
        int at = listPosition(fieldValue(words, info), static_cast<int>(items.size()));
        return at < 0 ? "(no item for " + std::to_string(fieldValue(words, info)) + ")"
                      : items[static_cast<std::size_t>(at)];
    }
    if (automatic)
        return number.empty() ? "AUTO" : "AUTO " + number;
    return number;
}

JsonObject fieldObject(const FieldInfo& info, const std::int32_t* words, const std::string& text,
                       bool automatic) {
    JsonObject o;
    o.add("name", info.name)
        .add("caption", info.caption)
        .add("word", info.word)
        .add("value", fieldValue(words, info))
        .add("text", text)
        .add("auto", automatic);
    return o;
}

// Characters, not bytes: a caption may hold a full-width parenthesis.
std::size_t shownWidth(const std::string& text) {
    std::size_t n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

std::string padded(const std::string& text, std::size_t width) {
    std::size_t shown = shownWidth(text);
    return text + std::string(shown < width ? width - shown : 1, ' ');
}

void showLine(std::ostream& out, const FieldInfo& info, const std::string& text) {
    out << "  " << padded(info.name, 10) << padded(info.caption, 28) << text << "\n";
}

// Editor row order of the bank and common parameters, top to bottom.
const BankField kBankRows[] = {BankField::Zoom,     BankField::ColorFil, BankField::Shutter,
                               BankField::Threshld, BankField::Search,   BankField::SearchMd,
                               BankField::BkgdLvl,  BankField::JudgLvl,  BankField::Light};
const CommonField kCommonRows[] = {
    CommonField::Bank,    CommonField::Communic, CommonField::OffDelay, CommonField::OnDelay,
    CommonField::OneShot, CommonField::Synchro,  CommonField::LcdView};

} // namespace

void Report::difference(const Difference& d, const char* expectedLabel, const char* actualLabel) {
    ++differences;
    if (line)
        line->breakLine();
    human << describe(d, expectedLabel, actualLabel) << "\n";
    human.flush();
    events.emit(differenceEvent(d));
}

bool Report::invalidFiles(const Backup& backup, const TransferRequest& choice) {
    bool any = false;
    for (auto [kind, item] : chosenItems(choice)) {
        const CheckedFile& f = backup.file(kind, item);
        if (f.state != CheckedFile::State::Invalid)
            continue;
        any = true;
        human << "Error: " << f.problem << "\n";
        events.emit(errorEvent(ErrorCode::File, f.problem, ""));
    }
    return any;
}

TransferOutcome verifySensor(const TransferRequest& request, const Backup& files,
                             const std::set<std::pair<ItemKind, int>>& only, SerialLink& link,
                             ConsoleLine& line, MessageService& messages, bool showProgress,
                             Report& report, TransferView* through) {
    TransferRequest read = request;
    read.operation = Operation::Read;
    VerifySink sink(files, only, report);
    // Only the items compared are read: the total to measure against is theirs. Read back
    // through the write's own view, the items the write skipped are not read either.
    std::int64_t planned = 0;
    for (auto [kind, item] : chosenItems(read)) {
        const std::int64_t bytes = plannedItemBytes(read, kind, item);
        if (sink.wants(kind, item))
            planned += bytes;
        else if (through)
            through->plannedBytesDropped(bytes);
    }
    if (through)
        return runTransfer(read, *through, link, &sink);
    ConsoleView console(line, messages, showProgress, planned);
    EventView view(console, messages, report.events, planned);
    TransferOutcome outcome = runTransfer(read, view, link, &sink);
    console.finish();
    view.finish();
    return outcome;
}

std::string verifySummary(int differences) {
    if (differences == 0)
        return "The sensor holds what the files hold.";
    return plural(differences, "difference", "differences") + " between the files and the sensor.";
}

int runDiff(const CtlOptions& o, Report& report, CommandResult& result) {
    if (!baseNamesFit({&o.base, &o.base2}, report, result))
        return 2;
    TransferRequest choice = choiceOf(o);
    Backup first = loadBackup(o.base, choice);
    Backup second = loadBackup(o.base2, choice);
    bool invalid = report.invalidFiles(first, choice);
    invalid = report.invalidFiles(second, choice) || invalid;
    if (invalid) {
        result.outcome = "failed";
        return 1;
    }
    // An empty backup is no proof of anything, and a backup compared with nothing is no
    // list of differences.
    const bool haveFirst = first.holdsAny(choice), haveSecond = second.holdsAny(choice);
    if (!haveFirst && !haveSecond)
        return noFileFound("No file of either backup was found.", o.base + ", " + o.base2, report,
                           result);
    if (!haveFirst || !haveSecond)
        return noFileFound("No file of the backup was found.", haveFirst ? o.base2 : o.base, report,
                           result);
    for (const auto& d : compareBackups(first, second, choice))
        report.difference(d, "first", "second");
    result.differences = report.differences;
    if (!o.pngDir.empty() && !writePictures(o, first, second, choice, report, result)) {
        result.outcome = "failed";
        return 1;
    }
    report.human << (report.differences == 0
                         ? std::string("The backups are equal.")
                         : plural(report.differences, "difference", "differences") +
                               " between the backups.")
                 << "\n";
    result.outcome = report.differences == 0 ? "equal" : "different";
    return report.differences == 0 ? 0 : 4;
}

int runShow(const CtlOptions& o, Report& report, CommandResult& result) {
    // What the manifest says of the backup comes first: when and how it was read, and what
    // changed since.
    showManifestSummary(o.base, report, result);
    if (!baseNamesFit({&o.base}, report, result))
        return 2;
    TransferRequest choice = choiceOf(o);
    Backup backup = loadBackup(o.base, choice);
    bool invalid = report.invalidFiles(backup, choice);
    result.hasShow = true;
    std::ostream& out = report.human;
    for (int bank = 0; bank < kBankCount; ++bank) {
        if (!bankIsChosen(choice, bank))
            continue;
        const CheckedFile& p = backup.parameters[static_cast<std::size_t>(bank)];
        const CheckedFile& pattern = backup.patterns[static_cast<std::size_t>(bank)];
        bool haveParameters = p.present();
        bool havePattern = pattern.present();
        if (!haveParameters && !havePattern)
            continue;
        out << "bank " << bank << "\n";
        JsonObject bankObject;
        bankObject.add("bank", bank);
        if (haveParameters) {
            BankRecord record;
            for (std::size_t i = 0; i < p.words.size(); ++i)
                record.words[i] = static_cast<std::int32_t>(p.words[i]);
            std::vector<JsonObject> fields;
            for (BankField f : kBankRows) {
                const FieldInfo& info = fieldInfo(f);
                bool automatic = isAuto(record, f);
                std::string text =
                    editorText(info, record.words.data(), numberText(record, f), automatic);
                showLine(out, info, text);
                fields.push_back(fieldObject(info, record.words.data(), text, automatic));
            }
            bankObject.add("parameters", fields);
        } else {
            bankObject.addNull("parameters");
        }
        if (havePattern) {
            int masked = 0;
            for (std::size_t i = 0; i < pattern.raster.size(); i += 3)
                masked += isMasked(&pattern.raster[i]) ? 1 : 0;
            out << "  pattern: " << plural(masked, "masked pixel", "masked pixels") << "\n";
            bankObject.add("maskedPixels", masked);
        } else {
            bankObject.addNull("maskedPixels");
        }
        result.banks.push_back(bankObject);
    }
    const CheckedFile& c = backup.parameters[kCommonItem];
    if (c.present()) {
        out << "common\n";
        CommonRecord record;
        for (std::size_t i = 0; i < c.words.size(); ++i)
            record.words[i] = static_cast<std::int32_t>(c.words[i]);
        std::vector<JsonObject> fields;
        for (CommonField f : kCommonRows) {
            const FieldInfo& info = fieldInfo(f);
            std::string text = editorText(info, record.words.data(), numberText(record, f), false);
            showLine(out, info, text);
            fields.push_back(fieldObject(info, record.words.data(), text, false));
        }
        result.common.add("parameters", fields);
    }
    if (invalid) {
        result.outcome = "failed";
        return 1;
    }
    if (result.banks.empty() && !c.present())
        return noFileFound("No file of the backup was found.", o.base, report, result);
    result.outcome = "completed";
    return 0;
}

} // namespace zar4::ctl
