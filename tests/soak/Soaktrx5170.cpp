// TRX5170L runs: a few random stretches of data (0xFF bytes and empty cells
// among them) anywhere in the 128 KiB, downloaded into a device whose flash
// holds old firmware. The device must end locked, holding the image with the
// checksum stamp the host added and 0xFF everywhere else.
#include <map>

#include "hex/Hexfile.h"
#include "sim/Simtrx5170.h"
#include "comm/Channelcodes.h"
#include "core/Model.h"
#include "tests/support/Channelhost.h"
#include "tests/support/Hexwriter.h"
#include "tests/soak/Soakcase.h"

namespace {

constexpr int Trx5170Download = 2;  // "Software Download - TRX5170L"
constexpr uint32_t FlashStart = SimTrx5170::kFlashBase;
constexpr uint32_t FlashEnd = FlashStart + SimTrx5170::kFlashSize;

class Trx5170Case : public SoakCase {
 public:
  explicit Trx5170Case(std::mt19937_64& random) {
    const int stretches = static_cast<int>(SoakBetween(random, 1, 4));
    for (int s = 0; s < stretches; ++s) {
      const uint32_t length = static_cast<uint32_t>(SoakBetween(random, 1, 1500));
      // Now and then a stretch that ends at the last address.
      const uint32_t start = SoakBetween(random, 0, 5) == 0
                                 ? FlashEnd - length
                                 : static_cast<uint32_t>(SoakBetween(random, FlashStart, FlashEnd - length));
      const bool withFf = SoakBetween(random, 0, 1) == 1;
      for (uint32_t a = start; a < start + length; ++a) {
        if (withFf && SoakBetween(random, 0, 19) == 0) continue;  // an empty cell
        Cells[a] = withFf && SoakBetween(random, 0, 9) == 0 ? 0xFF : static_cast<uint8_t>(random());
      }
    }
    if (Cells.empty()) Cells[FlashStart] = 0xFF;
    if (Cells.begin()->second == 0xFF) Cells.begin()->second = 0x5A;  // at least one byte to send
    for (const auto& [address, byte] : Cells) SentBytes += byte != 0xFF;
    static constexpr int Rates[] = {57600, 115200, 230400};
    Baud = Rates[SoakBetween(random, 0, 2)];
    OldFirmware.resize(SimTrx5170::kFlashSize);
    for (uint8_t& b : OldFirmware) b = static_cast<uint8_t>(random());
  }

  int Operation() const override { return Trx5170Download; }
  int BaudRate() const override { return Baud; }
  char Parity() const override { return 'N'; }
  // Every byte other than 0xFF goes out in a block, after the frames that
  // connect, switch the rate and unlock.
  uint64_t TrafficEstimate() const override { return SentBytes + 80; }
  uint64_t CommandEstimate() const override { return SentBytes / 64 + 4; }

  std::string WriteHostFile(const std::string& folder) override {
    const std::string path = folder + "/trx.hex";
    WriteHexFile(path, Cells);
    return path;
  }

  void PrepareDevice(SimOptions& options, const std::string& folder, const SimDevice* previous) override {
    std::vector<uint8_t> preload = OldFirmware;
    if (const auto* device = dynamic_cast<const SimTrx5170*>(previous)) preload = device->Flash();
    options.ImageFile = SoakWriteFile(folder, previous ? "flash-again.bin" : "flash.bin",
                                      std::string(preload.begin(), preload.end()));
  }

  bool RunOver(const ChannelHost& host) const override {
    return host.State() == CmState::Ready && host.ModelPtr->SwDl.RunStatus().Phase == CmPhase::Done;
  }

  std::string Verify(const SimDevice& device, ChannelHost& host) const override {
    const auto& sim = dynamic_cast<const SimTrx5170&>(device);
    // The image as written, 0xFF for empty cells, with the stamp the host's
    // load added (its value is the image tests' business).
    std::vector<uint8_t> expected(SimTrx5170::kFlashSize, 0xFF);
    for (const auto& [address, byte] : Cells) expected[address - FlashStart] = byte;
    const auto image = host.ModelPtr->SwDl.CurrentImage();
    if (!image) return "the host holds no image";
    for (uint32_t a = 0xF7FFC; a < 0xF8000; ++a) {
      const int32_t b = image->ByteAt(static_cast<int32_t>(a));
      if (b < 0) return "the host's image carries no checksum stamp";
      expected[a - FlashStart] = static_cast<uint8_t>(b);
    }
    const std::string difference = SoakFirstDifference("flash", expected, sim.Flash(), FlashStart);
    if (!difference.empty()) return difference;
    if (sim.Unlocked()) return "the device was left unlocked (no closing frame taken)";
    return {};
  }

 private:
  std::map<uint32_t, uint8_t> Cells;
  uint64_t SentBytes = 0;
  int Baud = 115200;
  std::vector<uint8_t> OldFirmware;
};

}  // namespace

std::unique_ptr<SoakCase> MakeTrx5170Case(std::mt19937_64& random) { return std::make_unique<Trx5170Case>(random); }
