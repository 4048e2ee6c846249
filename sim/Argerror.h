// A CLI11 parse error in the words qmss and qmss sim use for it: "unknown
// option \"--x\"", "option --x needs a value", "option --x takes no value".
// Both parsers are CLI11; this keeps their messages the same.
#pragma once

#include <string>

#include <vector>

namespace CLI {
class App;
class ParseError;
}

std::string ArgumentErrorText(const CLI::ParseError& error);
// Parses args with app, its positional words going to words; false with the
// error text in the wording above.
bool ParseArguments(CLI::App& app, const std::vector<std::string>& args, std::vector<std::string>& words,
                    std::string& error);
