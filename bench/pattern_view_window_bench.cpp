// The pattern editor's drawing cost: rebuilding and painting the whole 208 x 236 view, and
// what an open editor that nobody touches costs in CPU time.

#include "patterns/pattern_editor_window.h"
#include "patterns/pattern_view_window.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>

namespace {

using namespace zar4;

// A pattern with every kind of pixel: a gradient, a masked band.
PatternImage samplePattern() {
    PatternImage image;
    for (int row = 0; row < kPatternRows; ++row)
        for (int col = 0; col < kPatternColumns; ++col) {
            std::uint8_t* p = image.pixel(row, col);
            p[0] = static_cast<std::uint8_t>((col % 32) << 3);
            p[1] = static_cast<std::uint8_t>(((row + col) % 64) << 2);
            p[2] = static_cast<std::uint8_t>((row % 32) << 3);
            if (row > 60 && row < 120)
                maskPixel(p);
        }
    return image;
}

// Nobody answers boxes in a benchmark; one appearing is a fault worth seeing.
class NoBoxes : public MessageService {
public:
    BoxAnswer show(const std::string& title, const std::string& text, BoxIcon,
                   BoxButtons buttons) override {
        std::fprintf(stderr, "unexpected box \"%s\": %s\n", title.c_str(), text.c_str());
        return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
    }
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void runEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Converting the raster into the view's picture.
void BM_BuildView(benchmark::State& state) {
    const PatternImage image = samplePattern();
    PatternView view;
    for (auto _ : state) {
        view.fill(image);
        benchmark::DoNotOptimize(view.picture().constBits());
    }
}
BENCHMARK(BM_BuildView)->Unit(benchmark::kMicrosecond);

// One whole frame as the editor makes it: rebuild the picture, then paint it on screen.
void BM_BuildAndDrawView(benchmark::State& state) {
    const PatternImage image = samplePattern();
    PatternView view;
    view.resize(PatternView::kWidth, PatternView::kHeight);
    view.show();
    runEventLoopFor(50);
    for (auto _ : state) {
        view.render(image);
        view.repaint();
    }
}
BENCHMARK(BM_BuildAndDrawView)->Unit(benchmark::kMicrosecond);

// An open editor left alone for a few seconds: its share of one core.
void BM_IdleEditorCpu(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string base = dir.filePath("idle").toStdString();
    savePattern(patternFileName(base, 0), samplePattern());
    NoBoxes messages;
    int penSize = 3;
    auto editor =
        std::make_unique<CRefpatDialog>(base, findMissingPatterns(base), penSize, messages);
    editor->show();
    runEventLoopFor(200);
    double share = 0;
    long rebuilds = 0;
    for (auto _ : state) {
        const long before = editor->viewRebuilds();
        const double cpu0 = cpuSeconds();
        runEventLoopFor(static_cast<int>(state.range(0)));
        share = (cpuSeconds() - cpu0) / (static_cast<double>(state.range(0)) / 1000.0);
        rebuilds = editor->viewRebuilds() - before;
    }
    state.counters["cpu_percent_of_one_core"] = share * 100.0;
    state.counters["view_rebuilds"] = static_cast<double>(rebuilds);
}
BENCHMARK(BM_IdleEditorCpu)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
