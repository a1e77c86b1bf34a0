#include "transfer/manifest_check.h"

#include "common/file_access.h"
#include "common/sha256.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"

namespace zar4 {

namespace {

ItemCheck checkItem(const ManifestItem& item, const std::string& folderPrefix) {
    ItemCheck check;
    check.item = item;
    check.path = folderPrefix + item.file;
    if (!item.read) {
        check.state = ItemCheck::State::NeverRead;
        return check;
    }
    const std::size_t limit = item.kind == ItemKind::Parameters
                                  ? kSmallFileLimit
                                  : static_cast<std::size_t>(kPatternFileSize);
    FileRead file = readRegularFile(check.path, limit);
    switch (file.status) {
    case FileRead::Status::Missing:
        check.state = ItemCheck::State::Missing;
        return check;
    case FileRead::Status::TooLarge: // larger than any file a read writes
        check.state = ItemCheck::State::Edited;
        return check;
    case FileRead::Status::NotRegular:
    case FileRead::Status::Unreadable:
        check.state = ItemCheck::State::Unreadable;
        check.reason = file.reason;
        return check;
    case FileRead::Status::Ok:
        break;
    }
    const bool same = static_cast<std::int64_t>(file.bytes.size()) == item.size &&
                      sha256Hex(file.bytes) == item.sha256;
    check.state = same ? ItemCheck::State::AsRead : ItemCheck::State::Edited;
    return check;
}

// "2026-12-07T14:03:12Z" as "2026-12-07 14:03 UTC".
std::string shownTime(const std::string& iso) {
    return iso.substr(0, 10) + " " + iso.substr(11, 5) + " UTC";
}

std::string bankRange(const Manifest& m) {
    if (m.firstBank > m.lastBank)
        return "no bank";
    if (m.firstBank == m.lastBank)
        return "bank " + std::to_string(m.firstBank);
    return "banks " + std::to_string(m.firstBank) + "-" + std::to_string(m.lastBank);
}

std::string kindsAsked(const Manifest& m) {
    if (m.parameters && m.patterns)
        return "parameters and patterns";
    if (m.parameters)
        return "parameters";
    return m.patterns ? "patterns" : "nothing";
}

// "bank 7's pattern", "the common parameters".
std::string possessive(const ManifestItem& item) {
    if (item.kind == ItemKind::Parameters && item.item == kCommonItem)
        return "the common parameters";
    return "bank " + std::to_string(item.item) + "'s " +
           (item.kind == ItemKind::Parameters ? "parameters" : "pattern");
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

std::string files(int n) {
    return std::to_string(n) + (n == 1 ? " file" : " files");
}

} // namespace

int BackupCheck::count(ItemCheck::State state) const {
    int n = 0;
    for (const auto& item : items)
        n += item.state == state ? 1 : 0;
    return n;
}

BackupCheck checkBackup(const std::string& baseName) {
    BackupCheck check;
    check.manifestPath = manifestFileName(baseName);
    ManifestRead read = readManifest(check.manifestPath);
    if (read.status != ManifestRead::Status::Ok) {
        check.status = read.status == ManifestRead::Status::Missing
                           ? BackupCheck::Status::NoManifest
                           : BackupCheck::Status::BadManifest;
        check.reason = read.reason;
        return check;
    }
    check.manifest = read.manifest;
    const std::string& path = check.manifestPath;
    const std::string folderPrefix = path.substr(0, path.size() - fileNameOf(path).size());
    for (const auto& item : check.manifest.items)
        check.items.push_back(checkItem(item, folderPrefix));
    check.status = check.count(ItemCheck::State::AsRead) == static_cast<int>(check.items.size())
                       ? BackupCheck::Status::AsRead
                       : BackupCheck::Status::NotAsRead;
    return check;
}

const char* itemStateName(ItemCheck::State state) {
    switch (state) {
    case ItemCheck::State::AsRead:
        return "as read";
    case ItemCheck::State::NeverRead:
        return "never read";
    case ItemCheck::State::Edited:
        return "edited";
    case ItemCheck::State::Missing:
        return "missing";
    case ItemCheck::State::Unreadable:
        break;
    }
    return "unreadable";
}

std::string itemCheckText(const ItemCheck& check) {
    std::string text =
        transferItemName(check.item.kind, check.item.item) + " (" + check.item.file + "): ";
    switch (check.state) {
    case ItemCheck::State::AsRead:
        return text + "as read";
    case ItemCheck::State::NeverRead:
        return text + "never read";
    case ItemCheck::State::Edited:
        return text + "edited since it was read";
    case ItemCheck::State::Missing:
        return text + "missing: " + check.path + " is not there";
    case ItemCheck::State::Unreadable:
        break;
    }
    return text + "cannot be read: " + check.reason;
}

std::vector<std::string> backupSummary(const BackupCheck& check) {
    if (check.status == BackupCheck::Status::NoManifest)
        return {"no manifest: " + check.manifestPath +
                " is not there, so nothing tells when these files were read or whether they "
                "are whole"};
    if (check.status == BackupCheck::Status::BadManifest)
        return {"the manifest cannot be read: " + check.reason};

    const Manifest& m = check.manifest;
    std::string line = "read " + shownTime(m.started);
    for (const auto& at : m.resumed)
        line += " (resumed " + shownTime(at) + ")";
    line += " from " + m.portName;
    if (!m.device.empty() && m.device != m.portName)
        line += " (" + m.device + ")";
    line += " at " + std::to_string(m.rate) + " bit/s by " + m.programName + " " +
            m.programVersion + ": " + bankRange(m) + ", " + kindsAsked(m) + "; ";

    const int total = static_cast<int>(m.items.size());
    const int asRead = check.count(ItemCheck::State::AsRead);
    if (m.readCount() == total) {
        line += "complete; ";
        line += asRead == total ? files(total) + " as read"
                                : std::to_string(asRead) + " of " + files(total) + " as read";
    } else {
        const ManifestItem* last = nullptr;
        for (const auto& item : m.items)
            if (item.read)
                last = &item;
        line += manifestOutcomeName(m.outcome);
        line += last ? " after " + possessive(*last) : " before the first file";
        if (m.outcome == ManifestOutcome::Failed)
            line += " (\"" + oneLine(m.failure) + "\")";
        else if (m.outcome == ManifestOutcome::Declined)
            line += " (an existing file was kept)";
        line += ": " + std::to_string(m.readCount()) + " of " + files(total);
    }

    std::vector<std::string> changes;
    for (const auto& item : check.items) {
        const std::string name = transferItemName(item.item.kind, item.item.item);
        switch (item.state) {
        case ItemCheck::State::Edited:
            changes.push_back(name + " edited since");
            break;
        case ItemCheck::State::Missing:
            changes.push_back(name + " deleted since");
            break;
        case ItemCheck::State::Unreadable:
            changes.push_back(name + " unreadable since");
            break;
        default:
            break;
        }
    }
    if (changes.empty())
        return {line};
    constexpr std::size_t kShown = 4;
    std::string second;
    for (std::size_t i = 0; i < changes.size() && i < kShown; ++i)
        second += (i == 0 ? "" : "; ") + changes[i];
    if (changes.size() > kShown)
        second +=
            "; and " + std::to_string(changes.size() - kShown) + " more (zar4ctl check lists them)";
    return {line, second};
}

bool ResumePlan::reads(ItemKind kind, int number) const {
    for (const auto& item : toRead)
        if (item.item.kind == kind && item.item.item == number)
            return true;
    return false;
}

std::vector<ItemCheck> ResumePlan::replaced() const {
    std::vector<ItemCheck> found;
    for (const auto& item : toRead)
        if (item.state == ItemCheck::State::Edited || item.state == ItemCheck::State::Unreadable)
            found.push_back(item);
    return found;
}

ResumePlan planResume(const std::string& baseName) {
    ResumePlan plan;
    plan.check = checkBackup(baseName);
    const BackupCheck& check = plan.check;
    if (check.status == BackupCheck::Status::NoManifest) {
        plan.refusal = fileReason(check.manifestPath,
                                  "no such file, so nothing records what the read asked for");
        return plan;
    }
    if (check.status == BackupCheck::Status::BadManifest) {
        plan.refusal = check.reason;
        return plan;
    }
    plan.request = check.manifest.request(baseName);
    // The read writes the files of the base name: a manifest that names other files (a
    // backup renamed without its manifest) would be completed with files it does not list.
    const std::vector<ManifestItem> named = manifestItemsFor(plan.request);
    for (std::size_t i = 0; i < named.size(); ++i)
        if (named[i].file != check.manifest.items[i].file) {
            plan.refusal =
                fileReason(check.manifestPath, "lists " + check.manifest.items[i].file + ", not " +
                                                   named[i].file + " of this base name");
            return plan;
        }
    for (const auto& item : check.items)
        if (item.state != ItemCheck::State::AsRead)
            plan.toRead.push_back(item);
    plan.ok = true;
    return plan;
}

} // namespace zar4
