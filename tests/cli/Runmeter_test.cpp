// The whole run's figures from the run status records a channel publishes,
// the closing line, and the JSON the command line writes and reads back.
#include <gtest/gtest.h>

#include <cstdint>

#include "cli/Downloadlog.h"
#include "cli/Figuretext.h"
#include "cli/Jsonfields.h"
#include "cli/Jsonline.h"
#include "cli/Loglines.h"
#include "cli/Runmeter.h"

namespace {

CmRunStatus Record(CmPhase phase, int part, int64_t done = 0, int64_t total = 0) {
  CmRunStatus s;
  s.Phase = phase;
  s.Part = part;
  s.DoneUnits = done;
  s.TotalUnits = total;
  return s;
}

struct MeterCase {
  const char* Name;
  std::vector<CmRunStatus> Records;  // published in this order
  double Percent;                    // the overall share after them
  int64_t UnitsDone;
  std::vector<int> Verified;
};

// Parts of 1000 (main), 0 (display: no data), 500 (load-cell) and 500
// (Ethernet) bytes: the line work is three times the bytes, 6000 in all.
TEST(RunMeter, OverallShareUnitsAndVerifiedPartsFollowTheRecords) {
  const std::vector<int64_t> parts = {1000, 0, 500, 500};
  const MeterCase cases[] = {
      {"connecting to the first part", {Record(CmPhase::Connecting, 0)}, 0, 0, {}},
      {"half of the first part written", {Record(CmPhase::Transferring, 0, 500, 1000)}, 1000.0 / 6000 * 100, 500, {}},
      {"the first part written, half verified",
       {Record(CmPhase::Transferring, 0, 1000, 1000), Record(CmPhase::Verifying, 0, 500, 1000)},
       2500.0 / 6000 * 100, 1000, {}},
      {"the first part started: verified",
       {Record(CmPhase::Verifying, 0, 1000, 1000), Record(CmPhase::Finishing, CmRunStatus::NoPart)},
       50, 1000, {0}},
      {"the next part with data reached: the one before is behind it",
       {Record(CmPhase::Verifying, 0, 1000, 1000), Record(CmPhase::Connecting, 2)}, 50, 1000, {0}},
      {"a part whose verification fails is written again from its start",
       {Record(CmPhase::Verifying, 0, 800, 1000), Record(CmPhase::Connecting, 0), Record(CmPhase::Transferring, 0, 100, 1000)},
       200.0 / 6000 * 100, 100, {}},
      {"the last part in its verification",
       {Record(CmPhase::Finishing, CmRunStatus::NoPart), Record(CmPhase::Verifying, 3, 250, 500)},
       (3000 + 1500 + 1000 + 250) / 60.0, 2000, {}},
      {"a count past the part's end is held at its end", {Record(CmPhase::Transferring, 2, 900, 500)},
       (3000 + 1000) / 60.0, 1500, {}},
  };
  for (const MeterCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRunMeter meter(parts, true);
    for (const CmRunStatus& r : c.Records) meter.Update(r, 10);
    const TRunFigures f = meter.Figures();
    EXPECT_NEAR(f.Fraction * 100, c.Percent, 0.01);
    EXPECT_EQ(f.UnitsDone, c.UnitsDone);
    EXPECT_EQ(f.UnitsTotal, 2000);
    EXPECT_EQ(meter.VerifiedParts(), c.Verified);
  }
}

TEST(RunMeter, RateAndTimeLeftAndACompletedRun) {
  TRunMeter meter({1000}, false);
  meter.Update(Record(CmPhase::Transferring, CmRunStatus::NoPart, 250, 1000), 5);
  TRunFigures f = meter.Figures();
  EXPECT_DOUBLE_EQ(f.Fraction, 0.25);
  EXPECT_DOUBLE_EQ(f.Rate, 50);
  EXPECT_DOUBLE_EQ(f.SecondsLeft, 15);
  EXPECT_TRUE(meter.VerifiedParts().empty());
  // Before any unit: no estimate.
  TRunMeter fresh({1000}, false);
  fresh.Update(Record(CmPhase::Connecting, CmRunStatus::NoPart), 2);
  EXPECT_EQ(fresh.Figures().SecondsLeft, -1);

  meter.Completed(8);
  f = meter.Figures();
  EXPECT_DOUBLE_EQ(f.Fraction, 1);
  EXPECT_EQ(f.UnitsDone, 1000);
  EXPECT_EQ(f.SecondsLeft, 0);
  EXPECT_EQ(meter.VerifiedParts(), std::vector<int>{0});
}

TEST(FigureText, NumbersDurationsAndClosingLines) {
  const std::pair<int64_t, const char*> grouped[] = {{0, "0"}, {999, "999"}, {1000, "1,000"}, {4036, "4,036"},
                                                     {1234567, "1,234,567"}, {-4036, "-4,036"},
                                                     {INT64_MIN, "-9,223,372,036,854,775,808"}};
  for (const auto& [value, text] : grouped) EXPECT_EQ(GroupedNumber(value), text);
  const std::pair<double, const char*> clocks[] = {{0, "0:00"}, {4.4, "0:04"}, {59.6, "1:00"}, {750, "12:30"},
                                                   {3723, "1:02:03"}, {-1, "--:--"}};
  for (const auto& [seconds, text] : clocks) EXPECT_EQ(ClockText(seconds), text);

  TRunFigures f;
  f.UnitsDone = 4036;
  f.UnitsTotal = 4036;
  f.Seconds = 14.6;
  EXPECT_EQ(SummaryLine(true, "verified", f, "bytes", 4, 4), "verified 4,036 bytes in 4 processors in 14.6 s (276 bytes/s)");
  EXPECT_EQ(SummaryLine(true, "verified", f, "bytes", 1, 1), "verified 4,036 bytes in 1 processor in 14.6 s (276 bytes/s)");
  EXPECT_EQ(SummaryLine(true, "downloaded", f, "bytes", 0, 0), "downloaded 4,036 bytes in 14.6 s (276 bytes/s)");
  f.UnitsDone = 1234;
  f.Seconds = 10.24;
  EXPECT_EQ(SummaryLine(false, "verified", f, "bytes", 1, 4),
            "not finished: 1,234 of 4,036 bytes, 1 of 4 processors verified, in 10.2 s");
  f.Seconds = 0;
  EXPECT_EQ(SummaryLine(true, "downloaded", f, "bytes", 0, 0), "downloaded 1,234 bytes in 0.0 s (0 bytes/s)");
}

TEST(JsonLine, EveryByteOfATextSurvivesTheRoundTrip) {
  std::string every;
  for (int b = 1; b < 256; ++b) every += static_cast<char>(b);
  const std::string texts[] = {"", "plain", "quote \" backslash \\ slash /", "CR\rLF\n tab\t", every};
  for (const std::string& text : texts) {
    const std::string line = TJsonLine("failure").Text("line", text).Integer("n", -5).Get();
    // One line, printable ASCII only.
    for (char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << line;
    std::map<std::string, std::string> fields;
    ASSERT_TRUE(ReadJsonFields(line, fields)) << line;
    EXPECT_EQ(fields["event"], "failure");
    EXPECT_EQ(fields["line"], text);
    EXPECT_EQ(fields["n"], "-5");
  }
}

TEST(JsonLine, NumbersNullsArraysAndObjectsAsTheirJsonText) {
  const std::string line = TJsonLine("progress")
                               .Number("percent", 12.345, 1)
                               .Number("left_s", -1, 1, true)
                               .Bool("ok", false)
                               .Texts("parts", {"Main processor", "a,b]"})
                               .Raw("inner", TJsonLine().Text("k", "}").Get())
                               .Get();
  EXPECT_EQ(line, "{\"event\":\"progress\",\"percent\":12.3,\"left_s\":null,\"ok\":false,"
                  "\"parts\":[\"Main processor\",\"a,b]\"],\"inner\":{\"k\":\"}\"}}");
  std::map<std::string, std::string> fields;
  ASSERT_TRUE(ReadJsonFields(line, fields));
  EXPECT_EQ(fields["percent"], "12.3");
  EXPECT_EQ(fields["left_s"], "null");
  EXPECT_EQ(fields["parts"], "[\"Main processor\",\"a,b]\"]");
  EXPECT_EQ(fields["inner"], "{\"k\":\"}\"}");
  for (const char* broken : {"", "[]", "{\"a\":1", "{\"a\" 1}", "{\"a\":\"x}", "not json"}) {
    SCOPED_TRACE(broken);
    EXPECT_FALSE(ReadJsonFields(broken, fields));
  }
}

TEST(LogLines, PiecesMakeWholeLines) {
  TLogLines lines;
  EXPECT_TRUE(lines.Add(" 12  ").empty());
  EXPECT_TRUE(lines.Add("7           ").empty());
  EXPECT_EQ(lines.Add("7\r\nRdMemLen: No Ack: 1f\r\n\r\nlast\nopen"),
            (std::vector<std::string>{" 12  7           7", "RdMemLen: No Ack: 1f", "last"}));
  EXPECT_EQ(lines.TakeRest(), "open");
  EXPECT_EQ(lines.TakeRest(), "");
  EXPECT_EQ(lines.Add("\r"), std::vector<std::string>{});
  EXPECT_EQ(lines.Add("\n"), std::vector<std::string>{});
}

TEST(PortLog, EachPortItsOwnLogFile) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM7", "LOG-COM7.TXT"},
      {"com12", "LOG-COM12.TXT"},
      {"/dev/ttyUSB0", "LOG-ttyUSB0.TXT"},
      {"/dev/pts/3", "LOG-pts-3.TXT"},
      {"/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0", "LOG-serial-by-id-usb-FTDI_FT232R_A50285BI-if00-port0.TXT"},
      {"/tmp/odd:name", "LOG-tmp-odd-name.TXT"},
  };
  for (const auto& [port, log] : cases) EXPECT_EQ(PortLogFileName(port), log) << port;
}

}  // namespace
