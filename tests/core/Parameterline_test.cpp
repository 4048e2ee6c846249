// Parameter text lines: the accepted forms, what is set before a rejection,
// and the whole-text number conversion.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Parameterline.h"

namespace {

constexpr int32_t Unset = 777;
const std::string UnsetText = "<unset>";

struct LineCase {
  std::string line;
  bool accepted;
  int32_t number;  // Unset: left untouched
  std::string description;
  std::string value;  // UnsetText: left untouched
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << '"' << c.line << '"'; }

class ParameterLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ParameterLine, GivesNumberDescriptionAndValue) {
  const LineCase& c = GetParam();
  int32_t number = Unset;
  std::string value = UnsetText;
  std::string description = "stale description";
  EXPECT_EQ(ParseParameterLine(c.line, number, value, description), c.accepted);
  EXPECT_EQ(number, c.number);
  EXPECT_EQ(description, c.description);
  EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ParameterLine,
    ::testing::Values(
        // The nine lines stored files are known to hold.
        LineCase{"Par.12: Zero tracking :3", true, 12, "Zero tracking", "3"},
        LineCase{"Par.12:Filter:3", true, 12, "Filte", "3"},  // char before last ':' dropped
        LineCase{"Par.7:1000", true, 7, "", "1000"},
        LineCase{"Par.12 :3", false, -1, "", "3"},  // trailing blank in the number
        LineCase{"Par.12:", false, Unset, "", UnsetText},  // the colon ends the line
        LineCase{"12 : 500", true, 12, "", "500"},
        LineCase{"5: a:b", true, 5, "", "a:b"},
        LineCase{"0:5", false, 0, "", UnsetText},
        LineCase{"abc", false, Unset, "", UnsetText},
        // Text before "Par." is skipped; hex numbers; the first "Par." counts.
        LineCase{"  P-03 Par.0x1F: Span :  42  ", true, 31, "Span", "42"},
        LineCase{"Par.$10:x:y", true, 16, "", "y"},
        LineCase{"Par.a Par.5:x:1", false, -1, "", "1"},
        // "Par." is searched with exact case: this is the short form.
        LineCase{"par.5:1", false, -1, "", UnsetText},
        // Long form rejected for its number still sets description and value.
        LineCase{"Par.-4: Gain :9", false, -4, "Gain", "9"},
        // The last colon may end the line: empty value.
        LineCase{"Par.3:abc:", true, 3, "ab", ""},
        // "Par." at the very end, or followed by one colon only.
        LineCase{"Par.", false, Unset, "", UnsetText},
        LineCase{"Par.:", false, Unset, "", UnsetText},
        // Short form: blanks around the number, empty value, bad number.
        LineCase{"\t 9 :", true, 9, "", ""},
        LineCase{"x9:1", false, -1, "", UnsetText},
        LineCase{":1", false, -1, "", UnsetText}));

TEST(ParameterLineLength, DescriptionAndValueKeepTheirFirst255Characters) {
  const std::string longDescription(300, 'd');
  const std::string longValue = std::string(255, 'v') + "TAIL";
  int32_t number = 0;
  std::string value;
  std::string description;
  ASSERT_TRUE(ParseParameterLine("Par.1:" + longDescription + "x:" + longValue, number, value,
                                 description));
  EXPECT_EQ(description, std::string(255, 'd'));
  EXPECT_EQ(value, std::string(255, 'v'));

  ASSERT_TRUE(ParseParameterLine("2:   " + longValue, number, value, description));
  EXPECT_EQ(value, std::string(255, 'v'));
  EXPECT_EQ(description, "");
}

struct NumberCase {
  std::string text;
  bool valid;
  int32_t number;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ParameterNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParameterNumber, ConvertsTheWholeText) {
  const NumberCase& c = GetParam();
  int32_t number = Unset;
  EXPECT_EQ(ConvertParameterNumber(c.text, number), c.valid);
  EXPECT_EQ(number, c.valid ? c.number : Unset);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParameterNumber,
    ::testing::Values(NumberCase{"12", true, 12}, NumberCase{"  12", true, 12},
                      NumberCase{"+5", true, 5}, NumberCase{"-5", true, -5},
                      NumberCase{"$1F", true, 31}, NumberCase{"0x1f", true, 31},
                      NumberCase{"0X10", true, 16}, NumberCase{"-$10", true, -16},
                      NumberCase{"0", true, 0}, NumberCase{"007", true, 7},
                      NumberCase{"2147483647", true, INT32_MAX},
                      NumberCase{"-2147483648", true, INT32_MIN},
                      NumberCase{"$7FFFFFFF", true, INT32_MAX},
                      NumberCase{"2147483648", false, 0}, NumberCase{"-2147483649", false, 0},
                      NumberCase{"$80000000", false, 0},
                      NumberCase{"99999999999999999999999", false, 0},
                      NumberCase{"12 ", false, 0}, NumberCase{"1 2", false, 0},
                      NumberCase{"", false, 0}, NumberCase{"  ", false, 0},
                      NumberCase{"-", false, 0}, NumberCase{"$", false, 0},
                      NumberCase{"0x", false, 0}, NumberCase{"x10", false, 0},
                      NumberCase{"1e3", false, 0}, NumberCase{"$G", false, 0},
                      NumberCase{"--1", false, 0}, NumberCase{"- 1", false, 0}));

}  // namespace
