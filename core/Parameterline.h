// The syntax of one line of a parameter text file. Two forms are accepted:
//   long:  anything "Par." number ":" description ":" value
//   short: number ":" value            (the line holds no "Par.")
// See Parameterline.cpp for the exact rules, which stored files rely on.
#pragma once

#include <cstdint>
#include <string>

// Returns whether the line is a parameter line. number, value and description
// are set as far as the line was read even when it is rejected; description
// is always reset to empty first.
bool ParseParameterLine(const std::string& line, int32_t& number, std::string& value,
                        std::string& description);

// The integer conversion parameter numbers use: the whole text must convert
// (leading blanks, a sign, "$" or "0x" allowed); false otherwise.
bool ConvertParameterNumber(const std::string& text, int32_t& number);
