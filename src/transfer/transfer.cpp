#include "transfer/transfer.h"

#include "common/file_access.h"
#include "common/safe_file.h"
#include "link/protocol.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "transfer/link_advice.h"
#include "transfer/transfer_texts.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

namespace zar4 {

namespace {

constexpr int kProgressQueried = 256;
constexpr int kProgressParameterSent = 384;
constexpr int kProgressItemDone = 512;
constexpr int kHalfBlocks[2] = {256, 160};
constexpr int kEvenBlockPixels = 128; // first part of a row
constexpr int kOddBlockPixels = 108;  // the rest of the row (236 - 128)

int frameBytes(Command code, bool replied) {
    const CommandInfo& info = commandInfo(code);
    return info.payloadSize + 2 + (replied ? info.replySize + 2 : 0);
}

std::string bankItemText(int bank) {
    char text[32];
    std::snprintf(text, sizeof text, "%s = %d", texts::kBankNo, bank);
    return text;
}

std::string missingBankFileQuestion(int bank, const char* message) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%s%d ", texts::kBankNumber, bank);
    return std::string(prefix) + message;
}

std::uint16_t blockWord(const std::uint8_t* data, int i) {
    return static_cast<std::uint16_t>(data[2 * i] | (data[2 * i + 1] << 8));
}

void putBlockWord(std::uint8_t* data, int i, std::uint32_t word) {
    data[2 * i] = static_cast<std::uint8_t>(word & 0xFF);
    data[2 * i + 1] = static_cast<std::uint8_t>((word >> 8) & 0xFF);
}

// Parameter file text as the read transfer writes it: one unsigned decimal word per line,
// each ended by a line feed alone.
std::string wordLines(const std::uint8_t* block, int count) {
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * 6);
    char line[16];
    for (int i = 0; i < count; ++i) {
        int n =
            std::snprintf(line, sizeof line, "%u\n", static_cast<unsigned>(blockWord(block, i)));
        text.append(line, static_cast<std::size_t>(n));
    }
    return text;
}

// A message about a file: the operator's text, then the file and the reason on the next line.
std::string withReason(const char* text, const std::string& reason) {
    return std::string(text) + "\n" + reason;
}

// A file of a write, read and checked before the first exchange; what is sent is these
// words or bytes, never the file as it may be by its turn.
struct CheckedFile {
    bool present = false; // false: not there, asked about at its turn
    std::array<std::uint16_t, kBankWords> words{};
    std::string bytes;
};

class Transfer {
public:
    Transfer(const TransferRequest& request, TransferView& view, SerialLink& link, ReadSink* sink)
        : request_(request), view_(view), link_(link), buffer_(link.transferBuffer), sink_(sink) {}

    TransferOutcome run();

private:
    bool stopped() const { return view_.stopRequest() != StopRequest::None; }
    bool chosen(int bank) const { return bankIsChosen(request_, bank); }
    void fail(TransferFailure why, const std::string& text) {
        failureText_ = text;
        failure_ = why;
        failed_ = true;
    }

    bool exchangeWithProgress(Command code, int progressBetween);
    bool queryParameterBlock(int item);
    bool mayCreate(const std::string& name);
    bool ask(const std::string& question);

    void readParameters();
    void readItem(int item);
    void readPatterns();
    void readPattern(int bank);
    bool receivePattern(int bank, const std::function<bool(int count)>& take);

    bool checkFilesBeforeWriting();
    bool checkParameterFile(int item);
    bool checkPatternFile(int bank);
    bool mayReplace(const std::string& name);

    void writeParameters();
    void writeItem(int item);
    bool completeCommonFile(const std::string& name, std::uint8_t* block);
    void writePatterns();
    void writePattern(int bank);

    TransferOutcome finish();

    const TransferRequest& request_;
    TransferView& view_;
    SerialLink& link_;
    std::uint8_t* buffer_; // the link's transferBuffer
    ReadSink* sink_;
    bool failed_ = false;
    std::string failureText_;
    TransferFailure failure_ = TransferFailure::None;
    bool anyDone_ = false;
    bool overwriteAgreed_ = false;
    std::array<CheckedFile, kCommonItem + 1> parameterFiles_;
    std::array<CheckedFile, kBankCount> patternFiles_;
};

