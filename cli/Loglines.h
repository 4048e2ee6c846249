// The log as lines: channels write a log line in pieces (a table row cell by
// cell, its line end last); -v and the failure events want whole lines.
#pragma once

#include <string>
#include <vector>

class TLogLines {
 public:
  // The lines that text completes, without their line ends (CR LF or LF);
  // empty lines are left out.
  std::vector<std::string> Add(const std::string& text);
  // What is left without a line end (at the end of a run), then empty.
  std::string TakeRest();

 private:
  std::string Pending;
};
