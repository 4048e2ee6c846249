// A device that keeps a parameter table and answers the parameter read and
// write frames:
//   0xD2 read (number, 2 bytes LSB first) -> 0xD3, 9 bytes: the number and
//        a 7-byte value field (the text, zero-terminated when shorter than
//        7 characters, zeros after it)
//   0xD0 write (number, 7-byte value field) -> 0xD1, 3 bytes: the number
//        and 0; the value is the field's text up to its first zero
// A number the table does not hold reads as the empty value; writing it
// adds it. Frames of other lengths are ignored.
#pragma once

#include <map>
#include <string>

#include "sim/Simframed.h"

struct SimParamAccess {
  bool Write = false;
  int Number = 0;
  std::string Value;  // the value read or written
};

class SimParams : public SimFramedDevice {
 public:
  explicit SimParams(const SimOptions& options);
  // The device thread uses this object's members: it ends first.
  ~SimParams() override { Stop(); }

  std::map<int, std::string> Table() const;
  // Every read and write in the order they arrived.
  std::vector<SimParamAccess> Accesses() const;

  // Table text: one "number=value" or "number:value" per line; blank lines
  // and lines starting with # are skipped. False with the line's number and
  // fault when a line is neither.
  static bool ParseTable(const std::string& text, std::map<int, std::string>& table, std::string& error);
  // The table as "number=value" lines, by number.
  static std::string FormatTable(const std::map<int, std::string>& table);

 protected:
  bool Prepare(std::string& error) override;
  void HandleFrame(const SimFrame& frame) override;
  void SummaryFields(SimJson& json) const override;
  bool DumpFiles(const std::string& dir, std::string& error) const override;

 private:
  // Under Lock.
  std::map<int, std::string> Values;
  std::vector<SimParamAccess> Log;
  int ReadCount = 0;
  int WriteCount = 0;
};