// One command exchange with the table's sizes; the payload is already in the link's
// transferBuffer and the reply data land there. The progress bar moves between command and reply
// when asked.
bool Transfer::exchangeWithProgress(Command code, int progressBetween) {
    const CommandInfo& info = commandInfo(code);
    sendCommand(link_, code, buffer_, info.payloadSize);
    if (progressBetween >= 0)
        view_.setProgress(progressBetween);
    int timeoutMs = info.timeoutMs;
    // The sensor is silent while it writes its flash memory: the view may keep its window
    // drawn meanwhile, within the same time-out.
    if (code == Command::FlashPatternHalf)
        timeoutMs = std::clamp(
            view_.awaitSlowReply(timeoutMs, [this] { return link_.port().bytesWaiting() > 0; }), 0,
            timeoutMs);
    bool ok = receiveReply(link_, buffer_, info.replySize, timeoutMs, info.name);
    view_.wireBytes(frameBytes(code, ok));
    if (!ok)
        fail(TransferFailure::Line, linkFailureMessage(link_));
    return ok;
}

// GetParameterBlock for an item, with the model check of the sensor's block for a bank.
bool Transfer::queryParameterBlock(int item) {
    buffer_[0] = static_cast<std::uint8_t>(item);
    if (!exchangeWithProgress(Command::GetParameterBlock, kProgressQueried))
        return false;
    if (item < kBankCount && !blockIsThisModel(buffer_)) {
        fail(TransferFailure::Model, texts::kModelNotZar4);
        return false;
    }
    return true;
}

// A question box takes the window's waiting messages while it is open. A CANCEL clicked
// before the box appeared must not be lost behind it, so those messages are taken first; the
// stop is then seen at the next stop point, after the answer.
bool Transfer::ask(const std::string& question) {
    view_.pump();
    return view_.messages().ask(question);
}

// Before a data file is created: ask once per transfer when one of that name is there. The
// new file replaces the old one by a rename, so a file that is there but cannot be read is
// asked about too.
bool Transfer::mayCreate(const std::string& name) {
    if (overwriteAgreed_ || !pathExists(name))
        return true;
    if (ask(texts::kOverwriteFile)) {
        overwriteAgreed_ = true;
        return true;
    }
    view_.requestStop(StopRequest::Declined);
    return false;
}

TransferOutcome Transfer::run() {
    view_.setProgress(0);
    // Every data file name must fit the program's name buffer: refuse before any exchange.
    if (!baseNameFits(request_.baseName)) {
        fail(TransferFailure::BaseName, texts::kBaseNameTooLong);
        return finish();
    }
    if (request_.operation == Operation::Read) {
        readParameters();
        if (!(failed_ && !stopped()))
            readPatterns();
    } else if (checkFilesBeforeWriting()) {
        writeParameters();
        if (!(failed_ && !stopped()))
            writePatterns();
    }
    return finish();
}

// A data file of a read replaces only a plain file (or what a link to one points at) that
// the operator may write; anything else there is left as it was.
bool Transfer::mayReplace(const std::string& name) {
    const std::string problem = replaceTargetProblem(name, false);
    if (problem.empty())
        return true;
    fail(TransferFailure::File, withReason(texts::kFailedToCreateFile, fileReason(name, problem)));
    return false;
}

TransferOutcome Transfer::finish() {
    if (failed_ && !stopped()) {
        view_.failing(failure_);
        view_.messages().error(failureText_);
        return TransferOutcome::Failed;
    }
    bool read = request_.operation == Operation::Read;
    switch (view_.stopRequest()) {
    case StopRequest::Declined:
        view_.requestStop(StopRequest::None);
        return TransferOutcome::Declined;
    case StopRequest::Cancelled:
        view_.requestStop(StopRequest::None);
        view_.setStatusText(texts::kAborted);
        return TransferOutcome::Cancelled;
    case StopRequest::None:
        break;
    }
    if (anyDone_) {
        view_.setStatusText(read ? texts::kReadCompleted : texts::kWriteCompleted);
        return TransferOutcome::Completed;
    }
    view_.setStatusText(read ? texts::kNothingToRead : texts::kNothingToWrite);
    return TransferOutcome::NothingDone;
}

