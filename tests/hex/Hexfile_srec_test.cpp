// Cross-check of Load against srec_cat: random binaries are written as Intel
// HEX by srec_cat in several shapes, loaded, and the cells compared with the
// binaries byte for byte.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "hex/Hexfile.h"
#include "tests/support/Tempdir.h"

namespace {

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string ReadText(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Input {
  uint32_t Address;
  uint32_t Length;
};

struct Range {
  uint32_t From;  // inclusive
  uint32_t To;    // exclusive
};

// One srec_cat run: binaries at addresses, optionally cropped or with holes
// filled (both applied to the last input, as srec_cat binds filters).
struct HexPiece {
  std::vector<Input> Inputs;
  std::vector<Range> Crop = {};
  std::optional<Range> Fill = {};  // filled with 0xFF
  std::optional<uint32_t> StartAddress = {};
};

enum class Variant { AsWritten, LowerCase };

struct SrecCase {
  const char* Name;
  int32_t Size;
  int32_t Base;
  std::vector<HexPiece> Pieces;  // more than one: concatenated, end-of-file records in between
  std::string OutputOptions;
  Variant Form = Variant::AsWritten;
};

class HexFileSrecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SrecCat = FindOnPath("srec_cat");
    if (SrecCat.empty()) GTEST_SKIP() << "srec_cat not found on PATH (Debian package srecord); cross-check skipped";
  }

  // Writes the pieces with srec_cat and fills expected with what they hold.
  std::string WriteHex(const SrecCase& c, std::vector<int32_t>& expected) {
    std::string text;
    uint32_t seed = 1;
    for (size_t p = 0; p < c.Pieces.size(); ++p) {
      const HexPiece& piece = c.Pieces[p];
      std::vector<std::pair<uint32_t, int>> bytes;  // address, value
      std::string command = SrecCat;
      for (size_t i = 0; i < piece.Inputs.size(); ++i) {
        const Input& in = piece.Inputs[i];
        const std::string bin = Dir.File("in" + std::to_string(p) + "_" + std::to_string(i) + ".bin");
        std::mt19937 random(seed++);
        std::string data(in.Length, '\0');
        for (char& ch : data) ch = static_cast<char>(random() & 0xFF);
        std::ofstream(bin, std::ios::binary) << data;
        command += " '" + bin + "' -binary -offset " + std::to_string(in.Address);
        const bool last = i + 1 == piece.Inputs.size();
        for (uint32_t k = 0; k < in.Length; ++k) {
          const uint32_t address = in.Address + k;
          const bool kept = !last || piece.Crop.empty() ||
                            std::any_of(piece.Crop.begin(), piece.Crop.end(),
                                        [&](const Range& r) { return address >= r.From && address < r.To; });
          if (kept) bytes.emplace_back(address, static_cast<unsigned char>(data[k]));
        }
      }
      if (!piece.Crop.empty()) command += " -crop";
      for (const Range& r : piece.Crop) command += " " + std::to_string(r.From) + " " + std::to_string(r.To);
      if (piece.Fill) {
        command += " -fill 0xFF " + std::to_string(piece.Fill->From) + " " + std::to_string(piece.Fill->To);
        std::vector<bool> held(piece.Fill->To - piece.Fill->From, false);
        for (const auto& [address, value] : bytes)
          if (address >= piece.Fill->From && address < piece.Fill->To) held[address - piece.Fill->From] = true;
        for (uint32_t a = piece.Fill->From; a < piece.Fill->To; ++a)
          if (!held[a - piece.Fill->From]) bytes.emplace_back(a, 0xFF);
      }
      if (piece.StartAddress) command += " -execution-start-address " + std::to_string(*piece.StartAddress);
      const std::string hex = Dir.File("out" + std::to_string(p) + ".hex");
      const std::string errors = Dir.File("srec_cat.err");
      command += " -o '" + hex + "' -intel " + c.OutputOptions + " 2>'" + errors + "'";
      if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << c.Name << ": " << command << "\n" << ReadText(errors);
        return {};
      }
      text += ReadText(hex);

      for (const auto& [address, value] : bytes) {
        const int64_t index = int64_t{address} - c.Base;
        if (index >= 0 && index < c.Size) expected[static_cast<size_t>(index)] = value;
      }
    }
    if (c.Form == Variant::LowerCase)
      std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return Dir.Write("test.hex", text);
  }

  std::string SrecCat;
  TempDir Dir;
};

