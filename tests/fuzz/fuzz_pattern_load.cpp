// Pattern loading from arbitrary bytes: the in-memory loader and the file loader must take
// any content, of any length, without reading or writing out of bounds, and agree.

#include "patterns/mask_tools.h"
#include "patterns/pattern_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class NoBoxes : public zar4::MessageService {
public:
    zar4::BoxAnswer show(const std::string&, const std::string&, zar4::BoxIcon,
                         zar4::BoxButtons) override {
        return zar4::BoxAnswer::Ok;
    }
};

std::string tempPath() {
    static std::string path = [] {
        char templ[] = "/tmp/fuzz_pattern_XXXXXX";
        const int fd = mkstemp(templ);
        if (fd >= 0) {
            close(fd);
        }
        return std::string(templ);
    }();
    return path;
}

} // namespace

namespace {
int checkOne(const std::uint8_t* data, std::size_t size);
}

// Inputs starting with 0xFF stand for long files (the fuzzer's inputs stay short): the next
// two bytes times 3 give the length, filled by repeating the rest, so files shorter than,
// exactly as long as and longer than a pattern file are all reached.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 3 && data[0] == 0xFF) {
        const std::size_t length = ((static_cast<std::size_t>(data[1]) << 8) | data[2]) * 3;
        std::vector<std::uint8_t> longer(length);
        const std::size_t rest = size - 3;
        for (std::size_t i = 0; i < length && rest > 0; ++i) {
            longer[i] = data[3 + i % rest];
        }
        return checkOne(longer.data(), longer.size());
    }
    return checkOne(data, size);
}

namespace {

int checkOne(const std::uint8_t* data, std::size_t size) {
    static zar4::PatternImage fromBytes;
    static zar4::PatternImage fromFile;
    zar4::PatternHeader h1{};
    zar4::PatternHeader h2{};
    fromBytes.raster.fill(0x5A);
    fromFile.raster.fill(0x5A);

    const std::size_t taken = zar4::loadPatternFromBytes(data, size, h1, fromBytes);
    if (taken > static_cast<std::size_t>(zar4::kPatternFileSize) ||
        taken != (size < 147318u ? size : 147318u)) {
        std::abort();
    }

    const std::string path = tempPath();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        const bool ok = std::fwrite(data, 1, size, f) == size;
        if (std::fclose(f) == 0 && ok) {
            if (!zar4::loadPatternForEditing(path, h2, fromFile) ||
                fromFile.raster != fromBytes.raster || h1 != h2) {
                std::abort();
            }
        }
    }

    // Whatever the pixels hold, the whole-image commands work on them safely; after one round
    // of masking and unmasking every pixel is in a well-formed form, which a second round
    // gives back unchanged.
    NoBoxes boxes;
    zar4::MaskEditor editor(fromBytes, boxes);
    editor.wholeImage(zar4::WholeImageCommand::MaskAll);
    for (int i = 0; i < zar4::kPatternRows * zar4::kPatternColumns; ++i) {
        if (!zar4::isMasked(&fromBytes.raster[static_cast<std::size_t>(i) * 3])) {
            std::abort();
        }
    }
    editor.wholeImage(zar4::WholeImageCommand::DeleteAllMask);
    const zar4::PatternImage once = fromBytes;
    editor.wholeImage(zar4::WholeImageCommand::MaskAll);
    editor.wholeImage(zar4::WholeImageCommand::DeleteAllMask);
    if (fromBytes.raster != once.raster || zar4::patternFileBytes(fromBytes).size() != 147318u) {
        std::abort();
    }
    return 0;
}

} // namespace
