#pragma once
// The simulated sensor's memory kept in a folder between runs: what a loader wrote in one run
// can be read back in the next. The banks and the common block live in one file, each pattern
// in a file of its own, all as 16-bit words low byte first.

#include "sim/sim_server.h"

#include <string>

namespace zar4::sim {

// "parameters.bin": 15 banks of 32 words, then the common block of 32 words.
std::string parametersFilePath(const std::string& dir);
// "pattern-05.bin" for bank 5, "pattern-15.bin" for the compensation data.
std::string patternFilePath(const std::string& dir, int pattern);

// Creates the folder when missing and loads whatever files it holds into `model`; what is not
// there keeps the model's content. False with `error` set when a file is there but unreadable
// or of the wrong size: the sensor does not start on half its memory.
bool loadSensorState(const std::string& dir, SensorModel& model, std::string& error);

// Each writes its file whole, through the safe writer; false when it could not.
bool saveParameters(const std::string& dir, const SensorModel& model);
bool savePattern(const std::string& dir, const SensorModel& model, int pattern);

} // namespace zar4::sim
