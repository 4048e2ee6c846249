// A CLI11 parse error in the words qmss and qmss sim use for it: "unknown
// option \"--x\"", "option --x needs a value", "option --x takes no value".
// Both parsers are CLI11; this keeps their messages the same.
#pragma once

#include <string>

namespace CLI {
class ParseError;
}

std::string ArgumentErrorText(const CLI::ParseError& error);
