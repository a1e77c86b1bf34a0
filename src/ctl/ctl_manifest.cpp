#include "ctl/ctl_manifest.h"

#include "ctl/ctl.h"
#include "transfer/manifest.h"

#include <algorithm>
#include <ostream>

namespace zar4::ctl {

namespace {

JsonObject itemObject(const ItemCheck& check) {
    JsonObject o;
    addItem(o, check.item.kind, check.item.item)
        .add("file", check.path)
        .add("state", itemStateName(check.state));
    if (check.reason.empty())
        o.addNull("reason");
    else
        o.add("reason", check.reason);
    return o;
}

JsonObject manifestObject(const Manifest& m) {
    std::vector<std::string> kinds;
    if (m.parameters)
        kinds.push_back("parameters");
    if (m.patterns)
        kinds.push_back("patterns");
    JsonObject o;
    o.add("outcome", manifestOutcomeName(m.outcome))
        .add("started", m.started)
        .add("ended", m.ended)
        .add("resumed", m.resumed)
        .add("program", m.programName)
        .add("version", m.programVersion)
        .add("port", m.portName)
        .add("device", m.device)
        .add("rate", m.rate)
        .add("firstBank", m.firstBank)
        .add("lastBank", m.lastBank)
        .add("kinds", kinds);
    if (m.outcome == ManifestOutcome::Failed)
        o.add("failure", m.failure);
    else
        o.addNull("failure");
    return o;
}

std::string count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool given(const CtlOptions& o, const char* option) {
    return std::find(o.given.begin(), o.given.end(), option) != o.given.end();
}

} // namespace

int runCheck(const CtlOptions& o, Report& report, CommandResult& result) {
    BackupCheck check = checkBackup(o.base);
    result.hasCheck = true;
    if (check.status == BackupCheck::Status::NoManifest ||
        check.status == BackupCheck::Status::BadManifest) {
        const std::string message = (check.status == BackupCheck::Status::NoManifest
                                         ? "The backup has no manifest."
                                         : "The backup's manifest cannot be read.") +
                                    std::string("\n") + check.reason;
        report.human << "Error: " << message << "\n";
        report.events.emit(errorEvent(ErrorCode::File, message, ""));
        result.outcome = "failed";
        return kExitFailed;
    }
    result.summary = backupSummary(check);
    result.manifest = manifestObject(check.manifest);
    for (const auto& line : result.summary)
        report.human << line << "\n";
    for (const auto& item : check.items) {
        result.checked.push_back(itemObject(item));
        if (item.state != ItemCheck::State::AsRead)
            report.human << itemCheckText(item) << "\n";
    }
    const int neverRead = check.count(ItemCheck::State::NeverRead);
    const int changed =
        static_cast<int>(check.items.size()) - neverRead - check.count(ItemCheck::State::AsRead);
    if (check.status == BackupCheck::Status::AsRead) {
        report.human << "The backup is whole and every file is as read.\n";
        result.outcome = "complete";
        return kExitCompleted;
    }
    std::string verdict = "The backup is not as read:";
    if (neverRead > 0)
        verdict += " " + count(neverRead, "item", "items") + " never read" + (changed ? "," : "");
    if (changed > 0)
        verdict += " " + count(changed, "file", "files") + " changed since the read";
    report.human << verdict << ".\n";
    result.outcome = changed > 0 ? "changed" : "incomplete";
    return kExitDifferent;
}

void showManifestSummary(const std::string& base, Report& report, CommandResult& result) {
    BackupCheck check = checkBackup(base);
    result.summary = backupSummary(check);
    for (const auto& line : result.summary)
        report.human << line << "\n";
}

bool warnIfNotAsRead(const std::string& base, const TransferRequest& choice, std::ostream& err,
                     EventSink& events) {
    BackupCheck check = checkBackup(base);
    if (check.status == BackupCheck::Status::BadManifest) {
        const std::string text = "the backup's manifest cannot be read: " + check.reason;
        err << "Warning: " << text << "\n";
        events.emit(JsonObject::event("warning").add("text", text));
        return false;
    }
    if (check.status != BackupCheck::Status::NotAsRead)
        return false;
    std::vector<const ItemCheck*> found;
    const auto chosen = chosenItems(choice);
    for (const auto& item : check.items)
        if (item.state != ItemCheck::State::AsRead &&
            std::find(chosen.begin(), chosen.end(), std::pair{item.item.kind, item.item.item}) !=
                chosen.end())
            found.push_back(&item);
    if (found.empty())
        return false;
    const std::string text = "the backup " + base + " is not as it was read (" +
                             check.manifestPath +
                             "): " + count(static_cast<int>(found.size()), "item", "items") +
                             " never read or changed since";
    err << "Warning: " << text << "\n";
    std::vector<JsonObject> items;
    for (const ItemCheck* item : found) {
        err << "  " << itemCheckText(*item) << "\n";
        items.push_back(itemObject(*item));
    }
    err.flush();
    events.emit(JsonObject::event("warning").add("text", text).add("items", items));
    return true;
}

ResumeStart startResume(const CtlOptions& o) {
    ResumeStart start;
    start.plan = planResume(o.base);
    if (!start.plan.ok) {
        start.why = "The backup cannot be resumed.\n" + start.plan.refusal;
        return start;
    }
    const Manifest& m = start.plan.check.manifest;
    start.next = ResumeStart::Next::Usage;
    if (given(o, "--banks") && (o.firstBank != m.firstBank || o.lastBank != m.lastBank)) {
        start.why = "--banks " + std::to_string(o.firstBank) + "-" + std::to_string(o.lastBank) +
                    " contradicts the manifest, whose read asked for banks " +
                    std::to_string(m.firstBank) + "-" + std::to_string(m.lastBank);
        return start;
    }
    if ((given(o, "--parameters") || given(o, "--patterns")) &&
        (o.parameters != m.parameters || o.patterns != m.patterns)) {
        start.why = std::string("--parameters and --patterns must choose what the manifest's ") +
                    "read asked for: " +
                    (m.parameters && m.patterns ? "both"
                     : m.parameters             ? "--parameters alone"
                                                : "--patterns alone");
        return start;
    }
    start.baudIndex = indexForLineRate(m.rate);
    if (given(o, "--baud") && o.baudIndex != start.baudIndex) {
        start.why = "--baud contradicts the manifest, whose read went at " +
                    std::to_string(m.rate) + " bit/s";
        return start;
    }
    if (o.overwrite == Answer::No) {
        start.why = "--resume replaces the changed files it reads again; it does not take "
                    "--no-overwrite";
        return start;
    }
    start.next =
        start.plan.toRead.empty() ? ResumeStart::Next::NothingToRead : ResumeStart::Next::Read;
    return start;
}

TransferRequest resumeRequest(const ResumeStart& start) {
    TransferRequest request = start.plan.request;
    request.operation = Operation::Read;
    const ResumePlan& plan = start.plan;
    request.only = [&plan](ItemKind kind, int item) { return plan.reads(kind, item); };
    // The operator asked for the backup to be completed as it was read: a file that changed
    // since is read again and replaced without the overwrite question.
    request.overwriteAgreed = true;
    return request;
}

void tellResume(const ResumeStart& start, std::ostream& human, EventSink& events) {
    const ResumePlan& plan = start.plan;
    const int total = static_cast<int>(plan.check.items.size());
    human << "Resuming " << plan.request.baseName << ": reading "
          << count(static_cast<int>(plan.toRead.size()), "item", "items") << " of " << total
          << "; the other files are as read.\n";
    std::vector<JsonObject> replaced;
    for (const auto& item : plan.replaced()) {
        human << itemCheckText(item) << "; its file is replaced by what the sensor holds\n";
        replaced.push_back(itemObject(item));
    }
    if (!replaced.empty())
        events.emit(JsonObject::event("warning")
                        .add("text", "resuming replaces files that are not as read")
                        .add("items", replaced));
    human.flush();
}

} // namespace zar4::ctl
