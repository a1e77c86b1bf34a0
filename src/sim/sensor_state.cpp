#include "sim/sensor_state.h"

#include "common/safe_file.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace zar4::sim {

namespace {

constexpr std::size_t kParameterBytes = (15 + 1) * 32 * 2;
constexpr std::size_t kPatternBytes = static_cast<std::size_t>(kPatternWords) * 2;

void appendWords(std::string& out, const std::uint16_t* words, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(static_cast<char>(words[i] & 0xFF));
        out.push_back(static_cast<char>(words[i] >> 8));
    }
}

void takeWords(const std::string& in, std::size_t offset, std::uint16_t* words, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto lo = static_cast<unsigned char>(in[offset + 2 * i]);
        const auto hi = static_cast<unsigned char>(in[offset + 2 * i + 1]);
        words[i] = static_cast<std::uint16_t>(lo | (hi << 8));
    }
}

// 0: missing, 1: read, -1: there but unreadable.
int readWhole(const std::string& path, std::string& data) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? 0 : -1;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return -1;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? -1 : 1;
}

} // namespace

std::string parametersFilePath(const std::string& dir) {
    return dir + "/parameters.bin";
}

std::string patternFilePath(const std::string& dir, int pattern) {
    char name[32];
    std::snprintf(name, sizeof name, "/pattern-%02d.bin", pattern);
    return dir + name;
}

bool loadSensorState(const std::string& dir, SensorModel& model, std::string& error) {
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0) {
        if (mkdir(dir.c_str(), 0777) != 0) {
            error = "cannot create the state folder " + dir;
            return false;
        }
        return true;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = dir + " is not a folder";
        return false;
    }
    std::string data;
    const std::string params = parametersFilePath(dir);
    int got = readWhole(params, data);
    if (got < 0 || (got == 1 && data.size() != kParameterBytes)) {
        error = params + " is unreadable or not " + std::to_string(kParameterBytes) + " bytes";
        return false;
    }
    if (got == 1) {
        for (std::size_t k = 0; k < 15; ++k)
            takeWords(data, k * 64, model.bank[k].data(), 32);
        takeWords(data, 15 * 64, model.common.data(), 32);
    }
    for (int p = 0; p < 16; ++p) {
        const std::string path = patternFilePath(dir, p);
        got = readWhole(path, data);
        if (got < 0 || (got == 1 && data.size() != kPatternBytes)) {
            error = path + " is unreadable or not " + std::to_string(kPatternBytes) + " bytes";
            return false;
        }
        if (got == 1) {
            auto& words = model.pattern[static_cast<std::size_t>(p)];
            words.resize(kPatternWords);
            takeWords(data, 0, words.data(), words.size());
        }
    }
    return true;
}

bool saveParameters(const std::string& dir, const SensorModel& model) {
    std::string out;
    out.reserve(kParameterBytes);
    for (const auto& bank : model.bank)
        appendWords(out, bank.data(), bank.size());
    appendWords(out, model.common.data(), model.common.size());
    return writeFileSafely(parametersFilePath(dir), out);
}

bool savePattern(const std::string& dir, const SensorModel& model, int pattern) {
    if (pattern < 0 || pattern > 15)
        return false;
    const auto& words = model.pattern[static_cast<std::size_t>(pattern)];
    std::string out;
    out.reserve(kPatternBytes);
    appendWords(out, words.data(), words.size());
    if (out.size() != kPatternBytes)
        return false;
    return writeFileSafely(patternFilePath(dir, pattern), out);
}

} // namespace zar4::sim