TEST_F(HexFileSrecTest, LoadMatchesTheBinaries) {
  constexpr int32_t Flash = 0x08000000;
  const std::vector<SrecCase> cases = {
      {"full 704 KiB image, 16-byte records", 0xB0000, Flash, {{{{Flash, 0xB0000}}}}, "-obs 16"},
      {"32-byte records from an odd address, over several 64 KiB segments", 0xB0000, Flash,
       {{{{Flash + 5, 0x30003}}}}, "-obs 32"},
      {"255-byte records running past 0xFFFF, CR LF", 0x20000, Flash, {{{{Flash + 0xFF00, 5000}}}},
       "-obs 255 -crlf"},
      {"32-byte record running past 0xFFFF", 0x20000, Flash, {{{{Flash + 0xFFF0, 0x100}}}}, "-obs 32"},
      {"16-bit addresses only", 0x10000, 0, {{{{0x0100, 0xF000}}}}, "-Address_Length=2 -obs 16"},
      {"16-bit addresses, lower case", 0x10000, 0, {{{{0x0000, 0x10000}}}}, "-Address_Length=2 -obs 32",
       Variant::LowerCase},
      {"gaps between several inputs", 0xB0000, Flash,
       {{{{Flash, 1000}, {Flash + 0x4000, 3000}, {Flash + 0x6FFF0, 64}, {Flash + 0xAFF00, 0x100}}}}, "-obs 16"},
      {"cropped input", 0x10000, Flash,
       {{{{Flash, 0x8000}}, {{Flash + 0x100, Flash + 0x333}, {Flash + 0x4000, Flash + 0x4001}}}}, "-obs 16"},
      {"holes filled", 0x10000, Flash,
       {{{{Flash + 0x10, 0x20}, {Flash + 0x800, 0x100}}, {}, Range{Flash + 0x800, Flash + 0x1000}}}, ""},
      {"end-of-file and start address records in the middle, lower case", 0xB0000, Flash,
       {{{{Flash, 0x1234}}, {}, {}, Flash + 0x101}, {{{Flash + 0x20000, 0x2000}}}, {{{Flash + 0x90010, 0x80}}}},
       "-obs 32", Variant::LowerCase},
  };

  for (const auto& c : cases) {
    std::vector<int32_t> expected(static_cast<size_t>(c.Size), -1);
    const std::string hex = WriteHex(c, expected);
    if (hex.empty()) continue;

    HexFile image(c.Size, c.Base);
    image.Load(hex);
    const HexLoadReport& report = image.Report();
    EXPECT_TRUE(report.Clean()) << c.Name << ": " << report.RecordProblemText() << " " << report.OutsideText();

    int mismatches = 0;
    for (int32_t i = 0; i < c.Size && mismatches < 5; ++i) {
      if (image.ByteAt(i) == expected[static_cast<size_t>(i)]) continue;
      ADD_FAILURE() << c.Name << ": cell 0x" << std::hex << i << " holds " << image.ByteAt(i) << ", expected "
                    << expected[static_cast<size_t>(i)];
      ++mismatches;
    }
    const auto last = std::find_if(expected.rbegin(), expected.rend(), [](int32_t v) { return v >= 0; });
    const int32_t used = last == expected.rend() ? -1 : static_cast<int32_t>(expected.rend() - last);
    EXPECT_EQ(image.UsedLength(), used) << c.Name;
    EXPECT_EQ(image.FilledCount(), std::count_if(expected.begin(), expected.end(), [](int32_t v) { return v >= 0; }))
        << c.Name;
  }
}

// Data that srec_cat places below the image and past its end is left out and
// counted, and everything inside still matches.
TEST_F(HexFileSrecTest, DataAroundTheImageIsCountedAsOutside) {
  constexpr int32_t Flash = 0x08000000;
  const SrecCase c = {"around", 0x10000, Flash, {{{{Flash - 0x40, 0x10080}}}}, "-obs 16"};
  std::vector<int32_t> expected(0x10000, -1);
  const std::string hex = WriteHex(c, expected);
  ASSERT_FALSE(hex.empty());
  HexFile image(c.Size, c.Base);
  image.Load(hex);
  EXPECT_EQ(image.Report().OutsideBytes, 0x80);
  EXPECT_EQ(image.Report().FirstOutside, Flash - 0x40);
  EXPECT_EQ(image.Report().LastOutside, Flash + 0x1003F);
  EXPECT_EQ(image.FilledCount(), 0x10000);
  for (int32_t i = 0; i < 0x10000; i += 0x1111) EXPECT_EQ(image.ByteAt(i), expected[static_cast<size_t>(i)]);
}

}  // namespace
