#pragma once
// SHA-256, for the digests a backup's manifest keeps of the files a read wrote: a file that
// was edited or damaged since shows up as a different digest.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zar4 {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void update(const void* data, std::size_t size);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    // The digest of everything given so far; the object is then spent (start a new one).
    Digest finish();

private:
    void block(const std::uint8_t* p);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0; // bytes given so far
};

// The digest as 64 lower-case hexadecimal digits, as sha256sum prints it.
std::string hexDigest(const Sha256::Digest& digest);
std::string sha256Hex(std::string_view bytes);

} // namespace zar4
