// zar4ctl diff and show: backups on disk, compared and shown as the editors show them.

#include "ctl/ctl_process.h"
#include "ctl/json_reader.h"
#include "ctl/png_writer.h"
#include "params/parameter_set.h"
#include "transfer/transfer_fixture.h"

#include <sys/stat.h>

namespace zar4::test {
namespace {

class CtlBackup : public ::testing::Test {
protected:
    CtlResult ctl(std::vector<std::string> args) { return CtlProcess(ZAR4CTL_PATH, args).wait(); }
    std::string base(const char* name) const { return dir.path() + "/" + name; }
    // A whole backup of banks 0-14 from the simulated sensor's recognisable content.
    void writeBackup(const std::string& to) {
        sim::SensorModel m = sim::SensorModel::defaultContent();
        for (int bank = 0; bank < 15; ++bank) {
            writeFile(parameterFileName(to, bank), wordLines(m.bank[bank].data(), 32));
            writeFile(patternFileName(to, bank), patternFileFromWords(m.pattern[bank]));
        }
        writeFile(parameterFileName(to, 15), wordLines(m.common.data(), 5));
    }

    TempDir dir;
};

// The picture a PNG file holds, as RGB bytes: every chunk's CRC, the stored deflate blocks
// and their Adler-32 are checked on the way.
std::vector<std::uint8_t> decodePng(const std::string& file, int& width, int& height) {
    auto u8 = [&](std::size_t i) { return static_cast<std::uint8_t>(file[i]); };
    auto be32 = [&](std::size_t i) {
        return (std::uint32_t{u8(i)} << 24) | (u8(i + 1) << 16) | (u8(i + 2) << 8) | u8(i + 3);
    };
    EXPECT_EQ(file.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    std::string idat;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        std::uint32_t length = be32(at);
        std::string type = file.substr(at + 4, 4);
        EXPECT_EQ(ctl::crc32(reinterpret_cast<const std::uint8_t*>(&file[at + 4]), length + 4),
                  be32(at + 8 + length))
            << type;
        if (type == "IHDR") {
            width = static_cast<int>(be32(at + 8));
            height = static_cast<int>(be32(at + 12));
            EXPECT_EQ(file.substr(at + 16, 5), std::string("\x08\x02\x00\x00\x00", 5));
        } else if (type == "IDAT") {
            idat += file.substr(at + 8, length);
        }
        at += 12 + length;
    }
    std::vector<std::uint8_t> raw;
    std::size_t at = 2; // zlib header
    for (bool last = false; !last;) {
        last = idat[at] & 1;
        EXPECT_EQ(idat[at] & 6, 0) << "only stored blocks are expected";
        std::size_t n = static_cast<std::uint8_t>(idat[at + 1]) |
                        (static_cast<std::uint8_t>(idat[at + 2]) << 8);
        raw.insert(raw.end(), idat.begin() + static_cast<long>(at + 5),
                   idat.begin() + static_cast<long>(at + 5 + n));
        at += 5 + n;
    }
    std::uint32_t adler = (std::uint32_t{static_cast<std::uint8_t>(idat[at])} << 24) |
                          (static_cast<std::uint8_t>(idat[at + 1]) << 16) |
                          (static_cast<std::uint8_t>(idat[at + 2]) << 8) |
                          static_cast<std::uint8_t>(idat[at + 3]);
    EXPECT_EQ(ctl::adler32(raw.data(), raw.size()), adler);
    std::vector<std::uint8_t> rgb;
    std::size_t row = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        EXPECT_EQ(raw[y * (row + 1)], 0) << "filter of row " << y;
        rgb.insert(rgb.end(), raw.begin() + static_cast<long>(y * (row + 1) + 1),
                   raw.begin() + static_cast<long>((y + 1) * (row + 1)));
    }
    return rgb;
}

TEST_F(CtlBackup, DiffReportsParametersAndPatternsAndDrawsTheDifferingPixels) {
    writeBackup(base("a"));
    writeBackup(base("b"));
    auto r = ctl({"diff", base("a"), base("b")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "The backups are equal.\n");

    // Bank 7: COMMUNIC-free bank word 14 holds LIGHT (bits 0-1) and SEARCHMD (bit 15).
    std::int32_t words[32];
    readValueLinesFromText(readFile(parameterFileName(base("b"), 7)), words, 32);
    const auto light = static_cast<std::uint32_t>(words[14]);
    words[14] = static_cast<std::int32_t>(light ^ 0x8001);
    writeFile(parameterFileName(base("b"), 7), formatValueLines(words, 32, true));
    std::string pattern = readFile(patternFileName(base("b"), 9));
    pattern[kPatternHeaderSize + (5 * kPatternColumns + 7) * 3 + 1] ^= 0x20; // row 5, pixel 7
    writeFile(patternFileName(base("b"), 9), pattern);

    r = ctl({"diff", "--png", base("pictures"), base("a"), base("b")});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_EQ(r.out, "bank 7 parameters: word 14 (LIGHT,SEARCHMD): first " + std::to_string(light) +
                         ", second " + std::to_string(light ^ 0x8001) +
                         "\nbank 9 pattern: 1 pixel differs (0 only in the mask), X 202-202, "
                         "Y 228-228\n2 differences between the backups.\n");

    // The picture: bank 9 of the second backup as the editor shows it, the pixel in red.
    int width = 0, height = 0;
    auto rgb = decodePng(readFile(base("pictures") + "/bank9.png"), width, height);
    ASSERT_EQ(width, 208);
    ASSERT_EQ(height, 236);
    ASSERT_EQ(rgb.size(), 208u * 236u * 3u);
    int red = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto* shown = &rgb[static_cast<std::size_t>((y * width + x) * 3)];
            const auto* bgr = reinterpret_cast<const std::uint8_t*>(
                &pattern[kPatternHeaderSize + ((207 - x) * kPatternColumns + y) * 3]);
            std::array<std::uint8_t, 3> expected;
            if (x == 207 - 5 && y == 7)
                expected = {255, 0, 0};
            else if (isMasked(bgr))
                expected = {0, 0, static_cast<std::uint8_t>((bgr[1] + 0xC0) & 0xFF)};
            else
                expected.fill(static_cast<std::uint8_t>(bgr[1] & 0xE0));
            red += shown[0] == 255 && shown[1] == 0;
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), shown)) << x << "," << y;
        }
    }
    EXPECT_EQ(red, 1);
    EXPECT_EQ(dir.entries().size(), 2u * 31u + 1u); // two backups and the pictures' folder
    EXPECT_FALSE(exists(base("pictures") + "/bank7.png"));
}

