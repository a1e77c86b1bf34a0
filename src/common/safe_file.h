#pragma once
// Every file the program writes goes through here: the bytes go to a temporary file in the
// target's folder, which replaces the target only once every byte was written and the file
// was closed without error. A failure leaves the previous file exactly as it was, so an
// operator never finds a data file cut short.

#include <cstddef>
#include <string>
#include <string_view>

namespace zar4 {

// Writes `data` as the whole content of `path`. Returns false (and leaves any previous file
// untouched, and no temporary file behind) when any step fails. A target that is a symbolic
// link is written where the link points, and the link stays.
bool writeFileSafely(const std::string& path, std::string_view data);

// For the settings beside an installed program, whose folder the operator may not write into
// while the file itself is theirs to change: written safely wherever the folder allows it;
// otherwise the file is rewritten in place, as an ordinary save would. Any other failure
// leaves the file as it was. Returns false when the new content is not all on disk.
bool writeFileSafelyOrInPlace(const std::string& path, std::string_view data);

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

    bool isOpen() const { return fd_ >= 0; }
    // False once any write failed; commit() then refuses and abandons.
    bool good() const { return good_; }

private:
    int fd_ = -1;
    bool good_ = false;
    std::string target_;
    std::string temp_;
};

// True when `path` can be opened for reading (the test the transfers make before they
// overwrite a data file).
bool fileIsReadable(const std::string& path);

} // namespace zar4
