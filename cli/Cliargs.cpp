#include "cli/Cliargs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

bool TCliArgs::Parse(const std::vector<std::string>& args, std::initializer_list<TCliOption> options,
                     std::string& error) {
  Values.clear();
  Words.clear();
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      Words.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = word;
    std::string value;
    bool inlineValue = false;
    if (const size_t eq = word.find('='); eq != std::string::npos && word.rfind("--", 0) == 0) {
      name = word.substr(0, eq);
      value = word.substr(eq + 1);
      inlineValue = true;
    }
    const TCliOption* known = nullptr;
    for (const TCliOption& option : options)
      if (name == option.Name) known = &option;
    if (!known) {
      error = "unknown option \"" + name + "\"";
      return false;
    }
    if (known->TakesValue && !inlineValue) {
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    } else if (!known->TakesValue && inlineValue) {
      error = "option " + name + " takes no value";
      return false;
    }
    Values[name] = value;
  }
  return true;
}

std::string TCliArgs::Value(const std::string& name, const std::string& def) const {
  auto found = Values.find(name);
  return found == Values.end() ? def : found->second;
}

bool ParseInteger(const std::string& text, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  value = parsed;
  return true;
}

bool ParseSeconds(const std::string& text, double& seconds) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(parsed) || parsed <= 0) return false;
  // More than a year is certainly a typing error; it would also overflow the
  // millisecond timers.
  if (parsed > 365.0 * 24 * 3600) return false;
  seconds = parsed;
  return true;
}
