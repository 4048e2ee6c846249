// qmss sample DIR: a small firmware set made here from a fixed seed, for a
// first run and for trying the tools without a scale: four part files (each
// linked at 0x08000000), the total file combined from them as the total hex
// file tool combines them, a TRX5170L file and a parameter file.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/Cliargs.h"
#include "cli/Commands.h"
#include "core/Modeltotalhex.h"
#include "core/Textfile.h"

namespace {

const char* const SampleUsage =
    "Usage: qmss sample DIR [--seed N]\n"
    "Writes into DIR: main.hex display.hex lccomm.hex ethernet.hex (parts at 0x08000000),\n"
    "total.hex (combined: a K7310 image with data for all four processors), trx5170l.hex\n"
    "and params.txt. The same seed always gives the same files.\n"
    "  -h, --help  this text\n";

// An Intel HEX record line: upper-case hex, checksum the two's complement of
// the byte sum.
std::string Record(int type, uint16_t address, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                                static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(type)};
  bytes.insert(bytes.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  bytes.push_back(static_cast<uint8_t>(0x100 - sum));
  std::string line = ":";
  char hex[3];
  for (uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    line += hex;
  }
  return line;
}

// Data records of 16 bytes from a 32-bit address, with an extended linear
// address record wherever the upper 16 bits change.
void AppendData(std::vector<std::string>& lines, uint32_t address, const std::vector<uint8_t>& data) {
  int32_t upper = -1;
  for (size_t at = 0; at < data.size(); at += 16) {
    const uint32_t a = address + static_cast<uint32_t>(at);
    if (static_cast<int32_t>(a >> 16) != upper) {
      upper = static_cast<int32_t>(a >> 16);
      lines.push_back(Record(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF)}));
    }
    const size_t count = std::min<size_t>(16, data.size() - at);
    lines.push_back(Record(0, static_cast<uint16_t>(a & 0xFFFF),
                           std::vector<uint8_t>(data.begin() + static_cast<long>(at),
                                                data.begin() + static_cast<long>(at + count))));
  }
}

// A firmware-like byte pattern: a small vector table, then pseudo-random
// code, never a run of 0xFF (which the TRX5170L download would skip).
std::vector<uint8_t> Pattern(uint64_t& state, size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    bytes[i] = static_cast<uint8_t>(state >> 56);
    if (bytes[i] == 0xFF) bytes[i] = 0xFE;
  }
  return bytes;
}

std::vector<std::string> PartFile(uint64_t& state, size_t length) {
  std::vector<std::string> lines;
  AppendData(lines, TModelTotalHex::FlashBase, Pattern(state, length));
  lines.push_back(Record(5, 0, {0x08, 0x00, 0x00, 0x00}));
  lines.push_back(Record(1, 0, {}));
  return lines;
}

}  // namespace

int RunSampleCommand(const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {{"--seed", true}, {"-h,--help", false}}, error)) {
    std::fprintf(stderr, "qmss sample: %s\n%s", error.c_str(), SampleUsage);
    return ExitUsage;
  }
  if (parsed.Has("--help")) {
    std::fputs(SampleUsage, stdout);
    return ExitDone;
  }
  long long seed = 7310;
  if (parsed.Positional().size() != 1 || (parsed.Has("--seed") && !ParseInteger(parsed.Value("--seed"), seed))) {
    std::fprintf(stderr, "qmss sample: give one folder (and a whole number as --seed)\n%s", SampleUsage);
    return ExitUsage;
  }
  const std::filesystem::path dir = parsed.Positional()[0];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "qmss sample: could not create \"%s\": %s\n", dir.string().c_str(), ec.message().c_str());
    return ExitFailed;
  }

  // Sizes chosen to exercise the download: the main part crosses a 2 KiB
  // page, the others end inside a block.
  struct Part {
    const char* File;
    size_t Length;
  };
  const Part parts[4] = {{"main.hex", 0x900}, {"display.hex", 0x300}, {"lccomm.hex", 0x180}, {"ethernet.hex", 0x244}};
  uint64_t state = static_cast<uint64_t>(seed);
  try {
    TModelTotalHex total;
    for (int n = 1; n <= 4; ++n) {
      const std::string file = (dir / parts[n - 1].File).string();
      WriteTextLines(file, PartFile(state, parts[n - 1].Length));
      total.LoadPart(n, file);
    }
    if (!total.Combine()) {
      std::fprintf(stderr, "qmss sample: combine refused: %s\n", total.Problem().c_str());
      return ExitFailed;
    }
    total.Save((dir / "total.hex").string());

    std::vector<std::string> trx;
    AppendData(trx, 0x000E0000, Pattern(state, 0x400));
    AppendData(trx, 0x000F0000, Pattern(state, 0x90));
    trx.push_back(Record(1, 0, {}));
    WriteTextLines((dir / "trx5170l.hex").string(), trx);

    WriteTextLines((dir / "params.txt").string(),
                   {"Parameters of a K7310 weighing terminal", "", "Par.1: Scale interval :2",
                    "Par.2: Zero tracking :3", "Par.5: Filter :4", "Par.12: Display rate :10",
                    "Par.20: Unit :kg"});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qmss sample: %s\n", e.what());
    return ExitFailed;
  }
  std::printf("%s\n", (dir / "total.hex").string().c_str());
  return ExitDone;
}
