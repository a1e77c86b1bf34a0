#pragma once
// zar4ctl and the backup's manifest: `check` (offline), the summary `show` begins with, the
// warning before `write` or `verify` sends a backup that is not as it was read, and what
// `read --resume` reads.

#include "ctl/ctl_events.h"
#include "ctl/ctl_inspect.h"
#include "ctl/ctl_options.h"
#include "transfer/manifest_check.h"

#include <iosfwd>
#include <string>

namespace zar4::ctl {

// check BASE: status 0 when every item asked for was read and every file is as read, 4 when
// an item was never read or a file changed since (each listed), 1 without a manifest or with
// one that cannot be read.
int runCheck(const CtlOptions& o, Report& report, CommandResult& result);

// The summary lines that `show` begins with (also with no manifest: it says so).
void showManifestSummary(const std::string& base, Report& report, CommandResult& result);

// Before `write` or `verify` sends or compares anything: the chosen items whose files the
// manifest says were never read or changed since, as a warning on `err` and a warning event
// naming them. True when there was any.
bool warnIfNotAsRead(const std::string& base, const TransferRequest& choice, std::ostream& err,
                     EventSink& events);

// What read --resume does, worked out before the port is opened.
struct ResumeStart {
    enum class Next { Read, NothingToRead, Refused, Usage };
    Next next = Next::Refused;
    std::string why; // Refused: the message for the operator; Usage: the reason
    ResumePlan plan;
    int baudIndex = 0;
};
// The banks, kinds and rate come from the manifest: an option typed that says otherwise is a
// usage error, as is --no-overwrite (a resumed read replaces the files it reads again).
ResumeStart startResume(const CtlOptions& o);
// The request of a resumed read: the manifest's, reading only the plan's items, replacing
// their changed files without asking.
TransferRequest resumeRequest(const ResumeStart& start);
// Tells what the resumed read will read and which changed files it will replace.
void tellResume(const ResumeStart& start, std::ostream& human, EventSink& events);

} // namespace zar4::ctl