// ---------------------------------------------------------------------------------------
// Reading from the sensor

void Transfer::readParameters() {
    for (int item = 0; item <= kCommonItem; ++item) {
        if (!stopped())
            readItem(item);
        if (failed_ || stopped())
            return;
        view_.setProgress(kProgressItemDone);
    }
}

void Transfer::readItem(int item) {
    bool common = item == kCommonItem;
    if (!request_.includeParameters || (!common && !chosen(item)))
        return;
    if (sink_ && !sink_->wants(ItemKind::Parameters, item))
        return;
    view_.setStatusText(common ? texts::kReadingCommonParameters : texts::kReadingBankParameters);
    view_.itemStarted(ItemKind::Parameters, item);
    if (!queryParameterBlock(item))
        return;
    if (sink_) {
        sink_->parameterBlock(item, buffer_);
        anyDone_ = true;
        return;
    }
    std::string name = parameterFileName(request_.baseName, item);
    if (!mayReplace(name) || !mayCreate(name))
        return;
    std::string text = wordLines(buffer_, common ? kCommonWords : kBankWords);
    std::string reason;
    if (!writeFileSafely(name, text, &reason)) {
        fail(TransferFailure::File, withReason(texts::kFailedToCreateFile, reason));
        return;
    }
    anyDone_ = true;
    view_.itemDone(ItemKind::Parameters, item, name);
}

void Transfer::readPatterns() {
    view_.setStatusText(texts::kReadingPatterns);
    for (int bank = 0; bank <= kCommonItem; ++bank) {
        if (!request_.includePatterns || stopped() || !chosen(bank))
            continue;
        readPattern(bank);
        if (failed_ || stopped())
            return;
    }
    if (!stopped() && !failed_)
        view_.setProgress(kProgressItemDone);
}

// Asks the sensor for every block of the bank's pattern, both halves, handing each block's
// `count` words (in buffer_) to `take`, which returns false after a failure. True when
// the last block arrived; a failure or a stop ends it earlier.
bool Transfer::receivePattern(int bank, const std::function<bool(int count)>& take) {
    bool complete = false;
    for (int half = 0; half < 2 && !failed_ && !stopped(); ++half) {
        buffer_[0] = static_cast<std::uint8_t>(halfSelector(bank, half));
        if (!exchangeWithProgress(Command::LoadPatternHalf, -1))
            break;
        for (int block = 0; block < kHalfBlocks[half]; ++block) {
            buffer_[0] = static_cast<std::uint8_t>(block);
            if (!exchangeWithProgress(Command::GetPatternBlock, -1))
                break;
            if (!take((block % 2 == 0) ? kEvenBlockPixels : kOddBlockPixels))
                break;
            if (half == 1 && block == kHalfBlocks[1] - 1)
                complete = true;
            view_.setProgress((half * 256 + block) * 256 / 208);
            view_.pump();
            if (stopped())
                break;
        }
    }
    // A stop that came after the last block finds the pattern whole.
    return complete && !failed_;
}

