// Parameter download runs: a random parameter file (rising numbers up to
// 65535, values of up to seven characters, short and long line forms, lines
// that are no parameters) sent to a device whose table holds old values.
// Every parameter of the file must be written, and the host's read-back must
// show what it wrote.
#include <algorithm>
#include <map>

#include "sim/Simparams.h"
#include "comm/Channelcodes.h"
#include "core/Model.h"
#include "tests/support/Channelhost.h"
#include "tests/soak/Soakcase.h"

namespace {

constexpr int ParameterDownload = 3;  // "Parameters from PC to device"

std::string RandomValue(std::mt19937_64& random) {
  static const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.-";
  std::string value;
  const int length = static_cast<int>(SoakBetween(random, 1, 7));
  for (int i = 0; i < length; ++i) value += Letters[SoakBetween(random, 0, sizeof Letters - 2)];
  return value;
}

class ParamsCase : public SoakCase {
 public:
  explicit ParamsCase(std::mt19937_64& random) {
    const int count = static_cast<int>(SoakBetween(random, 1, 12));
    uint64_t number = 0;
    File = "Parameters of scale " + std::to_string(SoakBetween(random, 1000, 9999)) + "\r\n";
    for (int i = 0; i < count && number < 65535; ++i) {
      number = SoakBetween(random, number + 1, std::min<uint64_t>(65535, number + 6000));
      const std::string value = RandomValue(random);
      Numbers.push_back(static_cast<int>(number));
      Values.push_back(value);
      if (SoakBetween(random, 0, 2) == 0)
        File += "Par." + std::to_string(number) + ":Setting " + std::to_string(i) + " :" + value + "\r\n";
      else
        File += std::to_string(number) + ":" + value + "\r\n";
      if (SoakBetween(random, 0, 4) == 0) File += "\r\n";
      if (SoakBetween(random, 0, 2) != 0) OldTable[static_cast<int>(number)] = RandomValue(random);
    }
    // Parameters of the device the file does not name.
    const int others = static_cast<int>(SoakBetween(random, 0, 3));
    for (int i = 0; i < others; ++i) {
      const int n = static_cast<int>(SoakBetween(random, 1, 65535));
      if (!OldTable.count(n)) OldTable[n] = RandomValue(random);
    }
    Expected = OldTable;
    for (size_t i = 0; i < Numbers.size(); ++i) Expected[Numbers[i]] = Values[i];
    Baud = SoakBetween(random, 0, 1) ? 115200 : 57600;
  }

  int Operation() const override { return ParameterDownload; }
  int BaudRate() const override { return Baud; }
  char Parity() const override { return 'E'; }
  // Read, write and read-back frames with their answers: 64 bytes.
  uint64_t TrafficEstimate() const override { return 64 * Numbers.size(); }
  uint64_t CommandEstimate() const override { return 3 * Numbers.size(); }

  std::string WriteHostFile(const std::string& folder) override { return SoakWriteFile(folder, "params.txt", File); }

  void PrepareDevice(SimOptions& options, const std::string& folder, const SimDevice* previous) override {
    std::map<int, std::string> table = OldTable;
    if (const auto* device = dynamic_cast<const SimParams*>(previous)) table = device->Table();
    options.TableFile = SoakWriteFile(folder, previous ? "table-again.txt" : "table.txt", SimParams::FormatTable(table));
  }

  bool RunOver(const ChannelHost& host) const override { return host.State() == CmState::Ready; }

  std::string Verify(const SimDevice& device, ChannelHost& host) const override {
    const auto& sim = dynamic_cast<const SimParams&>(device);
    const std::map<int, std::string> table = sim.Table();
    for (const auto& [n, v] : Expected) {
      auto found = table.find(n);
      if (found == table.end()) return "parameter " + std::to_string(n) + " is missing from the device";
      if (found->second != v)
        return "parameter " + std::to_string(n) + " holds \"" + found->second + "\" instead of \"" + v + "\"";
    }
    if (table.size() != Expected.size()) return "the device holds " + std::to_string(table.size()) +
                                                 " parameters instead of " + std::to_string(Expected.size());
    // The host's own table: every parameter once, read back as written.
    const TParameterResults results = host.ModelPtr->SwDl.TakeParameterResults();
    if (results.ParNumbers.size() != Numbers.size() || results.NewValues.size() != Numbers.size())
      return "the host's table has " + std::to_string(results.ParNumbers.size()) + " rows and " +
             std::to_string(results.NewValues.size()) + " read-back values for " + std::to_string(Numbers.size()) +
             " parameters";
    for (size_t i = 0; i < Numbers.size(); ++i) {
      if (results.ParNumbers[i] != std::to_string(Numbers[i]) || results.NewValues[i] != Values[i])
        return "the host's row " + std::to_string(i + 1) + " reads " + results.ParNumbers[i] + " = \"" +
               results.NewValues[i] + "\" instead of " + std::to_string(Numbers[i]) + " = \"" + Values[i] + "\"";
    }
    return {};
  }

 private:
  std::string File;
  std::vector<int> Numbers;
  std::vector<std::string> Values;
  std::map<int, std::string> OldTable;
  std::map<int, std::string> Expected;
  int Baud = 115200;
};

}  // namespace

std::unique_ptr<SoakCase> MakeParamsCase(std::mt19937_64& random) { return std::make_unique<ParamsCase>(random); }
