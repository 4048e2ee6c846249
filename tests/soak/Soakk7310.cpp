// K7310 runs: a small random total image (a few KiB in a random choice of
// the four processors' parts, with empty cells inside), downloaded into a
// device whose flash holds old firmware.
#include <algorithm>

#include "sim/Simk7310.h"
#include "comm/Channelcodes.h"
#include "core/Model.h"
#include "tests/support/Channelhost.h"
#include "tests/k7310/Testimage.h"
#include "tests/soak/Soakcase.h"

namespace {

constexpr int K7310Download = 1;  // "Software Download - K7310"
constexpr size_t FlashTotal = 0x80000 + 3 * 0x10000;

class K7310Case : public SoakCase {
 public:
  explicit K7310Case(std::mt19937_64& random) {
    int mask = 0;
    while (mask == 0)
      for (int p = 0; p < 4; ++p)
        if (SoakBetween(random, 0, 9) < 6) mask |= 1 << p;
    for (int p = 1; p <= 4; ++p) {
      if (!(mask & (1 << (p - 1)))) continue;
      const int stretches = static_cast<int>(SoakBetween(random, 1, 3));
      for (int s = 0; s < stretches; ++s) {
        const int32_t length = static_cast<int32_t>(SoakBetween(random, 1, 2048));
        const int32_t offset = static_cast<int32_t>(SoakBetween(random, 0, 4096 - length));
        Image.Fill(p, offset, length, random());
      }
      const int holes = static_cast<int>(SoakBetween(random, 0, 2));
      for (int h = 0; h < holes; ++h) {
        const int32_t length = static_cast<int32_t>(SoakBetween(random, 1, 300));
        Image.Clear(p, static_cast<int32_t>(SoakBetween(random, 0, 4096 - length)), length);
      }
    }
    for (int p = 1; p <= 4; ++p) {
      Parts[p - 1] = Image.Part(p);
      Bytes += Parts[p - 1].size();
      Blocks += (Parts[p - 1].size() + 255) / 256;
    }
    static constexpr int Rates[] = {115200, 230400, 460800, 921600};
    Baud = Rates[SoakBetween(random, 0, 3)];
    Awake = SoakBetween(random, 0, 1) == 1;
    OldFirmware.resize(FlashTotal);
    for (uint8_t& b : OldFirmware) b = static_cast<uint8_t>(random());
  }

  int Operation() const override { return K7310Download; }
  int BaudRate() const override { return Baud; }
  char Parity() const override { return 'E'; }
  // Every byte of a part goes out once and comes back twice (read-back and
  // verification).
  uint64_t TrafficEstimate() const override { return 3 * Bytes; }
  // Write, read-back and verification commands for every block.
  uint64_t CommandEstimate() const override { return 3 * Blocks; }

  std::string WriteHostFile(const std::string& folder) override { return Image.WriteHex(folder + "/total.hex"); }

  void PrepareDevice(SimOptions& options, const std::string& folder, const SimDevice* previous) override {
    Preload = OldFirmware;
    if (const auto* device = dynamic_cast<const SimK7310*>(previous)) {
      Preload.clear();
      for (int unit = 0; unit < SimK7310::kUnits; ++unit) {
        const std::vector<uint8_t> flash = device->Flash(unit);
        Preload.insert(Preload.end(), flash.begin(), flash.end());
      }
    }
    options.ImageFile = SoakWriteFile(folder, previous ? "flash-again.bin" : "flash.bin",
                                      std::string(Preload.begin(), Preload.end()));
    options.Awake = Awake;
  }

  bool RunOver(const ChannelHost& host) const override { return host.State() == CmState::Ready; }

  std::string Verify(const SimDevice& device, ChannelHost& host) const override {
    const auto& sim = dynamic_cast<const SimK7310&>(device);
    size_t at = 0;
    for (int p = 1; p <= 4; ++p) {
      const std::vector<uint8_t> flash = sim.Flash(p - 1);
      const std::string name = std::string(SimK7310::UnitName(p - 1)) + " flash";
      std::string difference;
      if (Parts[p - 1].empty()) {
        // No data for this processor: its flash keeps what it held.
        const std::vector<uint8_t> before(Preload.begin() + static_cast<long>(at),
                                          Preload.begin() + static_cast<long>(at + flash.size()));
        difference = SoakFirstDifference(name + " (no data, untouched)", before, flash);
      } else {
        const std::vector<uint8_t> head(flash.begin(),
                                        flash.begin() + static_cast<long>(std::min(flash.size(), Parts[p - 1].size())));
        difference = SoakFirstDifference(name, Parts[p - 1], head);
      }
      if (!difference.empty()) return difference;
      at += flash.size();
    }
    // The final reboot follows the Ethernet part only; either way the run
    // counts as completed.
    if (!RunUntil([&] { return host.ModelPtr->SwDl.RunStatus().Phase == CmPhase::Done; }, 2000))
      return std::string("the run status is ") + PhaseName(host.ModelPtr->SwDl.RunStatus().Phase) +
             " instead of done (status \"" + host.StateText() + "\")";
    return {};
  }

 private:
  TTestImage Image;
  std::vector<uint8_t> Parts[4];
  uint64_t Bytes = 0;
  uint64_t Blocks = 0;
  int Baud = 115200;
  bool Awake = false;
  std::vector<uint8_t> OldFirmware;
  std::vector<uint8_t> Preload;  // what the device last prepared started with
};

}  // namespace

std::unique_ptr<SoakCase> MakeK7310Case(std::mt19937_64& random) { return std::make_unique<K7310Case>(random); }
