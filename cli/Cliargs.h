// The words after a subcommand's name: positional arguments and options.
// "--name value", "--name=value" and bare flags; "--" ends the options.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

struct TCliOption {
  const char* Name;  // "--port", "-o"
  bool TakesValue;
};

class TCliArgs {
 public:
  // False with a message for an unknown option or a missing value.
  bool Parse(const std::vector<std::string>& args, std::initializer_list<TCliOption> options,
             std::string& error);

  bool Has(const std::string& name) const { return Values.count(name) > 0; }
  std::string Value(const std::string& name, const std::string& def = "") const;
  const std::vector<std::string>& Positional() const { return Words; }

 private:
  std::map<std::string, std::string> Values;
  std::vector<std::string> Words;
};

// Whole-text conversions; false when the text is not such a number.
bool ParseInteger(const std::string& text, long long& value);
// Seconds, fractions allowed ("0.5"); must be greater than 0.
bool ParseSeconds(const std::string& text, double& seconds);
