// The sensor's default content and the parts of its protocol engine that depend on time.

#include "sim/sensor_engine.h"
#include "sim/sim_server.h"

#include <gtest/gtest.h>

#include <set>

namespace zar4::sim {
namespace {

TEST(SensorDefaultContent, BanksHoldSensibleDifferentParameters) {
    const SensorModel m = SensorModel::defaultContent();
    std::set<std::array<std::uint16_t, 32>> distinct;
    for (int k = 0; k < 15; ++k) {
        const auto& w = m.bank[static_cast<std::size_t>(k)];
        SCOPED_TRACE("bank " + std::to_string(k));
        EXPECT_EQ(w[8], 236);
        EXPECT_EQ(w[9], 208);
        EXPECT_LE(w[0] & 0x1F, 25);      // SEARCH
        EXPECT_LE(w[4] & 0x3FFF, 9999);  // JUDGLVL
        EXPECT_LE(w[5] & 0x3FFF, 9999);  // BKGDLVL
        EXPECT_LE(w[15] & 0xFF, 226);    // SHUTTER
        EXPECT_LE(w[20] & 0x1F, 19);     // ZOOM
        EXPECT_LE((w[26] >> 13) & 7, 5); // COLORFIL
        EXPECT_GT(w[10] * w[11], 0);     // area factors
        distinct.insert(w);
    }
    EXPECT_EQ(distinct.size(), 15u);
    EXPECT_EQ(m.communic(), 5);
    EXPECT_LE(m.common[0], 16);           // BANK
    EXPECT_LE((m.common[4] >> 3) & 7, 4); // SYNCHRO
    EXPECT_FALSE(m.pcMode);
}

TEST(SensorDefaultContent, EachPatternShowsItsOwnNumberWithPartMasked) {
    const SensorModel m = SensorModel::defaultContent();
    std::set<std::vector<std::uint16_t>> distinct;
    for (int k = 0; k < 16; ++k) {
        const auto& p = m.pattern[static_cast<std::size_t>(k)];
        ASSERT_EQ(p.size(), static_cast<std::size_t>(kPatternWords));
        std::size_t masked = 0;
        std::size_t white = 0;
        for (auto w : p) {
            masked += w & 1;
            white += (w & 0xFFFE) == 0xFFFE;
        }
        SCOPED_TRACE("pattern " + std::to_string(k));
        if (k < 15) {
            // A visible part is masked, most of the picture is not; the number stands out.
            EXPECT_GT(masked, p.size() / 20);
            EXPECT_LT(masked, p.size() / 2);
            EXPECT_GT(white, 2000u);
        } else {
            EXPECT_EQ(masked, 0u) << "compensation data carries no mask";
        }
        distinct.insert(p);
    }
    EXPECT_EQ(distinct.size(), 16u);
}

TEST(SensorEngine, PartFrameIsDroppedAfterSilenceAndTheNextFrameStartsClean) {
    SimOptions options;
    options.startInPcMode = true;
    SensorEngine engine(options);
    SensorModel model = SensorModel::defaultContent();
    model.pcMode = true;
    const auto t0 = Clock::now();
    // The host sent the start of a PutParameterBlock and gave up.
    EXPECT_FALSE(engine.onByte(model, 0x82, t0));
    EXPECT_FALSE(engine.onByte(model, 0x03, t0));
    // Long after, a whole GetParameterBlock is answered as such.
    const auto later = t0 + SensorEngine::kFrameGap + std::chrono::milliseconds(1);
    EXPECT_FALSE(engine.onByte(model, 0x81, later));
    EXPECT_FALSE(engine.onByte(model, 0x03, later));
    const auto answer = engine.onByte(model, 0x7B, later);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->bytes.size(), 66u);
    EXPECT_EQ(answer->bytes[0], kAck);

    // Within the gap the bytes still belong to the frame under way.
    EXPECT_FALSE(engine.onByte(model, 0x81, later));
    EXPECT_FALSE(engine.onByte(model, 0x03, later + std::chrono::milliseconds(900)));
    EXPECT_TRUE(engine.onByte(model, 0x7B, later + std::chrono::milliseconds(1800)));
}

TEST(SensorEngine, GarbledBytesNeverLookLikeAnAnswer) {
    for (int b = 0; b < 256; ++b) {
        const auto out = garbled({static_cast<std::uint8_t>(b)});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_NE(out[0], b) << b;
    }
    EXPECT_NE(garbled({0x06, 0x02}), (std::vector<std::uint8_t>{0x06, 0x02}));
    EXPECT_NE(garbled({0x06})[0], kNak);
    EXPECT_NE(garbled({0x15})[0], kAck);
}

} // namespace
} // namespace zar4::sim