void Transfer::readPattern(int bank) {
    if (sink_ && !sink_->wants(ItemKind::Pattern, bank))
        return;
    view_.itemStarted(ItemKind::Pattern, bank);
    if (!queryParameterBlock(bank))
        return;
    view_.setItemText(bankItemText(bank));
    view_.setProgress(0);
    if (sink_) {
        std::array<std::uint16_t, kEvenBlockPixels> words{};
        bool whole = receivePattern(bank, [&](int count) {
            for (int i = 0; i < count; ++i)
                words[static_cast<std::size_t>(i)] = blockWord(buffer_, i);
            sink_->patternWords(bank, words.data(), count);
            return true;
        });
        if (whole) {
            sink_->patternComplete(bank);
            anyDone_ = true;
        }
        return;
    }
    std::string name = patternFileName(request_.baseName, bank);
    if (!mayReplace(name) || !mayCreate(name))
        return;
    // The pattern goes to a temporary file that replaces the old one only when every block
    // arrived: a failure or a stop part-way leaves the previous file as it was.
    SafeFileWriter file;
    auto header = patternHeader();
    if (!file.open(name) || !file.write(header.data(), header.size())) {
        fail(TransferFailure::File, withReason(texts::kFailedToCreateFile, file.failure()));
        return;
    }
    std::array<std::uint8_t, kEvenBlockPixels * 3> pixels{};
    bool complete = receivePattern(bank, [&](int count) {
        for (int i = 0; i < count; ++i)
            wordToFilePixel(blockWord(buffer_, i), &pixels[static_cast<std::size_t>(i) * 3]);
        if (file.write(pixels.data(), static_cast<std::size_t>(count) * 3))
            return true;
        fail(TransferFailure::File, withReason(texts::kFailedToCreateFile, file.failure()));
        return false;
    });
    if (!complete) {
        file.abandon();
        return;
    }
    if (!file.commit()) {
        fail(TransferFailure::File, withReason(texts::kFailedToCreateFile, file.failure()));
        return;
    }
    anyDone_ = true;
    view_.itemDone(ItemKind::Pattern, bank, name);
}

// ---------------------------------------------------------------------------------------
// Writing to the sensor

// Before the first exchange of a write, every file the write will send is read and checked:
// a restore that stops half-way would leave the sensor holding half of one backup and half
// of another. A missing file is no fault here: the operator is asked about it at its turn.
bool Transfer::checkFilesBeforeWriting() {
    if (request_.includeParameters) {
        for (int item = 0; item <= kCommonItem; ++item) {
            if ((item == kCommonItem || chosen(item)) && !checkParameterFile(item))
                return false;
        }
    }
    if (request_.includePatterns) {
        for (int bank = 0; bank < kBankCount; ++bank) {
            if (chosen(bank) && !checkPatternFile(bank))
                return false;
        }
    }
    return true;
}

bool Transfer::checkParameterFile(int item) {
    const bool common = item == kCommonItem;
    const std::string name = parameterFileName(request_.baseName, item);
    const FileRead file = readRegularFile(name, kSmallFileLimit);
    switch (file.status) {
    case FileRead::Status::Missing:
        return true;
    case FileRead::Status::Unreadable:
        fail(TransferFailure::File, withReason(texts::kParametersFileUnreadable, file.reason));
        return false;
    case FileRead::Status::NotRegular:
    case FileRead::Status::TooLarge:
        fail(TransferFailure::File, withReason(texts::kParametersFileInvalid, file.reason));
        return false;
    case FileRead::Status::Ok:
        break;
    }
    CheckedFile& checked = parameterFiles_[static_cast<std::size_t>(item)];
    const std::string why =
        readStrictValueLines(file.bytes, checked.words.data(), common ? kCommonWords : kBankWords);
    if (!why.empty()) {
        fail(TransferFailure::File,
             withReason(texts::kParametersFileInvalid, fileReason(name, why)));
        return false;
    }
    // The file's own model mark: the high bytes of words 8 and 9.
    if (!common && ((checked.words[8] >> 8) != 0 || (checked.words[9] >> 8) != 0)) {
        view_.failing(TransferFailure::File);
        view_.messages().error(withReason(texts::kFileModelNotZar4, name));
        fail(TransferFailure::Aborted, texts::kTransferAborted);
        return false;
    }
    checked.present = true;
    return true;
}

