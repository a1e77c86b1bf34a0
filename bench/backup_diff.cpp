// zar4ctl diff of two full backups (15 banks of parameters and patterns, and the common
// parameters), from the files on disk to the report. Target: under 100 ms.

#include "ctl/ctl_inspect.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "sim/sim_server.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace zar4;

void writeBackup(const std::string& base, const sim::SensorModel& m) {
    for (int bank = 0; bank <= kCommonItem; ++bank) {
        std::ofstream text(parameterFileName(base, bank), std::ios::binary);
        const auto& words = bank == kCommonItem ? m.common : m.bank[static_cast<std::size_t>(bank)];
        for (int i = 0; i < (bank == kCommonItem ? kCommonWords : kBankWords); ++i)
            text << words[static_cast<std::size_t>(i)] << "\n";
        if (bank == kCommonItem)
            break;
        std::ofstream pattern(patternFileName(base, bank), std::ios::binary);
        auto header = patternHeader();
        pattern.write(reinterpret_cast<const char*>(header.data()), header.size());
        for (auto w : m.pattern[static_cast<std::size_t>(bank)]) {
            std::uint8_t bgr[3];
            wordToFilePixel(w, bgr);
            pattern.write(reinterpret_cast<const char*>(bgr), 3);
        }
    }
}

void diffFullBackups(benchmark::State& state) {
    char folder[] = "/tmp/zar4-bench-XXXXXX";
    if (!::mkdtemp(folder)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    sim::SensorModel m = sim::SensorModel::defaultContent();
    writeBackup(std::string(folder) + "/a", m);
    // The second backup differs in one word of every bank and one pixel of every pattern, so
    // the whole report is made.
    for (auto& bank : m.bank)
        bank[15] ^= 1;
    for (int bank = 0; bank < kBankCount; ++bank)
        m.pattern[static_cast<std::size_t>(bank)][1000] ^= 1;
    writeBackup(std::string(folder) + "/b", m);

    ctl::CtlOptions o;
    o.command = ctl::CtlCommand::Diff;
    o.parameters = o.patterns = true;
    o.base = std::string(folder) + "/a";
    o.base2 = std::string(folder) + "/b";
    double total = 0;
    for (auto _ : state) {
        std::ostringstream quiet;
        ctl::EventSink events(nullptr);
        ctl::Report report{quiet, events};
        ctl::CommandResult result;
        auto start = std::chrono::steady_clock::now();
        int status = ctl::runDiff(o, report, result);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (status != 4 || report.differences != 30) {
            state.SkipWithError("diff did not find the 30 differences");
            break;
        }
    }
    if (state.iterations() > 0)
        std::printf("diff of two full backups: %.1f ms (target < 100 ms)\n",
                    total * 1000.0 / static_cast<double>(state.iterations()));
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
}

BENCHMARK(diffFullBackups)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
