#include "params/parameter_set.h"

#include "common/file_access.h"
#include "common/safe_file.h"

namespace zar4 {

const char* const kInvalidFileText = "The parameters file is invalid.";
const char* const kWrongModelText = "The model of the parameters file is not ZAR4. ";
const char* const kUnreadableFileText = "Failed to read a parameters file.";
const char* const kNothingFoundQuestion = "Bank parameters file and Common parameters file are "
                                          "not found. Create an initial data. Do you agree?";
const char* const kNothingFoundText =
    "Bank parameters file and Common parameters file are not found.";
const char* const kNoBankFileQuestion =
    "Bank parameters file is not found. Create an initial data. Do you agree?";
const char* const kNoCommonFileQuestion =
    "Common parameters file is not found. Create an initial data. Do you agree?";
const char* const kWriteFailedText = "Failed to write a setup file.";
const char* const kBaseNameTooLongText =
    "The file name is too long. A file name may hold at most 250 characters.";
const char* const kBaseNameEmptyText = "The file name is empty. Enter a file name.";
const char* const kFailedToCreateFileText = "Failed to create the file.";
const char* const kCopyDestinationQuestion = "Bank parameters file at the copy destination is "
                                             "not found. Create data. Do you agree?";
const char* const kDiscardQuestion = "Quit and Discard the edited parameters. Do you agree?";

ParameterSet& parameterSet() {
    static ParameterSet set;
    return set;
}

bool bankPresent(const ParameterSet& set, int bank) {
    return bank >= 0 && bank < kBankCount && (set.missingMask & bankMissingBit(bank)) == 0;
}

bool commonPresent(const ParameterSet& set) {
    return (set.missingMask & kCommonMissingBit) == 0;
}

bool anyBankPresent(const ParameterSet& set) {
    return lowestPresentBank(set) >= 0;
}

int lowestPresentBank(const ParameterSet& set) {
    for (int k = 0; k < kBankCount; ++k) {
        if (bankPresent(set, k))
            return k;
    }
    return -1;
}

namespace {

BankRecord initialBankRecord(std::int32_t shutter, std::int32_t word25) {
    BankRecord r;
    r.words[0] = 5;
    r.words[8] = 236;
    r.words[9] = 208;
    r.words[10] = 100;
    r.words[11] = 100;
    r.words[14] = 1;
    r.words[15] = shutter;
    r.words[16] = 1654;
    r.words[17] = 1640;
    r.words[21] = 472;
    r.words[22] = 416;
    r.words[23] = 49088;
    r.words[25] = word25;
    r.words[26] = 8192;
    return r;
}

// The model check over the mark words that a file of `lines` value lines held: word 8 is its
// 9th line, word 9 its 10th.
bool markWordsReadAreThisModel(const std::int32_t* words, int lines) {
    std::int32_t held[kBankWords] = {};
    if (lines > 8)
        held[8] = words[8];
    if (lines > 9)
        held[9] = words[9];
    return bankWordsAreThisModel(held);
}

} // namespace

BankRecord initialBankRecordA() {
    return initialBankRecord(0, 7);
}
BankRecord initialBankRecordB() {
    return initialBankRecord(100, 6);
}

CommonRecord initialCommonRecord() {
    CommonRecord r;
    r.words[0] = 16;
    r.words[4] = 32;
    return r;
}

ReadResult readRecord(const std::string& name, int item, ParameterSet& set, int* linesRead,
                      std::string* reason) {
    const bool common = item == kCommonItem;
    std::int32_t* words = common ? set.common.words.data() : set.bank[item].words.data();
    const int count = common ? kCommonWords : kBankWords;
    if (linesRead)
        *linesRead = 0;
    // The editor reads leniently, but only a plain file and only its first 64 KiB (every
    // value line a sound file has lies there): a pipe or a huge file never holds it up.
    const FileRead file = readRegularFile(name, kSmallFileLimit, BeyondLimit::Ignore);
    // Only a file that is not there is "missing". One that is there but cannot be read must
    // not be taken for missing: the operator could then create initial data and save it over
    // the real file.
    if (file.status == FileRead::Status::Missing)
        return ReadResult::NotFound;
    if (file.status != FileRead::Status::Ok) {
        if (reason)
            *reason = file.reason;
        return ReadResult::Unreadable;
    }
    const int lines = readValueLinesFromText(file.bytes, words, count, file.truncated);
    if (linesRead)
        *linesRead = lines;
    if (lines >= count)
        return ReadResult::Complete;
    if (reason)
        *reason = fileReason(name, "holds " + std::to_string(lines) + " of its " +
                                       std::to_string(count) + " value lines");
    return ReadResult::Short;
}

bool openForEditing(ParameterSet& set, const std::string& base, MessageService& messages) {
    if (!baseNameFits(base)) {
        messages.notice(kBaseNameTooLongText);
        return false;
    }
    set.missingMask = 0;
    const char* failure = nullptr;
    std::string failureReason;
    for (int k = 0; k <= kCommonItem; ++k) {
        int lines = 0;
        std::string reason;
        const std::string name = parameterFileName(base, k);
        const ReadResult result = readRecord(name, k, set, &lines, &reason);
        if (result == ReadResult::NotFound) {
            set.missingMask |= kCommonMissingBit;
        } else if (result == ReadResult::Short) {
            failure = kInvalidFileText;
            failureReason = reason;
        } else if (result == ReadResult::Unreadable) {
            failure = kUnreadableFileText;
            failureReason = reason;
        }
        // The model mark is judged by the words the file held: a short file must not be
        // judged by words an earlier set left behind, but a foreign mark it did hold counts.
        if (k < kBankCount && !markWordsReadAreThisModel(set.bank[k].words.data(), lines)) {
            // A file of another sensor model: nothing after it is looked at.
            failure = kWrongModelText;
            failureReason = fileReason(name, "lines 9 and 10 are not both at most 255, as in "
                                             "a file of this sensor model");
            break;
        }
        if (k != kCommonItem)
            set.missingMask = static_cast<std::uint16_t>(set.missingMask << 1);
    }
    if (failure) {
        messages.notice(messageWithReason(failure, failureReason));
        return false;
    }

    if (set.missingMask == kNothingFound) {
        if (!messages.ask(kNothingFoundQuestion)) {
            messages.notice(kNothingFoundText);
            return false;
        }
        set.common = initialCommonRecord();
        for (BankRecord& record : set.bank)
            record = initialBankRecordA();
        set.missingMask = 0;
        return true;
    }
    if (set.missingMask == kOnlyCommonFound) {
        if (messages.ask(kNoBankFileQuestion)) {
            for (BankRecord& record : set.bank)
                record = initialBankRecordB();
            set.missingMask = 0;
        }
        return true;
    }
    if (set.missingMask & kCommonMissingBit) {
        if (messages.ask(kNoCommonFileQuestion)) {
            set.common = initialCommonRecord();
            set.missingMask = static_cast<std::uint16_t>(set.missingMask & ~kCommonMissingBit);
        }
        return true;
    }
    return true;
}

bool openForEditing(const std::string& base, MessageService& messages) {
    return openForEditing(parameterSet(), base, messages);
}

bool saveSet(const ParameterSet& set, const std::string& base, MessageService& messages) {
    if (!baseNameFits(base)) {
        messages.notice(kBaseNameTooLongText);
        return false;
    }
    // A name without a file name of its own would write hidden files such as ".pr0.zar4".
    const std::string problem = baseNameProblem(base);
    if (!problem.empty()) {
        messages.notice(messageWithReason(kFailedToCreateFileText, problem));
        return false;
    }
    for (int k = kCommonItem; k >= 0; --k) {
        std::string text;
        if (k == kCommonItem) {
            if (!commonPresent(set))
                continue;
            text = formatValueLines(set.common.words.data(), kCommonWords, true);
        } else {
            if (!bankPresent(set, k))
                continue;
            text = formatValueLines(set.bank[k].words.data(), kBankWords, true);
        }
        // Any failure, in creating the file or in writing any of its bytes, stops the save:
        // a set that was only partly written must not look saved.
        std::string reason;
        if (!writeFileSafely(parameterFileName(base, k), text, &reason)) {
            messages.notice(messageWithReason(kWriteFailedText, reason));
            return false;
        }
    }
    return true;
}

bool saveSet(const std::string& base, MessageService& messages) {
    return saveSet(parameterSet(), base, messages);
}

bool createBankOnRequest(ParameterSet& set, int bank, MessageService& messages) {
    if (bankPresent(set, bank))
        return true;
    if (!messages.ask(kNoBankFileQuestion))
        return false;
    set.bank[bank] = initialBankRecordA();
    set.missingMask = static_cast<std::uint16_t>(set.missingMask & ~bankMissingBit(bank));
    return true;
}

bool copyBank(ParameterSet& set, int from, int to, MessageService& messages) {
    if (!bankPresent(set, to) && !messages.ask(kCopyDestinationQuestion))
        return false;
    set.bank[to] = set.bank[from];
    set.missingMask = static_cast<std::uint16_t>(set.missingMask & ~bankMissingBit(to));
    return true;
}

} // namespace zar4
