// An independent, widely used boot-loader client programs and verifies the
// simulated main processor: proof that the simulator speaks the real
// protocol and not only our own reading of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>

#include "sim/Simk7310.h"

namespace {

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Unpaced, and paced at the line's 115200 baud.
class Stm32flash : public ::testing::TestWithParam<bool> {};

TEST_P(Stm32flash, ProgramsAndVerifiesTheMainProcessor) {
  if (!OnPath("stm32flash")) GTEST_SKIP() << "stm32flash is not installed (Debian package stm32flash)";
  namespace fs = std::filesystem;
  fs::path dir = fs::path(::testing::TempDir()) / "qmss-sim-stm32flash";
  fs::remove_all(dir);
  fs::create_directories(dir);

  // 5 KiB and a bit: three pages, the last one partly used.
  std::vector<uint8_t> image(5 * 1024 + 100);
  std::mt19937 random(20240611);
  for (uint8_t& b : image) b = static_cast<uint8_t>(random());
  fs::path file = dir / "rnd.bin";
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }

  SimOptions options;
  options.Awake = true;  // stm32flash knows nothing of the wake-up word
  options.Pace = GetParam();
  SimK7310 sim(options);
  std::string error;
  ASSERT_TRUE(sim.Start(error)) << error;

  // A pty cannot keep the parity bit and stm32flash checks its settings
  // after setting them, so the line runs 8N1 here.
  std::string command = "stm32flash -m 8n1 -b 115200 -w " + file.string() + " -v -S 0x08000000 " +
                        sim.SlavePath() + " >" + (dir / "log.txt").string() + " 2>&1";
  int status = std::system(command.c_str());
  std::ifstream logFile(dir / "log.txt");
  std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log;
  sim.Stop();

  std::vector<uint8_t> flash = sim.Flash(SimK7310::Main);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin())) << log;
  EXPECT_TRUE(std::all_of(flash.begin() + static_cast<ptrdiff_t>(image.size()), flash.end(),
                          [](uint8_t b) { return b == 0xFF; }));
  SimK7310Counts counts = sim.Counts(SimK7310::Main);
  EXPECT_GE(counts.PagesErased, 3);
  EXPECT_GE(counts.Writes, 21);
  EXPECT_GE(counts.Reads, 1);
  EXPECT_EQ(counts.Rejected, 0) << log;
}

INSTANTIATE_TEST_SUITE_P(Pacing, Stm32flash, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Paced" : "Unpaced"; });

}  // namespace
