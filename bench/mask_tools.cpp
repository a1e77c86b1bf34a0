// The cost of each mask tool over the whole 208 x 236 view. Every iteration masks the area and
// unmasks it again, so that each operation really changes every pixel it covers.

#include "patterns/mask_tools.h"

#include <benchmark/benchmark.h>

namespace {

using namespace zar4;

class NoBoxes : public MessageService {
public:
    BoxAnswer show(const std::string&, const std::string&, BoxIcon, BoxButtons) override {
        return BoxAnswer::Ok;
    }
};

// The image control exactly as large as the view, at the window's origin.
constexpr ImageFrame kFrame{0, 0, kViewWidth, kViewHeight};

PatternImage samplePattern() {
    PatternImage image;
    for (int k = 0; k < kPatternRows; ++k) {
        for (int c = 0; c < kPatternColumns; ++c) {
            wordToFilePixel(static_cast<std::uint16_t>((k * 311 + c * 97) & 0xFFFE),
                            image.pixel(k, c));
        }
    }
    return image;
}

// ops_per_tick: how many such operations fit in one 10 ms stroke tick (above 1 the tool keeps
// up with the tick; far above it the operator never waits).
void reportOps(benchmark::State& state, int opsPerIteration, bool wholeView = true) {
    const double ops = static_cast<double>(state.iterations()) * opsPerIteration;
    state.counters["ops_per_tick"] = benchmark::Counter(ops / 100.0, benchmark::Counter::kIsRate);
    if (wholeView) {
        state.counters["pixels"] =
            benchmark::Counter(ops * kViewWidth * kViewHeight, benchmark::Counter::kIsRate);
    }
}

struct Fixture {
    PatternImage image = samplePattern();
    NoBoxes boxes;
    MaskEditor editor{image, boxes};
};

void dragWith(MaskEditor& editor, MaskTool tool, int x0, int y0, int x1, int y1) {
    editor.selectTool(tool);
    editor.leftPress(x0, y0, kFrame);
    editor.leftRelease(x1, y1);
}

void BM_RectangleWholeView(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        dragWith(f.editor, MaskTool::MaskRectangle, -10, -10, 300, 300);
        dragWith(f.editor, MaskTool::UnmaskRectangle, -10, -10, 300, 300);
        benchmark::DoNotOptimize(f.image.raster.data());
    }
    reportOps(state, 2);
}
BENCHMARK(BM_RectangleWholeView);

void BM_CircleWholeView(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        dragWith(f.editor, MaskTool::MaskCircle, 104, 118, 104 + 160, 118);
        dragWith(f.editor, MaskTool::UnmaskCircle, 104, 118, 104 + 160, 118);
        benchmark::DoNotOptimize(f.image.raster.data());
    }
    reportOps(state, 2);
}
BENCHMARK(BM_CircleWholeView);

// One tick's segment across the whole view, pen size 10, then the eraser back.
void BM_PenSegmentAcrossView(benchmark::State& state) {
    Fixture f;
    f.editor.setPenSize(10);
    const int y0 = static_cast<int>(state.range(0));
    for (auto _ : state) {
        f.editor.selectTool(MaskTool::Pen);
        f.editor.leftPress(0, y0, kFrame);
        f.editor.mouseMove(kViewWidth, kViewHeight - y0, true);
        f.editor.strokeTick();
        f.editor.leftRelease(kViewWidth, kViewHeight - y0);
        f.editor.selectTool(MaskTool::Eraser);
        f.editor.leftPress(0, y0, kFrame);
        f.editor.mouseMove(kViewWidth, kViewHeight - y0, true);
        f.editor.strokeTick();
        f.editor.leftRelease(kViewWidth, kViewHeight - y0);
        benchmark::DoNotOptimize(f.image.raster.data());
    }
    reportOps(state, 2);
}
BENCHMARK(BM_PenSegmentAcrossView)->Arg(118)->Arg(0); // horizontal, then corner to corner

void BM_TriangleWholeView(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        for (MaskTool tool : {MaskTool::MaskTriangle, MaskTool::UnmaskTriangle}) {
            f.editor.selectTool(tool);
            f.editor.leftPress(-19, -19, kFrame);
            f.editor.leftPress(kViewWidth + 19, -19, kFrame);
            f.editor.leftPress(-19, kViewHeight + 19, kFrame);
            f.editor.leftRelease(-19, kViewHeight + 19);
        }
        benchmark::DoNotOptimize(f.image.raster.data());
    }
    reportOps(state, 2);
}
BENCHMARK(BM_TriangleWholeView);

void BM_QuadrangleWholeView(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        for (MaskTool tool : {MaskTool::MaskQuadrangle, MaskTool::UnmaskQuadrangle}) {
            f.editor.selectTool(tool);
            f.editor.leftPress(-19, -19, kFrame);
            f.editor.leftPress(kViewWidth + 19, -19, kFrame);
            f.editor.leftPress(kViewWidth + 19, kViewHeight + 19, kFrame);
            f.editor.leftPress(-19, kViewHeight + 19, kFrame);
            f.editor.leftRelease(-19, kViewHeight + 19);
        }
        benchmark::DoNotOptimize(f.image.raster.data());
    }
    reportOps(state, 2);
}
BENCHMARK(BM_QuadrangleWholeView);

void BM_WholeImageCommands(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        f.editor.wholeImage(WholeImageCommand::MaskAll);
        f.editor.wholeImage(WholeImageCommand::DeleteAllMask);
        benchmark::DoNotOptimize(f.image.raster.data());
    }
    reportOps(state, 2);
}
BENCHMARK(BM_WholeImageCommands);

// The snapshot every press with a press tool takes (a click that changes nothing).
void BM_UndoSnapshot(benchmark::State& state) {
    Fixture f;
    f.editor.selectTool(MaskTool::MaskRectangle);
    for (auto _ : state) {
        f.editor.leftPress(-100, -100, kFrame);
        f.editor.leftRelease(-100, -100);
        benchmark::DoNotOptimize(f.editor.undoImage().raster.data());
    }
    reportOps(state, 1, false);
}
BENCHMARK(BM_UndoSnapshot);

void BM_UndoRestore(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        f.editor.wholeImage(WholeImageCommand::MaskAll);
        f.editor.undo();
        benchmark::DoNotOptimize(f.image.raster.data());
    }
    reportOps(state, 2);
}
BENCHMARK(BM_UndoRestore);

} // namespace

BENCHMARK_MAIN();