bool Transfer::checkPatternFile(int bank) {
    const std::string name = patternFileName(request_.baseName, bank);
    FileRead file = readRegularFile(name, static_cast<std::size_t>(kPatternFileSize));
    std::string reason = file.reason;
    if (file.status == FileRead::Status::Missing)
        return true;
    if (file.status == FileRead::Status::TooLarge) {
        reason = fileReason(name, "holds more than the 147318 bytes of a pattern file");
    } else if (file.status == FileRead::Status::Ok) {
        // Only a whole pattern file with the header of a 24-bit pattern is sent: anything
        // else would put undefined pixels into the sensor's flash memory.
        if (file.bytes.size() != static_cast<std::size_t>(kPatternFileSize)) {
            reason = fileReason(name, "holds " + std::to_string(file.bytes.size()) +
                                          " bytes, not the 147318 of a pattern file");
        } else if (!headerAcceptedForSending(
                       reinterpret_cast<const std::uint8_t*>(file.bytes.data()))) {
            reason = fileReason(name, "has no header of a 24-bit pattern file");
        } else {
            CheckedFile& checked = patternFiles_[static_cast<std::size_t>(bank)];
            checked.bytes = std::move(file.bytes);
            checked.present = true;
            return true;
        }
    }
    fail(TransferFailure::File, withReason(texts::kPatternsFileInvalid, reason));
    return false;
}

void Transfer::writeParameters() {
    for (int item = 0; item <= kCommonItem; ++item) {
        if (!stopped())
            writeItem(item);
        if (failed_ || stopped())
            return;
        view_.setProgress(kProgressItemDone);
    }
}

// The common file holds the sensor's common block, of which the operator's file keeps the
// first five words: before sending, the file's five words are merged into the block the
// sensor holds now (into `block`) and the file is rewritten with all 32. False when the item
// is to be skipped (the operator was told).
bool Transfer::completeCommonFile(const std::string& name, std::uint8_t* block) {
    const CheckedFile& checked = parameterFiles_[kCommonItem];
    if (!checked.present) {
        view_.messages().notice(texts::kCommonFileNotice);
        view_.itemSkipped(ItemKind::Parameters, kCommonItem, "not found");
        return false;
    }
    std::copy(buffer_, buffer_ + kBankWords * 2, block);
    for (int i = 0; i < kCommonWords; ++i)
        putBlockWord(block, i, checked.words[static_cast<std::size_t>(i)]);
    std::string reason;
    if (!writeFileSafely(name, wordLines(block, kBankWords), &reason)) {
        view_.messages().notice(withReason(texts::kCommonFileNotice, reason));
        view_.itemSkipped(ItemKind::Parameters, kCommonItem, "cannot be rewritten");
        return false;
    }
    return true;
}

void Transfer::writeItem(int item) {
    bool common = item == kCommonItem;
    if (!request_.includeParameters || (!common && !chosen(item)))
        return;
    view_.setStatusText(common ? texts::kWritingCommonParameters : texts::kWritingBankParameters);
    view_.itemStarted(ItemKind::Parameters, item);
    if (!queryParameterBlock(item))
        return;
    std::string name = parameterFileName(request_.baseName, item);
    std::uint8_t payload[1 + kBankWords * 2];
    payload[0] = static_cast<std::uint8_t>(item);
    if (common) {
        // What is sent is what the rewritten file holds: the file's five words and the
        // sensor's own words 5 to 31.
        if (!completeCommonFile(name, payload + 1))
            return;
    } else {
        const CheckedFile& checked = parameterFiles_[static_cast<std::size_t>(item)];
        if (!checked.present) {
            if (ask(missingBankFileQuestion(item, texts::kParametersFileMissing)))
                fail(TransferFailure::Aborted, texts::kTransferAborted);
            else
                view_.itemSkipped(ItemKind::Parameters, item, "not found");
            return;
        }
        for (int i = 0; i < kBankWords; ++i)
            putBlockWord(payload + 1, i, checked.words[static_cast<std::size_t>(i)]);
    }
    if (!queryParameterBlock(item))
        return;
    if (stopped())
        return;
    std::copy(payload, payload + sizeof payload, buffer_);
    if (!exchangeWithProgress(Command::PutParameterBlock, kProgressParameterSent))
        return;
    anyDone_ = true;
    view_.itemDone(ItemKind::Parameters, item, name);
}

