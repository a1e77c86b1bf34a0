#pragma once
// What the transfer and command line tests share: a simulated sensor on a pseudo-terminal
// behind a COM slot, a view that records what the operator would see, frames built by hand,
// and a scratch folder for data files.

#include "common/safe_file.h"
#include "link/port_map.h"
#include "link/protocol.h"
#include "link/serial_port.h"
#include "params/parameter_file.h"
#include "patterns/pattern_file.h"
#include "sim/sim_server.h"
#include "support/scripted_messages.h"
#include "support/temp_folder.h"
#include "transfer/transfer.h"
#include "transfer/transfer_texts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zar4::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes frame(std::uint8_t code, const Bytes& payload = {}) {
    Bytes f;
    f.reserve(payload.size() + 2);
    f.push_back(code);
    for (auto b : payload)
        f.push_back(b);
    unsigned sum = 0;
    for (auto b : f)
        sum += b;
    f.push_back(static_cast<std::uint8_t>(0xFF - (sum & 0xFF)));
    return f;
}
inline Bytes frame(Command code, const Bytes& payload = {}) {
    return frame(static_cast<std::uint8_t>(code), payload);
}
inline Bytes getParameterBlock(int item) {
    return frame(Command::GetParameterBlock, {static_cast<std::uint8_t>(item)});
}
inline void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

inline const Bytes kModeRequest{0x43, 0x50, 0x6C};
inline const Bytes kStopFrame{0x88, 0x77};
inline const Bytes kRunFrame{0x87, 0x78};

// The bytes of a pattern read of one bank: query, then both halves block by block.
inline Bytes patternReadBytes(int bank) {
    Bytes b = getParameterBlock(bank);
    for (int half = 0; half < 2; ++half) {
        append(b, frame(Command::LoadPatternHalf,
                        {static_cast<std::uint8_t>(halfSelector(bank, half))}));
        for (int block = 0; block < (half == 0 ? 256 : 160); ++block)
            append(b, frame(Command::GetPatternBlock, {static_cast<std::uint8_t>(block)}));
    }
    return b;
}

// The bytes of a pattern write of one bank (without its query) from a whole pattern file.
inline Bytes patternWriteBytes(int bank, const std::string& file) {
    Bytes b;
    std::size_t at = kPatternHeaderSize;
    for (int half = 0; half < 2; ++half) {
        for (int block = 0; block < (half == 0 ? 256 : 160); ++block) {
            Bytes payload(257, 0);
            payload[0] = static_cast<std::uint8_t>(block);
            int count = block % 2 == 0 ? 128 : 108;
            for (int i = 0; i < count; ++i, at += 3) {
                auto w = filePixelToWord(reinterpret_cast<const std::uint8_t*>(&file[at]));
                payload[1 + 2 * i] = static_cast<std::uint8_t>(w & 0xFF);
                payload[2 + 2 * i] = static_cast<std::uint8_t>(w >> 8);
            }
            append(b, frame(Command::PutPatternBlock, payload));
        }
        append(b, frame(Command::FlashPatternHalf,
                        {static_cast<std::uint8_t>(halfSelector(bank, half))}));
    }
    return b;
}

// A pattern file as the read transfer writes it from the sensor's words.
inline std::string patternFileFromWords(const std::vector<std::uint16_t>& words) {
    auto header = patternHeader();
    std::string file(header.begin(), header.end());
    for (auto w : words) {
        std::uint8_t bgr[3];
        wordToFilePixel(w, bgr);
        file.append(reinterpret_cast<const char*>(bgr), 3);
    }
    return file;
}

inline std::string wordLines(const std::uint16_t* words, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::to_string(words[i]) + "\n";
    return text;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
inline bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// The tests' temporary folder, with a look at what it holds.
class TempDir : public TempFolder {
public:
    TempDir() : TempFolder("zar4-transfer") {}
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(path().c_str())) {
            while (dirent* e = ::readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            ::closedir(d);
        }
        return names;
    }

private:
    std::string path_;
};

// While it lives, no file of this process may grow beyond `bytes` (a full disk, also for
// root): a write past it fails instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old_;
        small.rlim_cur = bytes;
        applied_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool applied() const { return applied_; }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
    bool applied_ = false;
};

// What the progress window would show, in order, with the operator's boxes scripted.
class RecordingView : public TransferView {
public:
    void setStatusText(const std::string& text) override { status.push_back(text); }
    void setItemText(const std::string& text) override { items.push_back(text); }
    void setProgress(int position) override { progress.push_back(position); }
    void pump() override {
        ++pumps;
        if (onPump)
            onPump(pumps);
    }
    MessageService& messages() override { return boxes; }
    void wireBytes(int bytes) override { wire += bytes; }

    std::vector<std::string> status;
    std::vector<std::string> items;
    std::vector<int> progress;
    int pumps = 0;
    long long wire = 0;
    std::function<void(int)> onPump;
    ScriptedMessages boxes;
};

// A simulated sensor, connected on a COM slot, with a folder for the data files.
class SensorTest : public ::testing::Test {
protected:
    // COM7, the sensor's line.
    PortAddress port() const { return {"COM7", sim_->devicePath()}; }

    // Starts the sensor with `options` and connects to it (the connect bytes are not kept).
    void startSensor(sim::SimOptions options = {}) {
        sim_ = std::make_unique<sim::SimServer>(options);
        ASSERT_TRUE(sim_->start());
        ScriptedMessages boxes;
        ASSERT_TRUE(connectSensor(link, port(), 4, boxes, false));
        boxes.verify();
        sim_->clearLog();
    }
    void TearDown() override {
        link.close();
        if (sim_)
            sim_->stop();
    }

    TransferOutcome run(Operation op, int first, int last, bool parameters, bool patterns) {
        TransferRequest request;
        request.operation = op;
        request.baseName = base();
        request.firstBank = first;
        request.lastBank = last;
        request.includeParameters = parameters;
        request.includePatterns = patterns;
        TransferOutcome outcome = runTransfer(request, view, link);
        view.boxes.verify();
        return outcome;
    }

    std::string base() const { return dir.path() + "/line1"; }
    std::string paramFile(int item) const { return parameterFileName(base(), item); }
    std::string patternFile(int bank) const { return patternFileName(base(), bank); }
    sim::SensorModel model() {
        sim::SensorModel copy;
        sim_->withModel([&](sim::SensorModel& m) { copy = m; });
        return copy;
    }
    Bytes wire() { return sim_->receivedBytes(); }

    TempDir dir;
    RecordingView view;
    std::unique_ptr<sim::SimServer> sim_;
    SerialLink link;
};

} // namespace zar4::test
