#include "sim/Argerror.h"

#include <CLI/CLI.hpp>

std::string ArgumentErrorText(const CLI::ParseError& error) {
  const std::string what = error.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
    // "The following argument was not expected: --x"
    const size_t colon = what.find(": ");
    return "unknown option \"" + (colon == std::string::npos ? what : what.substr(colon + 2)) + "\"";
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
    // "x was given a disallowed flag override", "--x: 1 required TEXT missing"
    if (what.find("flag override") != std::string::npos) return "option --" + what.substr(0, what.find(' ')) + " takes no value";
    if (what.find("required") != std::string::npos) return "option " + what.substr(0, what.find(':')) + " needs a value";
  }
  return what;
}

bool ParseArguments(CLI::App& app, const std::vector<std::string>& args, std::vector<std::string>& words,
                    std::string& error) {
  app.add_option("words", words);
  // CLI11 takes its words last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    error = ArgumentErrorText(e);
    return false;
  }
  return true;
}
