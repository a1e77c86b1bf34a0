#pragma once
// The one in-memory copy of a set of parameter files that the parameter editor works on: the
// 15 bank records, the common record and the mask of records that are missing. Loading a set
// for editing and saving it back live here too, so that every question and message about the
// files is asked in the same words whoever opens the editor.

#include "common/message_service.h"
#include "params/parameter_file.h"

#include <array>
#include <cstdint>
#include <string>

namespace zar4 {

struct BankRecord {
    std::array<std::int32_t, kBankWords> words{};
};

struct CommonRecord {
    std::array<std::int32_t, kCommonWords> words{};
};

struct ParameterSet {
    std::array<BankRecord, kBankCount> bank{};
    CommonRecord common{};
    // Bit (15 - k) set: bank k has no record. Bit 0 set: no common record.
    std::uint16_t missingMask = 0;
};

// The program's one set: all words 0 and nothing missing at start, living until the end.
ParameterSet& parameterSet();

constexpr std::uint16_t bankMissingBit(int bank) {
    return static_cast<std::uint16_t>(1u << (15 - bank));
}
constexpr std::uint16_t kCommonMissingBit = 0x0001;
constexpr std::uint16_t kNothingFound = 0xFFFF;
constexpr std::uint16_t kOnlyCommonFound = 0xFFFE;

bool bankPresent(const ParameterSet& set, int bank);
bool commonPresent(const ParameterSet& set);
bool anyBankPresent(const ParameterSet& set);
// The lowest bank with a record, or -1 when there is none.
int lowestPresentBank(const ParameterSet& set);

// Used for every bank when no file of a set exists, and for a bank the editor creates.
BankRecord initialBankRecordA();
// Used for every bank when the common file exists but no bank file does (SHUTTER 100).
BankRecord initialBankRecordB();
// BANK "BKIN", SYNCHRO 4, everything else 0.
CommonRecord initialCommonRecord();

enum class ReadResult {
    NotFound,   // no such file
    Complete,   // every value line was there
    Short,      // the file ended (or failed) before its last value line
    Unreadable, // the file exists but cannot be opened for reading
};

// Reads bank file k (0-14, 32 lines) or the common file (k = 15, 5 lines) into `set`. Only
// the words that were read change; `linesRead`, when given, receives how many were, and
// `reason` "<path>: <why>" for a file that is Unreadable or Short.
ReadResult readRecord(const std::string& name, int item, ParameterSet& set,
                      int* linesRead = nullptr, std::string* reason = nullptr);

// The operator's texts of loading and saving.
extern const char* const kInvalidFileText;
extern const char* const kWrongModelText;
extern const char* const kUnreadableFileText;
extern const char* const kNothingFoundQuestion;
extern const char* const kNothingFoundText;
extern const char* const kNoBankFileQuestion;
extern const char* const kNoCommonFileQuestion;
extern const char* const kWriteFailedText;
extern const char* const kBaseNameTooLongText;
extern const char* const kBaseNameEmptyText;
extern const char* const kFailedToCreateFileText;
extern const char* const kCopyDestinationQuestion;
extern const char* const kDiscardQuestion;

// Loads the set named by `base` for editing and asks about missing files. True: open the
// editor. False: do not; the reason has been shown already.
bool openForEditing(ParameterSet& set, const std::string& base, MessageService& messages);
bool openForEditing(const std::string& base, MessageService& messages);

// Writes every present record: the common file first, then banks 14 down to 0, each line
// ended by CR LF. Stops at the first file that cannot be written, after telling the
// operator; files written before it stay written and the failed one keeps its old content.
bool saveSet(const ParameterSet& set, const std::string& base, MessageService& messages);
bool saveSet(const std::string& base, MessageService& messages);

// The editor's choice of a bank without a record: asks whether to create it (initial record
// A). True when the bank has a record afterwards.
bool createBankOnRequest(ParameterSet& set, int bank, MessageService& messages);

// Copies every word of bank `from` into bank `to`, asking first when `to` has no record.
// True when the copy was made (the destination then has a record).
bool copyBank(ParameterSet& set, int from, int to, MessageService& messages);

} // namespace zar4
