#include "sim/sim_server.h"

#include <cmath>
#include <string>

namespace zar4::sim {

namespace {

// 5 x 7 digits, one row per byte, the leftmost pixel in bit 4.
constexpr std::uint8_t kDigitFont[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}, // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}, // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}, // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}, // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}, // 9
};

// The pattern editor shows stored row 207 - x at screen column x and a row's pixel y at screen
// line y, so the screen is 208 wide and 236 high. Drawing in screen terms keeps the digits
// upright where the operator looks at them.
constexpr int kScreenWidth = kPatternRows;
constexpr int kScreenHeight = kPatternColumns;

std::uint16_t& screenPixel(std::vector<std::uint16_t>& pattern, int x, int y) {
    return pattern[static_cast<std::size_t>((kPatternRows - 1 - x) * kPatternColumns + y)];
}

std::uint16_t pixelWord(int green6, int red5, int blue5) {
    return static_cast<std::uint16_t>(((green6 & 0x3F) << 10) | ((red5 & 0x1F) << 5) |
                                      (blue5 & 0x1F));
}

bool digitInk(char digit, int col, int row) {
    return (kDigitFont[digit - '0'][row] >> (4 - col)) & 1;
}

std::vector<std::uint16_t> bankPicture(int bank) {
    std::vector<std::uint16_t> pattern(kPatternWords);
    // Gradient: green down the screen, red across it, a blue tint of the bank's own. Blue stays
    // even, so no background pixel carries the mask flag by accident.
    const int blue = (6 + 2 * bank) & 0x1E;
    for (int x = 0; x < kScreenWidth; ++x)
        for (int y = 0; y < kScreenHeight; ++y)
            screenPixel(pattern, x, y) =
                pixelWord(8 + y * 40 / (kScreenHeight - 1), x * 31 / (kScreenWidth - 1), blue);

    // The bank number, large and white.
    const std::string text = std::to_string(bank);
    const int n = static_cast<int>(text.size());
    const int scale = n == 1 ? 20 : 16;
    const int width = n * 5 * scale + (n - 1) * scale;
    const int left = (kScreenWidth - width) / 2;
    const int top = (kScreenHeight - 7 * scale) / 2 - 20;
    for (int d = 0; d < n; ++d) {
        const int x0 = left + d * 6 * scale;
        for (int x = 0; x < 5 * scale; ++x)
            for (int y = 0; y < 7 * scale; ++y)
                if (digitInk(text[static_cast<std::size_t>(d)], x / scale, y / scale))
                    screenPixel(pattern, x0 + x, top + y) = pixelWord(63, 31, 30);
    }

    // A masked band below the number, a little wider for each bank.
    const int maskLeft = 24 - bank;
    const int maskRight = 184 + bank;
    for (int x = maskLeft; x < maskRight; ++x)
        for (int y = 178; y < 214; ++y)
            screenPixel(pattern, x, y) |= 1;
    return pattern;
}

std::vector<std::uint16_t> compensationPicture() {
    // Brightness compensation: a smooth field, brightest in the middle.
    std::vector<std::uint16_t> pattern(kPatternWords);
    for (int x = 0; x < kScreenWidth; ++x)
        for (int y = 0; y < kScreenHeight; ++y) {
            const double dx = x - kScreenWidth / 2.0;
            const double dy = y - kScreenHeight / 2.0;
            const int level = 48 - static_cast<int>(std::sqrt(dx * dx + dy * dy) / 8.0);
            screenPixel(pattern, x, y) = pixelWord(level, level / 2, (level / 2) & 0x1E);
        }
    return pattern;
}

} // namespace

SensorModel SensorModel::defaultContent() {
    SensorModel m;
    for (int k = 0; k < 15; ++k) {
        auto& w = m.bank[static_cast<std::size_t>(k)];
        w[0] = static_cast<std::uint16_t>(5 + k);                        // SEARCH
        w[4] = static_cast<std::uint16_t>(k == 0 ? 0 : 100 * k);         // JUDGLVL (0 = AUTO)
        w[5] = static_cast<std::uint16_t>(k % 2 == 1 ? 0 : 50 + 10 * k); // BKGDLVL
        w[8] = 236;                                                      // model mark
        w[9] = 208;                                                      // model mark
        w[10] = 100;                                                     // area factors
        w[11] = static_cast<std::uint16_t>(80 + 5 * k);
        w[14] = static_cast<std::uint16_t>(((k / 3) % 2) << 15 | (1 + k % 3)); // SEARCHMD, LIGHT
        w[15] = static_cast<std::uint16_t>(k == 0 ? 0 : 20 + 10 * k);          // SHUTTER
        w[16] = 1654;
        w[17] = 1640;
        w[20] = static_cast<std::uint16_t>(k); // ZOOM
        w[21] = 472;
        w[22] = 416;
        w[23] = 49088;
        w[25] = 7;
        w[26] = static_cast<std::uint16_t>((k % 6) << 13);            // COLORFIL
        w[27] = static_cast<std::uint16_t>(k == 0 ? 0 : 10 + 15 * k); // THRESHLD
        m.pattern[static_cast<std::size_t>(k)] = bankPicture(k);
    }
    m.pattern[15] = compensationPicture();
    m.common[0] = 0;                                               // BANK 0
    m.common[2] = 100;                                             // OFFDELAY 100, ONESHOT 0
    m.common[3] = 50;                                              // ONDELAY
    m.common[4] = static_cast<std::uint16_t>((4 << 3) | (5 << 8)); // SYNCHRO 4, COMMUNIC 5
    return m;
}

} // namespace zar4::sim
