// How close a transfer comes to the line's own speed: a whole read, a whole write and a whole
// verify (zar4ctl's, comparing in memory) of one bank (its parameters, the common parameters
// and its pattern) against the simulated sensor paced at 57600 bit/s, as measured time over
// the ideal line time (every byte on the wire both ways at 10 bits a byte). Target: at most
// 1.02.

#include "bench_transfer_view.h"
#include "ctl/console.h"
#include "ctl/ctl_inspect.h"
#include "link/serial_link.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "sim/sim_server.h"
#include "transfer/transfer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace zar4;

constexpr int kPort = 9;
constexpr int kBank = 3;
constexpr double kBitsPerSecond = 57600.0;

using bench::AgreeingMessages;
using bench::CountingView;

enum class Run { Read, Write, Verify };

void lineEfficiency(benchmark::State& state, Run run) {
    char folder[] = "/tmp/zar4-bench-XXXXXX";
    if (!::mkdtemp(folder)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string base = std::string(folder) + "/bench";
    sim::SimOptions options;
    options.paced = true;
    sim::SimServer sensor(options);
    if (!sensor.start()) {
        state.SkipWithError("the simulated sensor did not start");
        return;
    }
    SerialLink link;
    const PortAddress port{"COM" + std::to_string(kPort), sensor.devicePath()};
    AgreeingMessages boxes;
    if (!connectSensor(link, port, 4, boxes, false)) {
        state.SkipWithError("connect failed");
        return;
    }
    if (run != Run::Read) {
        // The files a read would have left: the sensor's own content.
        sensor.withModel([&](sim::SensorModel& m) {
            std::ofstream bank(parameterFileName(base, kBank), std::ios::binary);
            for (auto w : m.bank[kBank])
                bank << w << "\n";
            std::ofstream common(parameterFileName(base, kCommonItem), std::ios::binary);
            for (int i = 0; i < kCommonWords; ++i)
                common << m.common[static_cast<std::size_t>(i)] << "\n";
            std::ofstream pattern(patternFileName(base, kBank), std::ios::binary);
            auto header = patternHeader();
            pattern.write(reinterpret_cast<const char*>(header.data()), header.size());
            for (auto w : m.pattern[kBank]) {
                std::uint8_t bgr[3];
                wordToFilePixel(w, bgr);
                pattern.write(reinterpret_cast<const char*>(bgr), 3);
            }
        });
    }

    TransferRequest request;
    request.operation = run == Run::Write ? Operation::Write : Operation::Read;
    request.baseName = base;
    request.firstBank = request.lastBank = kBank;
    double measured = 0, ideal = 0;
    for (auto _ : state) {
        CountingView view;
        std::ostringstream quiet;
        ctl::ConsoleLine line(quiet);
        ctl::EventSink events(nullptr);
        ctl::Report report{quiet, events};
        auto start = std::chrono::steady_clock::now();
        TransferOutcome outcome;
        long long wire = 0;
        if (run == Run::Verify) {
            // What zar4ctl verify does: the files into memory, the read compared against them.
            Backup files = loadBackup(base, request);
            outcome = ctl::verifySensor(request, files, {}, link, line, boxes, false, report);
            wire = plannedWireBytes(request);
        } else {
            outcome = runTransfer(request, view, link);
            wire = view.wire;
        }
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (outcome != TransferOutcome::Completed || report.differences != 0) {
            state.SkipWithError("the transfer did not complete, or verify found a difference");
            break;
        }
        measured += seconds;
        ideal += static_cast<double>(wire) * 10.0 / kBitsPerSecond;
        state.counters["wire_bytes"] = static_cast<double>(wire);
    }
    if (ideal > 0) {
        state.counters["ideal_s"] = ideal / static_cast<double>(state.iterations());
        state.counters["ratio"] = measured / ideal;
        std::printf("%s of one bank at 57600 bit/s: %.3f s measured, %.3f s ideal, ratio %.4f "
                    "(target <= 1.02)\n",
                    run == Run::Read    ? "read"
                    : run == Run::Write ? "write"
                                        : "verify",
                    measured, ideal, measured / ideal);
    }
    returnToRun(link, boxes);
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
}

BENCHMARK_CAPTURE(lineEfficiency, read_one_bank, Run::Read)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(lineEfficiency, write_one_bank, Run::Write)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(lineEfficiency, verify_one_bank, Run::Verify)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
