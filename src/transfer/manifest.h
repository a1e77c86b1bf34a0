#pragma once
// The manifest of a backup, BASE.manifest.json beside its data files: which program read
// them, when, from which port at which rate, what was asked for, how the read ended, and for
// every item asked for its file and, once read, the file's size and SHA-256. With it a backup
// says whether it is whole and whether a file was edited or damaged since it was read.

#include "transfer/transfer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zar4 {

// The manifest's format; a manifest of a later format is refused rather than half read.
constexpr int kManifestFormatVersion = 1;
constexpr const char* kManifestFormatName = "ZAR4 backup manifest";

// "<base>.manifest.json", named by the same rule as the data files.
std::string manifestFileName(const std::string& baseName);

// How the read that the manifest records ended. Unfinished: the read had replaced files
// and then never ended (the program was killed, the machine stopped).
enum class ManifestOutcome { Complete, Cancelled, Failed, Declined, Unfinished };
const char* manifestOutcomeName(ManifestOutcome outcome); // "complete", "cancelled", ...

struct ManifestItem {
    ItemKind kind = ItemKind::Parameters;
    int item = 0;     // a bank 0-14, or kCommonItem for the common parameters
    std::string file; // the file's name, in the manifest's folder
    bool read = false;
    std::int64_t size = 0;
    std::string sha256; // 64 lower-case hexadecimal digits
};

struct Manifest {
    int formatVersion = kManifestFormatVersion;
    std::string programName;
    std::string programVersion;
    std::string started; // UTC, "2026-12-07T14:03:12Z"
    std::string ended;
    std::vector<std::string> resumed; // when a later read completed it, one start time each
    std::string portName;             // "COM3", or the device path the operator gave
    std::string device;               // "/dev/ttyUSB0"
    int rate = 0;                     // bit/s
    int firstBank = 0;                // as asked: a bank b is chosen when first <= b <= last
    int lastBank = 14;
    bool parameters = true;
    bool patterns = true;
    ManifestOutcome outcome = ManifestOutcome::Complete;
    std::string failure; // Failed: the words of the failure
    std::vector<ManifestItem> items;

    int readCount() const;
    // The request that asks for what this manifest's read asked for, of `baseName`.
    TransferRequest request(const std::string& baseName) const;
};

// Every item a read of `request` asks for, in the order of the read, with its file name (the
// last part of its data file name) and nothing read yet.
std::vector<ManifestItem> manifestItemsFor(const TransferRequest& request);

// The manifest as its file holds it: one field a line, one item a line.
std::string manifestText(const Manifest& manifest);
// Through the safe writer; on failure `reason` holds "<path>: <why>".
bool writeManifest(const std::string& path, const Manifest& manifest, std::string& reason);

struct ManifestRead {
    enum class Status { Ok, Missing, Invalid };
    Status status = Status::Missing;
    Manifest manifest;
    std::string reason; // "<path>: <why>" unless Ok
};

// Reads a manifest strictly: a field missing, unknown or of the wrong type, a time that is
// no UTC time, items that are not exactly those the read asked for, a file name with a
// folder in it, a digest that is not one: each refuses the whole manifest with its reason.
ManifestRead readManifest(const std::string& path);
// The same for the text of one.
bool parseManifest(const std::string& text, Manifest& manifest, std::string& why);

// Seconds since 1970 as "2026-12-07T14:03:12Z", and back (false for anything else).
std::string isoUtcTime(std::int64_t seconds);
bool parseIsoUtcTime(const std::string& text, std::int64_t& seconds);
std::int64_t currentUtcSeconds();

// The line rates of the baud-rate list's positions (0-4), and back; 0 and -1 when none.
int lineRateForIndex(int baudIndex);
int indexForLineRate(int rate);

// "bank 3 parameters", "common parameters", "bank 3 pattern".
std::string transferItemName(ItemKind kind, int item);

} // namespace zar4
