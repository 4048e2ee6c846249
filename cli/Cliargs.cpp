#include "cli/Cliargs.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include <CLI/CLI.hpp>

#include "sim/Argerror.h"

namespace {

// "-p,--port" -> "--port": the name the commands ask for.
std::string LongName(const std::string& names) {
  const size_t comma = names.rfind(',');
  return comma == std::string::npos ? names : names.substr(comma + 1);
}

}  // namespace

bool TCliArgs::Parse(const std::vector<std::string>& args, std::initializer_list<TCliOption> options,
                     std::string& error) {
  Given.clear();
  Words.clear();
  CLI::App app;
  app.set_help_flag();  // -h and --help are options of the table, answered by each command
  app.allow_extras(false);
  struct TAdded {
    std::string Name;
    CLI::Option* Option;
    bool Repeats;
  };
  std::vector<TAdded> added;
  for (const TCliOption& option : options) {
    CLI::Option* o = option.TakesValue ? app.add_option(option.Names)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                                       : app.add_flag(option.Names)->disable_flag_override();
    added.push_back({LongName(option.Names), o, option.Repeats});
  }
  if (!ParseArguments(app, args, Words, error)) return false;
  for (const TAdded& a : added) {
    if (a.Option->count() == 0) continue;
    if (a.Option->count() > 1 && !a.Repeats) {
      error = "option " + a.Name + " given more than once";
      return false;
    }
    std::vector<std::string> values = a.Option->results();
    if (values.empty()) values.emplace_back();
    Given[a.Name] = values;
  }
  return true;
}

std::string TCliArgs::Value(const std::string& name, const std::string& def) const {
  auto found = Given.find(name);
  return found == Given.end() ? def : found->second.front();
}

std::vector<std::string> TCliArgs::Values(const std::string& name) const {
  auto found = Given.find(name);
  return found == Given.end() ? std::vector<std::string>() : found->second;
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
