#include "common/sha256.h"

#include <gtest/gtest.h>

namespace zar4 {
namespace {

TEST(Sha256, StandardVectorsWholeAndInPieces) {
    const std::string million(1000000, 'a');
    const struct {
        std::string in;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sha256Hex(c.in), c.digest) << c.in.size() << " bytes";
        // The same bytes given in uneven pieces, across block boundaries.
        Sha256 sha;
        for (std::size_t at = 0, step = 1; at < c.in.size(); at += step, step = step % 97 + 13)
            sha.update(c.in.data() + at, std::min(step, c.in.size() - at));
        EXPECT_EQ(hexDigest(sha.finish()), c.digest) << c.in.size() << " bytes in pieces";
    }
}

} // namespace
} // namespace zar4
