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
  Values.clear();
  Words.clear();
  CLI::App app;
  app.set_help_flag();  // -h and --help are options of the table, answered by each command
  app.allow_extras(false);
  std::vector<std::pair<std::string, CLI::Option*>> added;
  for (const TCliOption& option : options) {
    CLI::Option* o = option.TakesValue ? app.add_option(option.Names)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                                       : app.add_flag(option.Names)->disable_flag_override();
    added.emplace_back(LongName(option.Names), o);
  }
  if (!ParseArguments(app, args, Words, error)) return false;
  for (const auto& [name, o] : added) {
    if (o->count() == 0) continue;
    if (o->count() > 1) {
      error = "option " + name + " given more than once";
      return false;
    }
    Values[name] = o->results().empty() ? std::string() : o->results().front();
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