void Transfer::writePatterns() {
    view_.setStatusText(texts::kWritingPatterns);
    for (int bank = 0; bank <= kCommonItem; ++bank) {
        if (!request_.includePatterns || stopped())
            continue;
        // The sensor is asked for every item's block, chosen or not, before its pattern.
        if (!queryParameterBlock(bank))
            return;
        if (!chosen(bank))
            continue;
        writePattern(bank);
        if (failed_ || stopped())
            return;
    }
    if (!stopped() && !failed_)
        view_.setProgress(kProgressItemDone);
}

void Transfer::writePattern(int bank) {
    view_.itemStarted(ItemKind::Pattern, bank);
    std::string bankText = bankItemText(bank);
    view_.setItemText(bankText);
    view_.setProgress(0);
    const CheckedFile& file = patternFiles_[static_cast<std::size_t>(bank)];
    if (!file.present) {
        if (ask(missingBankFileQuestion(bank, texts::kPatternsFileMissing)))
            fail(TransferFailure::Aborted, texts::kTransferAborted);
        else
            view_.itemSkipped(ItemKind::Pattern, bank, "not found");
        return;
    }
    const std::uint8_t* pixel =
        reinterpret_cast<const std::uint8_t*>(file.bytes.data()) + kPatternHeaderSize;
    for (int half = 0; half < 2; ++half) {
        for (int block = 0; block < kHalfBlocks[half]; ++block) {
            std::fill(buffer_, buffer_ + 1 + kEvenBlockPixels * 2, 0);
            buffer_[0] = static_cast<std::uint8_t>(block);
            int count = (block % 2 == 0) ? kEvenBlockPixels : kOddBlockPixels;
            for (int i = 0; i < count; ++i, pixel += 3)
                putBlockWord(buffer_ + 1, i, filePixelToWord(pixel));
            if (!exchangeWithProgress(Command::PutPatternBlock, -1))
                return;
            view_.setProgress((half * 256 + block) * 256 / 208);
            view_.pump();
            if (stopped())
                return;
        }
        view_.setItemText(texts::kWritingFlash);
        buffer_[0] = static_cast<std::uint8_t>(halfSelector(bank, half));
        if (!exchangeWithProgress(Command::FlashPatternHalf, -1))
            return;
        view_.setItemText(bankText);
    }
    anyDone_ = true;
    view_.itemDone(ItemKind::Pattern, bank, patternFileName(request_.baseName, bank));
}

} // namespace

bool bankIsChosen(const TransferRequest& request, int bank) {
    return bank >= 0 && bank < kBankCount && request.firstBank <= bank && bank <= request.lastBank;
}

std::int64_t plannedWireBytes(const TransferRequest& request) {
    auto bytes = [](Command code) -> std::int64_t { return frameBytes(code, true); };
    std::int64_t chosenBanks = 0;
    for (int bank = 0; bank < kBankCount; ++bank)
        chosenBanks += bankIsChosen(request, bank) ? 1 : 0;
    std::int64_t blocks = kHalfBlocks[0] + kHalfBlocks[1];
    std::int64_t total = 0;
    if (request.operation == Operation::Read) {
        if (request.includeParameters)
            total += (chosenBanks + 1) * bytes(Command::GetParameterBlock);
        if (request.includePatterns)
            total += chosenBanks *
                     (bytes(Command::GetParameterBlock) + 2 * bytes(Command::LoadPatternHalf) +
                      blocks * bytes(Command::GetPatternBlock));
    } else {
        if (request.includeParameters)
            total += (chosenBanks + 1) *
                     (2 * bytes(Command::GetParameterBlock) + bytes(Command::PutParameterBlock));
        if (request.includePatterns)
            total += (kCommonItem + 1) * bytes(Command::GetParameterBlock) +
                     chosenBanks * (blocks * bytes(Command::PutPatternBlock) +
                                    2 * bytes(Command::FlashPatternHalf));
    }
    return total;
}

TransferOutcome runTransfer(const TransferRequest& request, TransferView& view, SerialLink& link,
                            ReadSink* sink) {
    link.clearFailure();
    Transfer transfer(request, view, link, sink);
    return transfer.run();
}

} // namespace zar4
