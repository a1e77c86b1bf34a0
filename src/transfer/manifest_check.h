#pragma once
// A backup checked against its manifest, offline: whether every item asked for was read and
// whether each file is still as it was read (same size, same SHA-256), each finding named by
// bank and kind with its file; and the short summary that `show` begins with.

#include "transfer/manifest.h"

#include <string>
#include <vector>

namespace zar4 {

struct ItemCheck {
    enum class State { AsRead, NeverRead, Edited, Missing, Unreadable };
    ManifestItem item;
    State state = State::NeverRead;
    std::string path;   // the file, as the manifest's path names its folder
    std::string reason; // Unreadable: "<path>: <why>"
};

struct BackupCheck {
    enum class Status {
        AsRead,      // every item asked for was read, and every file is as read
        NotAsRead,   // an item was never read, or a file changed since
        NoManifest,  // no BASE.manifest.json
        BadManifest, // one that cannot be read or is no valid manifest (`reason`)
    };
    Status status = Status::NoManifest;
    std::string manifestPath;
    std::string reason;
    Manifest manifest;
    std::vector<ItemCheck> items;

    int count(ItemCheck::State state) const;
};

// Reads BASE.manifest.json and each file it lists. Looks only; changes nothing.
BackupCheck checkBackup(const std::string& baseName);

// "bank 3 parameters (line1.pr3.zar4): edited since it was read"
std::string itemCheckText(const ItemCheck& check);
// "edited", "missing", "never read", "unreadable", "as read": the item's state in --json.
const char* itemStateName(ItemCheck::State state);

// One or two lines: when, where from, by what and what was asked for, how the read ended and
// how many files are as read; then what changed since, if anything. Without a manifest, or
// with one that cannot be read, one line that says so.
std::vector<std::string> backupSummary(const BackupCheck& check);

// What a read that completes an interrupted backup reads again: the items never read and
// those whose file is missing or changed since; the files that are as read stay.
struct ResumePlan {
    bool ok = false;
    std::string refusal;           // why this backup cannot be completed, as "<path>: <why>"
    BackupCheck check;             // the backup as it was found
    TransferRequest request;       // what the manifest's read asked for
    std::vector<ItemCheck> toRead; // in the order of the read

    bool reads(ItemKind kind, int item) const;
    // A changed file that the resumed read replaces (its file is there).
    std::vector<ItemCheck> replaced() const;
};
ResumePlan planResume(const std::string& baseName);

} // namespace zar4
