// The pattern editor drawn over the simulated sensor's own pattern, saved as a picture; the
// simulated sensor is built on Linux only.

#include "patterns/pattern_editor_fixture.h"
#include "sim/sim_server.h"

namespace zar4::test {
namespace {

// A recognisable pattern (the simulated sensor's bank 3: its number large over a gradient,
// part masked), a few masks drawn over it, the window saved as a picture to look at.
TEST_F(PatternEditorWindow, RendersToPng) {
    const sim::SensorModel model = sim::SensorModel::defaultContent();
    Image image;
    ASSERT_EQ(model.pattern[3].size(), 208u * 236u);
    for (int i = 0; i < 208 * 236; ++i)
        wordToFilePixel(model.pattern[3][i], &image.raster[i * 3]);
    writeBank(3, image);
    writeBank(4, gradient(4));
    penSize = 3;
    auto e = open();
    press(*e, 110, 40);
    for (int k = 1; k <= 8; ++k) {
        drag(*e, 110 + 10 * k, 40 + 6 * k);
        e->strokeTick();
    }
    release(*e, 190, 88);
    clickButton(*e, Editor::IdMaskCircle);
    press(*e, 60, 130);
    release(*e, 75, 130);
    clickButton(*e, Editor::IdMaskTriangle);
    for (auto [px, py] : {std::pair{20, 20}, {60, 30}, {30, 70}})
        clickAt(*e, px, py);
    clickButton(*e, Editor::IdMaskQuadrangle); // two corners given: shown as markers
    for (auto [px, py] : {std::pair{140, 150}, {190, 165}})
        clickAt(*e, px, py);
    hover(*e, 104, 118);
    e->redrawTick();
    QDir().mkpath("render");
    const QPixmap shot = e->grab();
    ASSERT_TRUE(shot.save("render/pattern_editor.png"));
    EXPECT_EQ(QImage("render/pattern_editor.png").size(), QSize(555, 369));
    messages.expectQuestion(Editor::saveQuestion(3), false);
    clickButton(*e, Editor::IdExit);
}

} // namespace
} // namespace zar4::test
