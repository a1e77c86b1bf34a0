#include "transfer/manifest_recorder.h"

#include "common/file_access.h"
#include "common/sha256.h"
#include "common/version.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"

namespace zar4 {

namespace {

Manifest startManifest(const TransferRequest& request, const ReadOrigin& origin, std::int64_t now) {
    Manifest m;
    m.programName = origin.programName;
    m.programVersion = kProjectVersion;
    m.started = m.ended = isoUtcTime(now);
    m.portName = origin.portName;
    m.device = origin.device;
    m.rate = origin.rate;
    m.firstBank = request.firstBank;
    m.lastBank = request.lastBank;
    m.parameters = request.includeParameters;
    m.patterns = request.includePatterns;
    m.items = manifestItemsFor(request);
    return m;
}

ManifestOutcome manifestOutcome(TransferOutcome outcome) {
    switch (outcome) {
    case TransferOutcome::Completed:
    case TransferOutcome::NothingDone:
        return ManifestOutcome::Complete;
    case TransferOutcome::Cancelled:
        return ManifestOutcome::Cancelled;
    case TransferOutcome::Declined:
        return ManifestOutcome::Declined;
    case TransferOutcome::Failed:
        break;
    }
    return ManifestOutcome::Failed;
}

} // namespace

ManifestRecorder::ManifestRecorder(const TransferRequest& request, const ReadOrigin& origin,
                                   Clock clock)
    : manifest_(startManifest(request, origin, clock())), path_(manifestFileName(request.baseName)),
      clock_(std::move(clock)) {}

ManifestRecorder::ManifestRecorder(const TransferRequest& request, const ReadOrigin& origin,
                                   const Manifest& previous,
                                   const std::function<bool(const ManifestItem&)>& keep,
                                   Clock clock)
    : ManifestRecorder(request, origin, std::move(clock)) {
    manifest_.resumed = previous.resumed;
    manifest_.resumed.push_back(manifest_.started);
    manifest_.started = previous.started;
    for (auto& item : manifest_.items)
        for (const auto& before : previous.items)
            if (before.kind == item.kind && before.item == item.item && before.read &&
                keep(before)) {
                item.read = true;
                item.size = before.size;
                item.sha256 = before.sha256;
            }
}

ManifestItem* ManifestRecorder::find(ItemKind kind, int item) {
    for (auto& m : manifest_.items)
        if (m.kind == kind && m.item == item)
            return &m;
    return nullptr;
}

void ManifestRecorder::itemDone(ItemKind kind, int item, const std::string& path) {
    ManifestItem* m = find(kind, item);
    if (!m)
        return;
    FileRead file = readRegularFile(path, kind == ItemKind::Parameters
                                              ? kSmallFileLimit
                                              : static_cast<std::size_t>(kPatternFileSize));
    if (file.status == FileRead::Status::Ok) {
        m->read = true;
        m->size = static_cast<std::int64_t>(file.bytes.size());
        m->sha256 = sha256Hex(file.bytes);
    } else {
        m->read = false;
        unreadable_ = file.reason;
    }
    if (!anyFile_) {
        anyFile_ = true;
        Manifest unfinished = manifest_;
        unfinished.outcome = ManifestOutcome::Unfinished;
        unfinished.ended = isoUtcTime(clock_());
        std::string ignored; // a manifest that cannot be written is told at the end
        writeManifest(path_, unfinished, ignored);
    }
}

bool ManifestRecorder::finish(TransferOutcome outcome, const std::string& failure,
                              std::string& reason) {
    manifest_.ended = isoUtcTime(clock_());
    manifest_.outcome = manifestOutcome(outcome);
    manifest_.failure = manifest_.outcome == ManifestOutcome::Failed ? failure : "";
    if (manifest_.outcome == ManifestOutcome::Failed && manifest_.failure.empty())
        manifest_.failure = "the read failed";
    // A complete read whose file could not be read back is not recorded as complete: the
    // manifest could not vouch for that file.
    if (manifest_.outcome == ManifestOutcome::Complete &&
        manifest_.readCount() != static_cast<int>(manifest_.items.size())) {
        manifest_.outcome = ManifestOutcome::Failed;
        manifest_.failure = "a file could not be read back for its digest: " + unreadable_;
    }
    if (!anyFile_ && pathExists(path_)) {
        keptExisting_ = true;
        return true;
    }
    return writeManifest(path_, manifest_, reason);
}

ManifestView::ManifestView(TransferView& inner, ManifestRecorder& recorder)
    : inner_(inner), recorder_(recorder), messages_(inner) {}

void ManifestView::itemDone(ItemKind kind, int item, const std::string& file) {
    recorder_.itemDone(kind, item, file);
    inner_.itemDone(kind, item, file);
}

BoxAnswer ManifestView::Messages::show(const std::string& title, const std::string& text,
                                       BoxIcon icon, BoxButtons buttons) {
    if (title == "Error")
        lastError = text;
    return view_.messages().show(title, text, icon, buttons);
}

} // namespace zar4
