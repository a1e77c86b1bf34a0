#pragma once
// The commands that check a backup: verify (the sensor against the files, on the read
// engine), diff (two backups on disk) and show (one backup in the parameter editor's words).
// None of them writes a data file or anything to the sensor.

#include "ctl/backup_compare.h"
#include "ctl/ctl_events.h"
#include "ctl/ctl_options.h"

#include <iosfwd>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zar4::ctl {

class ConsoleLine;

// What a command leaves for its result event.
struct CommandResult {
    std::string outcome;
    std::vector<std::string> files;
    std::vector<SkippedItem> skipped;
    int differences = -1;          // -1: the command compares nothing
    std::vector<JsonObject> banks; // show
    JsonObject common;             // show
    bool hasShow = false;
    std::vector<JsonObject> ports; // ports: one object per device
    std::string map;               // ports --map: the port-map lines
    bool hasPorts = false;
};

// Where a command's findings go: human lines (standard output, or standard error with --json)
// and the events.
struct Report {
    std::ostream& human;
    EventSink& events;
    int differences = 0;
    // A progress bar on the terminal that a line must not run into.
    ConsoleLine* line = nullptr;
    void difference(const Difference& d, const char* expectedLabel, const char* actualLabel);
    // Each invalid file of `backup` among the chosen items, as an error; true when there was one.
    bool invalidFiles(const Backup& backup, const TransferRequest& choice);
};

// Reads what `request` chooses from the sensor on `link` (connected) and compares it with
// `files`, reporting each difference; an item whose file is not Present, or (when `only` is
// not empty) that is not in `only`, is not read. The outcome is the read's. With `through`,
// the read goes on in that view (write --verify: one bar and one estimate for both phases).
TransferOutcome verifySensor(const TransferRequest& request, const Backup& files,
                             const std::set<std::pair<ItemKind, int>>& only, SerialLink& link,
                             ConsoleLine& line, MessageService& messages, bool showProgress,
                             Report& report, TransferView* through = nullptr);

// The human line after a verify: equal, or how many differences.
std::string verifySummary(int differences);

int runDiff(const CtlOptions& o, Report& report, CommandResult& result);
int runShow(const CtlOptions& o, Report& report, CommandResult& result);

} // namespace zar4::ctl
