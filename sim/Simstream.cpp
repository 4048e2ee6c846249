#include "sim/Simstream.h"

#include <fstream>

#include "sim/Simjson.h"

SimStream::SimStream(const SimOptions& options) : SimDevice("stream", options) {}

std::vector<std::string> SimStream::SampleLines() {
  return {
      "K7310 parameter list",
      "Par.1: Capacity :3000",
      "Par.2: Division :1",
      "Par.3: Decimal point :2",
      "Par.4: Unit :kg",
      "Par.7: Calibration weight :1000",
      "Par.12: Zero tracking :3",
      "Par.13: Zero range :2",
      "Par.14: Motion band :1",
      "Par.15: Filter :4",
      "Par.20: Baud rate :9600",
      "Par.21: Parity :E",
      "Par.30: Print format :1",
      "Par.31: Auto print :0",
      "End of list",
  };
}

bool SimStream::Prepare(std::string& error) {
  std::vector<std::string> lines;
  if (Options.StreamFile.empty()) {
    lines = SampleLines();
  } else {
    std::ifstream in(Options.StreamFile, std::ios::binary);
    if (!in) {
      error = "Could not open the line file " + Options.StreamFile;
      return false;
    }
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }
  std::lock_guard<std::mutex> guard(Lock);
  Text = lines;
  return true;
}

void SimStream::Serve() {
  Pause(Options.StartDelayMs);
  const std::string end = Options.CrLf ? "\r\n" : "\n";
  for (int round = 0; Options.Repeat == 0 || round < Options.Repeat; ++round) {
    for (size_t i = 0; i < Text.size(); ++i) {
      CommandArrived("line " + std::to_string(i + 1));
      std::string line = Text[i] + end;
      Answer(std::vector<uint8_t>(line.begin(), line.end()), "line " + std::to_string(i + 1));
      {
        std::lock_guard<std::mutex> guard(Lock);
        ++SentCount;
      }
      Pause(Options.IntervalMs);
    }
    if (Text.empty()) Pause(Options.IntervalMs);  // a repeating empty list must not spin
  }
  if (Options.LongLine > 0) {
    std::vector<uint8_t> endless;
    for (int i = 0; i < Options.LongLine; ++i) endless.push_back(static_cast<uint8_t>('A' + i % 26));
    Answer(endless, "long line");
  }
  {
    std::lock_guard<std::mutex> guard(Lock);
    Done = true;
  }
  // The host may still be reading: keep the line open, take and drop
  // whatever it sends.
  for (;;) {
    uint8_t ignored;
    ReadByte(ignored, 100);
  }
}

std::vector<std::string> SimStream::Lines() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Text;
}

int SimStream::LinesSent() const {
  std::lock_guard<std::mutex> guard(Lock);
  return SentCount;
}

bool SimStream::Finished() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Done;
}

void SimStream::SummaryFields(SimJson& json) const {
  json.Field("lines", static_cast<int>(Text.size()));
  json.Field("lines_sent", SentCount);
  json.Field("line_end", Options.CrLf ? "crlf" : "lf");
  json.Field("long_line", Options.LongLine);
  json.Field("finished", Done);
}

bool SimStream::DumpFiles(const std::string&, std::string&) const { return true; }