TEST_F(CtlBackup, DiffOfAFileThatCannotBeReadFailsNamingIt) {
    writeBackup(base("a"));
    writeBackup(base("b"));
    std::string cut = patternFileName(base("b"), 2);
    writeFile(cut, readFile(cut).substr(0, 1000));
    std::remove(parameterFileName(base("a"), 3).c_str());
    auto r = ctl({"diff", base("a"), base("b")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, std::string("Error: ") + texts::kPatternsFileInvalid + "\n" + cut +
                         ": holds 1000 bytes, not the 147318 of a pattern file\n");

    std::remove(cut.c_str());
    r = ctl({"diff", "--parameters", base("a"), base("b")});
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, "bank 3 parameters: " + parameterFileName(base("a"), 3) +
                         " is missing\n1 difference between the backups.\n");
}

// What names no backup, or leaves no place for a picture, is refused before any difference
// is told: a mistyped name is no list of differences.
TEST_F(CtlBackup, DiffAndShowRefuseNamesAndPictureTargetsThatCannotServe) {
    writeBackup(base("a"));
    writeBackup(base("b"));
    std::string pattern = readFile(patternFileName(base("b"), 9));
    pattern[kPatternHeaderSize + 1] ^= 0x20;
    writeFile(patternFileName(base("b"), 9), pattern);
    ASSERT_EQ(::mkfifo(base("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(base("pictures").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((base("pictures") + "/bank9.png").c_str(), 0600), 0);
    const std::string tooLong = base(std::string(251, 'x').c_str());
    const std::string noFile = std::string("Error: No file of the backup was found.\n");
    const std::string cannotCreate = std::string("Error: ") + texts::kFailedToCreateFile + "\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error;
    } cases[] = {
        {{"diff", base("a"), base("nothere")}, 1, noFile + base("nothere") + ": no such files\n"},
        {{"diff", base("nothere"), base("a")}, 1, noFile + base("nothere") + ": no such files\n"},
        {{"diff", base("a"), tooLong}, 2, std::string("Error: ") + texts::kBaseNameTooLong + "\n"},
        {{"show", tooLong}, 2, std::string("Error: ") + texts::kBaseNameTooLong + "\n"},
        {{"diff", "--png", base("fifo"), base("a"), base("b")},
         1,
         cannotCreate + base("fifo") + ": is a FIFO\n"},
        {{"diff", "--png", base("pictures"), base("a"), base("b")},
         1,
         cannotCreate + base("pictures") + "/bank9.png: is a FIFO\n"},
    };
    for (const auto& c : cases) {
        auto r = ctl(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << " " << c.args[2];
        EXPECT_NE(r.out.find(c.error), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("between the backups"), std::string::npos) << r.out;
    }
}

TEST_F(CtlBackup, ShowPrintsTheEditorsNamesCaptionsAndAuto) {
    BankRecord bank = initialBankRecordA(); // SHUTTER, THRESHLD and both levels AUTO
    bank.words[4] = 120;                    // JUDGLVL manual
    bank.words[20] = 19;                    // ZOOM 19 caps the automatic level at 15
    writeFile(parameterFileName(base("s"), 4), formatValueLines(bank.words.data(), 32, true));
    CommonRecord common = initialCommonRecord();
    writeFile(parameterFileName(base("s"), 15), formatValueLines(common.words.data(), 5, true));
    std::string pattern(patternFileFromWords(std::vector<std::uint16_t>(208 * 236, 0x0800)));
    for (int i : {0, 1, 2})
        maskPixel(reinterpret_cast<std::uint8_t*>(&pattern[kPatternHeaderSize + i * 3]));
    writeFile(patternFileName(base("s"), 4), pattern);

    auto r = ctl({"show", base("s")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "bank 4\n"
                     "  ZOOM      (Zoom)                      19\n"
                     "  COLORFIL  (Edge color filter)         1\n"
                     "  SHUTTER   (Shutter time)              AUTO\n"
                     "  THRESHLD  (Edge threshold value)      AUTO\n"
                     "  SEARCH    (Position search range)     5\n"
                     "  SEARCHMD  (Position search mode)      0\n"
                     "  BKGDLVL   (Bkgd Edge-pix threshold)   AUTO 15\n"
                     "  JUDGLVL   (Missing-pix threshold)     120\n"
                     "  LIGHT     (Light ON/OFF)              1\n"
                     "  pattern: 3 masked pixels\n"
                     "common\n"
                     "  BANK      (Bank-selection)            BKIN\n"
                     "  COMMUNIC  (Communication-set)         0\n"
                     "  OFFDELAY  (OFF Delay Time\xEF\xBC\x89            0\n"
                     "  ONDELAY   (ON Delay Time)             0\n"
                     "  ONESHOT   (One shot/Out hold)         0\n"
                     "  SYNCHRO   (Synchronization)           4\n"
                     "  LCD VIEW  (LCD reverse)               0\n");

    r = ctl({"show", "--json", "--banks", "4", base("s")});
    auto results = ofType(jsonLines(r.out), "result");
    ASSERT_EQ(results.size(), 1u);
    const Json& shown = results[0]["banks"].items.at(0);
    EXPECT_EQ(shown.num("maskedPixels"), 3);
    const Json& bkgd = shown["parameters"].items.at(6);
    EXPECT_EQ(bkgd.str("name"), "BKGDLVL");
    EXPECT_EQ(bkgd.str("text"), "AUTO 15");
    EXPECT_TRUE(bkgd["auto"].flag);
    EXPECT_EQ(results[0]["common"]["parameters"].items.at(0).str("text"), "BKIN");
}

} // namespace
} // namespace zar4::test
