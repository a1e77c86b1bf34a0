#include "transfer/transfer.h"

#include "common/safe_file.h"
#include "link/protocol.h"
#include "link/serial_port.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "transfer/transfer_texts.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zar4 {

StopRequest stopRequest = StopRequest::None;

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

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Reads a whole pattern file, refusing anything beyond the size a pattern file has. Returns
// false when the file cannot be opened; `bytes` then stays empty.
bool readPatternFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // One byte more than a pattern file holds shows a file that is too long.
    bytes.resize(static_cast<std::size_t>(kPatternFileSize) + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return true;
}

class Transfer {
public:
    Transfer(const TransferRequest& request, TransferView& view, int port)
        : request_(request), view_(view), port_(port) {}

    TransferOutcome run();

private:
    bool stopped() const { return stopRequest != StopRequest::None; }
    bool chosen(int bank) const { return bankIsChosen(request_, bank); }
    void fail(const char* text) {
        lastErrorText = text;
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

    void writeParameters();
    void writeItem(int item);
    bool completeCommonFile(const std::string& name);
    void writePatterns();
    void writePattern(int bank);

    TransferOutcome finish();

    const TransferRequest& request_;
    TransferView& view_;
    int port_;
    bool failed_ = false;
    bool anyDone_ = false;
    bool overwriteAgreed_ = false;
};

// One command exchange with the table's sizes; the payload is already in transferBuffer and
// the reply data land there. The progress bar moves between command and reply when asked.
bool Transfer::exchangeWithProgress(Command code, int progressBetween) {
    const CommandInfo& info = commandInfo(code);
    sendCommand(port_, code, transferBuffer, info.payloadSize);
    if (progressBetween >= 0)
        view_.setProgress(progressBetween);
    int timeoutMs = info.timeoutMs;
    // The sensor is silent while it writes its flash memory: the view may keep its window
    // drawn meanwhile, within the same time-out.
    if (code == Command::FlashPatternHalf)
        timeoutMs =
            std::clamp(view_.awaitSlowReply(timeoutMs, [this] { return bytesWaiting(port_) > 0; }),
                       0, timeoutMs);
    bool ok = receiveReply(port_, transferBuffer, info.replySize, timeoutMs);
    view_.wireBytes(frameBytes(code, ok));
    if (!ok)
        failed_ = true; // receiveReply left its words in lastErrorText
    return ok;
}

// GetParameterBlock for an item, with the model check of the sensor's block for a bank.
bool Transfer::queryParameterBlock(int item) {
    transferBuffer[0] = static_cast<std::uint8_t>(item);
    if (!exchangeWithProgress(Command::GetParameterBlock, kProgressQueried))
        return false;
    if (item < kBankCount && !blockIsThisModel(transferBuffer)) {
        fail(texts::kModelNotZar4);
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
    if (overwriteAgreed_ || !(fileIsReadable(name) || pathExists(name)))
        return true;
    if (ask(texts::kOverwriteFile)) {
        overwriteAgreed_ = true;
        return true;
    }
    stopRequest = StopRequest::Declined;
    return false;
}

TransferOutcome Transfer::run() {
    view_.setProgress(0);
    // Every data file name must fit the program's name buffer: refuse before any exchange.
    if (!baseNameFits(request_.baseName)) {
        fail(texts::kBaseNameTooLong);
        return finish();
    }
    if (request_.operation == Operation::Read) {
        readParameters();
        if (!(failed_ && !stopped()))
            readPatterns();
    } else {
        writeParameters();
        if (!(failed_ && !stopped()))
            writePatterns();
    }
    return finish();
}

TransferOutcome Transfer::finish() {
    if (failed_ && !stopped()) {
        view_.messages().error(lastErrorText);
        return TransferOutcome::Failed;
    }
    bool read = request_.operation == Operation::Read;
    switch (stopRequest) {
    case StopRequest::Declined:
        stopRequest = StopRequest::None;
        return TransferOutcome::Declined;
    case StopRequest::Cancelled:
        stopRequest = StopRequest::None;
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
    view_.setStatusText(common ? texts::kReadingCommonParameters : texts::kReadingBankParameters);
    if (!queryParameterBlock(item))
        return;
    std::string name = parameterFileName(request_.baseName, item);
    if (!mayCreate(name))
        return;
    std::string text = wordLines(transferBuffer, common ? kCommonWords : kBankWords);
    if (!writeFileSafely(name, text)) {
        fail(texts::kFailedToCreateFile);
        return;
    }
    anyDone_ = true;
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

void Transfer::readPattern(int bank) {
    if (!queryParameterBlock(bank))
        return;
    view_.setItemText(bankItemText(bank));
    view_.setProgress(0);
    std::string name = patternFileName(request_.baseName, bank);
    if (!mayCreate(name))
        return;
    // The pattern goes to a temporary file that replaces the old one only when every block
    // arrived: a failure or a stop part-way leaves the previous file as it was.
    SafeFileWriter file;
    auto header = patternHeader();
    if (!file.open(name) || !file.write(header.data(), header.size())) {
        fail(texts::kFailedToCreateFile);
        return;
    }
    std::array<std::uint8_t, kEvenBlockPixels * 3> pixels{};
    bool complete = false;
    for (int half = 0; half < 2 && !failed_ && !stopped(); ++half) {
        transferBuffer[0] = static_cast<std::uint8_t>(halfSelector(bank, half));
        if (!exchangeWithProgress(Command::LoadPatternHalf, -1))
            break;
        for (int block = 0; block < kHalfBlocks[half]; ++block) {
            transferBuffer[0] = static_cast<std::uint8_t>(block);
            if (!exchangeWithProgress(Command::GetPatternBlock, -1))
                break;
            int count = (block % 2 == 0) ? kEvenBlockPixels : kOddBlockPixels;
            for (int i = 0; i < count; ++i)
                wordToFilePixel(blockWord(transferBuffer, i),
                                &pixels[static_cast<std::size_t>(i) * 3]);
            if (!file.write(pixels.data(), static_cast<std::size_t>(count) * 3)) {
                fail(texts::kFailedToCreateFile);
                break;
            }
            if (half == 1 && block == kHalfBlocks[1] - 1)
                complete = true;
            view_.setProgress((half * 256 + block) * 256 / 208);
            view_.pump();
            if (stopped())
                break;
        }
    }
    // A stop that came after the last block finds the pattern whole: keep it.
    if (!complete || failed_) {
        file.abandon();
        return;
    }
    if (!file.commit()) {
        fail(texts::kFailedToCreateFile);
        return;
    }
    anyDone_ = true;
}

// ---------------------------------------------------------------------------------------
// Writing to the sensor

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
// sensor holds now and the file is rewritten with all 32. False when the item is to be
// skipped (the operator was told) or the transfer failed.
bool Transfer::completeCommonFile(const std::string& name) {
    std::int32_t fileWords[kCommonWords] = {};
    int lines = readValueLines(name, fileWords, kCommonWords);
    if (lines < 0) {
        view_.messages().notice(texts::kCommonFileNotice);
        return false;
    }
    if (lines < kCommonWords) {
        // The missing words have no value to send: refuse the file rather than guess.
        fail(texts::kParametersFileInvalid);
        return false;
    }
    std::uint8_t block[kBankWords * 2];
    std::copy(transferBuffer, transferBuffer + sizeof block, block);
    for (int i = 0; i < kCommonWords; ++i)
        putBlockWord(block, i, static_cast<std::uint32_t>(fileWords[i]));
    if (!writeFileSafely(name, wordLines(block, kBankWords))) {
        view_.messages().notice(texts::kCommonFileNotice);
        return false;
    }
    return true;
}

void Transfer::writeItem(int item) {
    bool common = item == kCommonItem;
    if (!request_.includeParameters || (!common && !chosen(item)))
        return;
    view_.setStatusText(common ? texts::kWritingCommonParameters : texts::kWritingBankParameters);
    if (!queryParameterBlock(item))
        return;
    std::string name = parameterFileName(request_.baseName, item);
    if (common && !completeCommonFile(name))
        return;

    std::int32_t words[kBankWords] = {};
    int lines = readValueLines(name, words, kBankWords);
    if (lines < 0) {
        std::string question = common
                                   ? std::string(texts::kCommonFileMissing)
                                   : missingBankFileQuestion(item, texts::kParametersFileMissing);
        if (ask(question))
            fail(texts::kTransferAborted);
        return;
    }
    if (!queryParameterBlock(item))
        return;
    if (lines < kBankWords) {
        fail(texts::kParametersFileInvalid);
        return;
    }
    std::uint8_t payload[1 + kBankWords * 2];
    payload[0] = static_cast<std::uint8_t>(item);
    for (int i = 0; i < kBankWords; ++i)
        putBlockWord(payload + 1, i, static_cast<std::uint32_t>(words[i]));
    if (!common && !blockIsThisModel(payload + 1)) {
        view_.messages().error(texts::kFileModelNotZar4);
        fail(texts::kTransferAborted);
        return;
    }
    if (stopped())
        return;
    std::copy(payload, payload + sizeof payload, transferBuffer);
    if (!exchangeWithProgress(Command::PutParameterBlock, kProgressParameterSent))
        return;
    anyDone_ = true;
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
    std::string bankText = bankItemText(bank);
    view_.setItemText(bankText);
    view_.setProgress(0);
    std::vector<std::uint8_t> file;
    if (!readPatternFile(patternFileName(request_.baseName, bank), file)) {
        if (ask(missingBankFileQuestion(bank, texts::kPatternsFileMissing)))
            fail(texts::kTransferAborted);
        return;
    }
    // Only a whole pattern file with the header of a 24-bit pattern is sent: anything else
    // would put undefined pixels into the sensor's flash memory.
    if (file.size() != static_cast<std::size_t>(kPatternFileSize) ||
        !headerAcceptedForSending(file.data())) {
        fail(texts::kPatternsFileInvalid);
        return;
    }
    const std::uint8_t* pixel = file.data() + kPatternHeaderSize;
    for (int half = 0; half < 2; ++half) {
        for (int block = 0; block < kHalfBlocks[half]; ++block) {
            std::fill(transferBuffer, transferBuffer + 1 + kEvenBlockPixels * 2, 0);
            transferBuffer[0] = static_cast<std::uint8_t>(block);
            int count = (block % 2 == 0) ? kEvenBlockPixels : kOddBlockPixels;
            for (int i = 0; i < count; ++i, pixel += 3)
                putBlockWord(transferBuffer + 1, i, filePixelToWord(pixel));
            if (!exchangeWithProgress(Command::PutPatternBlock, -1))
                return;
            view_.setProgress((half * 256 + block) * 256 / 208);
            view_.pump();
            if (stopped())
                return;
        }
        view_.setItemText(texts::kWritingFlash);
        transferBuffer[0] = static_cast<std::uint8_t>(halfSelector(bank, half));
        if (!exchangeWithProgress(Command::FlashPatternHalf, -1))
            return;
        view_.setItemText(bankText);
    }
    anyDone_ = true;
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

TransferOutcome runTransfer(const TransferRequest& request, TransferView& view, int port) {
    Transfer transfer(request, view, port);
    return transfer.run();
}

} // namespace zar4
