// The arguments of "qmss sim KIND [options]", parsed into simulator options.
#pragma once

#include <string>
#include <vector>

#include "sim/Simoptions.h"
#include "sim/Simulators.h"

struct SimArguments {
  SimKind Kind = SimKind::K7310;
  SimOptions Options;
  std::string DumpDir;  // empty: no dump
  bool Help = false;    // --help: print the usage and exit
  bool Version = false;  // --version: print the product version and exit
};

// args are the words after "sim". False with a message for an unknown kind
// or option, a missing or malformed value.
bool ParseSimArguments(const std::vector<std::string>& args, SimArguments& out, std::string& error);

std::string SimUsage();
