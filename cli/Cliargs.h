// The words after a subcommand's name: positional arguments and options,
// parsed by CLI11 (the same library parses `qmss sim`). "--name value",
// "--name=value", "-p value" and bare flags; "--" ends the options. An
// unknown option, a missing value, a value given to a flag and an option
// given twice are usage errors.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

struct TCliOption {
  const char* Names;  // "-p,--port", "--force"; the last name is the one Has and Value take
  bool TakesValue;
  bool Repeats = false;  // may be given more than once (each value kept, in order)
};

class TCliArgs {
 public:
  // False with a message for an unknown option, a missing value or an
  // option that does not repeat given more than once.
  bool Parse(const std::vector<std::string>& args, std::initializer_list<TCliOption> options,
             std::string& error);

  // name: the option's long name ("--port").
  bool Has(const std::string& name) const { return Given.count(name) > 0; }
  // The (first) value of an option.
  std::string Value(const std::string& name, const std::string& def = "") const;
  // Every value of a repeating option, in the order given.
  std::vector<std::string> Values(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return Words; }

 private:
  std::map<std::string, std::vector<std::string>> Given;
  std::vector<std::string> Words;
};

// Whole-text conversions; false when the text is not such a number.
bool ParseInteger(const std::string& text, long long& value);
// Seconds, fractions allowed ("0.5"); must be greater than 0.
bool ParseSeconds(const std::string& text, double& seconds);
