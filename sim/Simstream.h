// A device that sends its parameters as text lines and listens to nothing:
// after StartDelayMs it sends the lines (from StreamFile or a built-in
// sample) with IntervalMs between them, Repeat times (0: for ever), each
// ended by CR LF or LF; then, if LongLine is set, that many characters with
// no line end at all. Afterwards it keeps the line open and quiet.
#pragma once

#include <string>
#include <vector>

#include "sim/Simdevice.h"

class SimStream : public SimDevice {
 public:
  explicit SimStream(const SimOptions& options);
  // The device thread uses this object's members: it ends first.
  ~SimStream() override { Stop(); }

  // The lines the device sends, without line ends.
  std::vector<std::string> Lines() const;
  int LinesSent() const;
  // Whether everything (lines and long line) has gone out.
  bool Finished() const;

  static std::vector<std::string> SampleLines();

 protected:
  bool Prepare(std::string& error) override;
  void Serve() override;
  void SummaryFields(SimJson& json) const override;
  bool DumpFiles(const std::string& dir, std::string& error) const override;

 private:
  // Under Lock.
  std::vector<std::string> Text;
  int SentCount = 0;
  bool Done = false;
};
