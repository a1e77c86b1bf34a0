#pragma once
// What a read leaves beside its files: the recorder takes each item as its file is written
// (its size and digest from the file as it now is on disk) and the outcome at the end, and
// writes the manifest. The data files are never touched. ManifestView feeds a recorder from
// a transfer's view, for the desktop program and the command line alike.

#include "common/message_service.h"
#include "transfer/manifest.h"
#include "transfer/transfer.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zar4 {

// Where a read comes from, as the manifest records it.
struct ReadOrigin {
    std::string programName; // "zar4loader", "zar4ctl"
    std::string portName;    // "COM3", or the device path the operator gave
    std::string device;      // the device behind it
    int rate = 0;            // bit/s
};

class ManifestRecorder {
public:
    using Clock = std::function<std::int64_t()>; // seconds since 1970, UTC

    // A new read of `request`; its manifest is BASE.manifest.json of the request's base.
    ManifestRecorder(const TransferRequest& request, const ReadOrigin& origin,
                     Clock clock = currentUtcSeconds);
    // A read that completes `previous`: of its items those for which `keep` holds stay as
    // they were recorded, the others are to be read again.
    ManifestRecorder(const TransferRequest& request, const ReadOrigin& origin,
                     const Manifest& previous, const std::function<bool(const ManifestItem&)>& keep,
                     Clock clock = currentUtcSeconds);

    // The item's file was written: its size and digest are taken from the file now. The
    // first file a read replaces makes the manifest say "unfinished" until the end, so that
    // a read that never ends cannot leave the previous manifest speaking for new files.
    void itemDone(ItemKind kind, int item, const std::string& path);

    // The end of the read: the outcome (and for a failure its words) goes into the manifest,
    // which is written. A read that wrote no file leaves a manifest already there as it is:
    // the files it speaks of are unchanged. False when the manifest could not be written,
    // with "<path>: <why>" in `reason`.
    bool finish(TransferOutcome outcome, const std::string& failure, std::string& reason);

    const Manifest& manifest() const { return manifest_; }
    const std::string& path() const { return path_; }
    // finish() left an existing manifest as it was.
    bool keptExisting() const { return keptExisting_; }

private:
    ManifestItem* find(ItemKind kind, int item);

    Manifest manifest_;
    std::string path_;
    Clock clock_;
    bool anyFile_ = false;
    bool keptExisting_ = false;
    std::string unreadable_; // a written file that could not be read back for its digest
};

// A transfer's view that passes everything on to `inner` and tells the recorder of each
// file written; it also keeps the words of the "Error" box that ends a failed transfer.
class ManifestView : public TransferView {
public:
    ManifestView(TransferView& inner, ManifestRecorder& recorder);

    void setStatusText(const std::string& text) override { inner_.setStatusText(text); }
    void setItemText(const std::string& text) override { inner_.setItemText(text); }
    void setProgress(int position) override { inner_.setProgress(position); }
    void pump() override { inner_.pump(); }
    MessageService& messages() override { return messages_; }
    int awaitSlowReply(int timeoutMs, const std::function<bool()>& replyArriving) override {
        return inner_.awaitSlowReply(timeoutMs, replyArriving);
    }
    void wireBytes(int bytes) override { inner_.wireBytes(bytes); }
    void itemStarted(ItemKind kind, int item) override { inner_.itemStarted(kind, item); }
    void itemDone(ItemKind kind, int item, const std::string& file) override;
    void itemSkipped(ItemKind kind, int item, const std::string& reason) override {
        inner_.itemSkipped(kind, item, reason);
    }

    // The text of the last "Error" box, the failure of a failed read.
    const std::string& failure() const { return messages_.lastError; }

private:
    class Messages : public MessageService {
    public:
        explicit Messages(TransferView& view) : view_(view) {}
        BoxAnswer show(const std::string& title, const std::string& text, BoxIcon icon,
                       BoxButtons buttons) override;
        std::string lastError;

    private:
        TransferView& view_;
    };

    TransferView& inner_;
    ManifestRecorder& recorder_;
    Messages messages_;
};

// The first words of the notice or warning about a manifest that could not be written.
constexpr const char* kManifestNotWritten =
    "The files were read, but the backup's manifest could not be written.";

} // namespace zar4
