// The host's own cost of one exchange, with the simulated sensor answering at once: a whole
// pattern read and a whole pattern write of one bank (419 and 435 exchanges), reported per
// exchange as the CPU time of the transfer's thread (the host's work: framing, checksums,
// pixel conversion, file writing, system calls) and as wall time (which also holds the
// sensor thread and the pseudo-terminal's hand-over). Target: under 100 us of host cost.

#include "bench_transfer_view.h"
#include "link/serial_link.h"
#include "patterns/pattern_file.h"
#include "sim/sim_server.h"
#include "transfer/transfer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

using namespace zar4;

constexpr int kPort = 10;
constexpr int kBank = 5;

double threadCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

using bench::AgreeingMessages;
using bench::CountingView;

void exchangeCost(benchmark::State& state, Operation operation) {
    char folder[] = "/tmp/zar4-bench-XXXXXX";
    if (!::mkdtemp(folder)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    sim::SimServer sensor;
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
    TransferRequest request;
    request.baseName = std::string(folder) + "/bench";
    request.includeParameters = false;
    request.firstBank = request.lastBank = kBank;
    if (operation == Operation::Write) {
        // The pattern file to send comes from one read first.
        CountingView view;
        if (runTransfer(request, view, link) != TransferOutcome::Completed) {
            state.SkipWithError("the preparing read failed");
            return;
        }
    }
    request.operation = operation;

    long long exchanges = 0;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        CountingView view;
        double cpu0 = threadCpuSeconds();
        auto wall0 = std::chrono::steady_clock::now();
        TransferOutcome outcome = runTransfer(request, view, link);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        cpu += threadCpuSeconds() - cpu0;
        if (outcome != TransferOutcome::Completed) {
            state.SkipWithError("the transfer did not complete");
            break;
        }
        exchanges += view.exchanges;
    }
    if (exchanges > 0) {
        double n = static_cast<double>(exchanges);
        state.counters["exchanges"] = n;
        state.counters["host_cpu_us_per_exchange"] = cpu / n * 1e6;
        state.counters["wall_us_per_exchange"] = wall / n * 1e6;
        std::printf("pattern %s, unpaced: %.1f us host CPU and %.1f us wall per exchange "
                    "(%lld exchanges; target < 100 us)\n",
                    operation == Operation::Read ? "read" : "write", cpu / n * 1e6, wall / n * 1e6,
                    exchanges);
    }
    returnToRun(link, boxes);
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
}

BENCHMARK_CAPTURE(exchangeCost, pattern_read, Operation::Read)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(exchangeCost, pattern_write, Operation::Write)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
