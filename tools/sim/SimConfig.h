// The simulator's command line.
#pragma once

#include <string>

#include "SimEngine.h"

namespace zemb::sim {

struct SimConfig {
  SimOptions engine;
  std::string link;
  std::string image;
  std::string log;
  std::string dump;
  bool once = false;
  bool help = false;
  bool version = false;
};

// Fills config from the arguments after the program name; on a bad argument returns false
// with a message. Options take their value as the next argument or after "=".
bool ParseSimArgs(int argc, const char* const* argv, SimConfig& config, std::string& error);

std::string SimUsage(const char* program);

}  // namespace zemb::sim
