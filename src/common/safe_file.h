#pragma once
// Every file the program writes goes through here: the bytes go to a temporary file in the
// target's folder, which replaces the target only once every byte was written and the file
// was closed without error. A failure leaves the previous file exactly as it was, so an
// operator never finds a data file cut short.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zar4 {

// Writes `data` as the whole content of `path`. Returns false (and leaves any previous file
// untouched, and no temporary file behind) when any step fails. A target that is a symbolic
// link is written where the link points, and the link stays.
// A target that is there but is no plain file (a folder, a FIFO, a device), or a file the
// operator may not write, is refused as creating it anew would be. On failure `reason`, when
// given, receives "<path>: <why>".
bool writeFileSafely(const std::string& path, std::string_view data, std::string* reason = nullptr);

// For the settings beside an installed program, whose folder the operator may not write into
// while the file itself is theirs to change: written safely wherever the folder allows it;
// otherwise the file is rewritten in place, as an ordinary save would. Any other failure
// leaves the file as it was. Returns false when the new content is not all on disk; `reason`,
// when given, then receives "<path>: <why>".
bool writeFileSafelyOrInPlace(const std::string& path, std::string_view data,
                              std::string* reason = nullptr);

// The same as writeFileSafely, for a file written piece by piece (a pattern arriving block by
// block). open() creates the temporary file; write() appends; commit() flushes, closes and renames
// it over the target. Destroying or abandon()ing an uncommitted writer removes the temporary file
// and leaves the target as it was.
class SafeFileWriter {
public:
    SafeFileWriter() = default;
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    bool open(const std::string& path);
    bool write(const void* data, std::size_t size);
    bool commit();
    void abandon();

    bool isOpen() const { return handle_ != -1; }
    // False once any write failed; commit() then refuses and abandons.
    bool good() const { return good_; }
    // "<path>: <why>" of the last failure of open(), write() or commit().
    const std::string& failure() const { return failure_; }

private:
    std::intptr_t handle_ = -1; // the system's descriptor or handle of the temporary file
    bool good_ = false;
    std::string requested_; // the name the operator gave, for messages
    std::string target_;
    std::string temp_;
    std::string failure_;
};

// Temporary files are named "." + target name + ".tmp" + process id + "-" + six characters,
// beside the target, so that a later run can tell whose they are.
std::string temporaryFileName(const std::string& targetName, int pid, std::string_view unique);
// The process that made `entry` as a temporary file of `targetName`, or 0 when the entry is
// no such file (or the name was too long to tell).
int temporaryFileOwner(const std::string& entry, const std::string& targetName);
// Removes, beside `target`, its temporary files whose process no longer runs. Returns how
// many were removed.
int removeLeftoverTemporaries(const std::string& target);

// True when `path` can be opened for reading (the test the transfers make before they
// overwrite a data file).
bool fileIsReadable(const std::string& path);

} // namespace zar4
