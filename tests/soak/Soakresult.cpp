#include "tests/soak/Soakresult.h"

#include <cstdlib>
#include <sstream>

std::string SoakRunName(SimKind kind, uint64_t seed) { return std::string(SimKindName(kind)) + ":" + std::to_string(seed); }

bool ParseSoakRunName(const std::string& text, SimKind& kind, uint64_t& seed) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon + 1 >= text.size()) return false;
  if (!ParseSimKind(text.substr(0, colon), kind)) return false;
  const std::string digits = text.substr(colon + 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 19) return false;
  seed = std::stoull(digits);
  return true;
}

namespace {

// Failure and error texts may hold line ends; they are kept on one line.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  return line;
}

}  // namespace

std::string FormatSoakResult(const SoakResult& r) {
  std::ostringstream out;
  out << "run " << SoakRunName(r.Kind, r.Seed) << "\n"
      << "verified " << r.Verified << "\n"
      << "disconnected " << r.Disconnected << "\n"
      << "rebuilt " << r.Rebuilt << "\n"
      << "seconds " << r.Seconds << "\n";
  for (int i = 0; i < kSimFaultKinds; ++i) out << "fault " << SimFaultName(static_cast<SimFault>(i)) << " " << r.Faults[i] << "\n";
  if (!r.PortError.empty()) out << "port_error " << OneLine(r.PortError) << "\n";
  if (!r.Failure.empty()) out << "failure " << OneLine(r.Failure) << "\n";
  out << "end\n";
  return out.str();
}

bool ParseSoakResult(const std::string& text, SoakResult& r) {
  std::istringstream in(text);
  bool named = false;
  for (std::string line; std::getline(in, line);) {
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "run") {
      named = ParseSoakRunName(value, r.Kind, r.Seed);
    } else if (key == "verified") {
      r.Verified = value == "1";
    } else if (key == "disconnected") {
      r.Disconnected = value == "1";
    } else if (key == "rebuilt") {
      r.Rebuilt = value == "1";
    } else if (key == "seconds") {
      r.Seconds = std::strtod(value.c_str(), nullptr);
    } else if (key == "fault") {
      std::istringstream fields(value);
      std::string name;
      int count = 0;
      fields >> name >> count;
      for (int i = 0; i < kSimFaultKinds; ++i)
        if (name == SimFaultName(static_cast<SimFault>(i))) r.Faults[i] = count;
    } else if (key == "port_error") {
      r.PortError = value;
    } else if (key == "failure") {
      r.Failure = value;
    } else if (key == "end") {
      return named;
    }
  }
  return false;
}
