// The log file: exact bytes, the banner blocks, appending across runs and the
// exclusive access that leaves a second instance without a log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "files/Logfile.h"
#include "tests/support/Tempdir.h"

namespace fs = std::filesystem;

namespace {

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = Scratch.File("");
    Path = (Dir / "LOG.TXT").string();
  }

  std::string Load() const {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // One run: start banner, the channels' text, stop banner.
  void Run(const std::string& text) const {
    TLogFile log;
    ASSERT_TRUE(log.Open(Path));
    log.WriteStartBanner();
    log.Write(text);
    log.WriteStopBanner();
    log.Close();
  }

  TempDir Scratch;
  fs::path Dir;
  std::string Path;
};

// Takes text from the front of rest if it is there.
bool Take(std::string& rest, const std::string& text) {
  if (rest.compare(0, text.size(), text) != 0) return false;
  rest.erase(0, text.size());
  return true;
}

// Takes a date line "date: time" CR LF, neither part empty nor holding a
// line break.
bool TakeDateLine(std::string& rest) {
  const size_t end = rest.find("\r\n");
  if (end == std::string::npos) return false;
  const std::string line = rest.substr(0, end);
  const size_t sep = line.find(": ");
  if (sep == std::string::npos || sep == 0 || sep + 2 == line.size()) return false;
  if (line.find_first_of("\r\n") != std::string::npos) return false;
  rest.erase(0, end + 2);
  return true;
}

// Takes one run's block: CR LF, start banner, CR LF, date line, the inner
// text, then the same with the stop banner.
bool TakeBlock(std::string& rest, const std::string& inner) {
  return Take(rest, "\r\n* START " + std::string(72, '*') + "\r\n") && TakeDateLine(rest) &&
         Take(rest, inner) && Take(rest, "\r\n* STOPPED " + std::string(70, '*') + "\r\n") &&
         TakeDateLine(rest);
}

TEST(LogBanner, LinesAreEightyCharacters) {
  EXPECT_EQ(TLogFile::StartBannerLine(), "* START " + std::string(72, '*'));
  EXPECT_EQ(TLogFile::StopBannerLine(), "* STOPPED " + std::string(70, '*'));
  EXPECT_EQ(TLogFile::StartBannerLine().size(), 80u);
  EXPECT_EQ(TLogFile::StopBannerLine().size(), 80u);
}

TEST_F(LogFile, RunWritesOneBlockAroundTheChannelText) {
  Run("Block 0x0100: no reply\r\n");
  std::string rest = Load();
  EXPECT_TRUE(TakeBlock(rest, "Block 0x0100: no reply\r\n")) << Load();
  EXPECT_EQ(rest, "");
}

TEST_F(LogFile, WriteAddsNothingToTheBytesGiven) {
  TLogFile log;
  ASSERT_TRUE(log.Open(Path));
  log.Write(std::string("a\0b", 3));
  log.Write("no line end");
  log.Write("");
  log.Close();
  EXPECT_EQ(Load(), std::string("a\0bno line end", 14));
}

TEST_F(LogFile, TwoRunsAppendTwoBlocksAfterWhatWasThere) {
  std::ofstream(Path, std::ios::binary) << "older run\r\n";
  Run("first\r\n");
  Run("second\r\n");
  std::string rest = Load();
  EXPECT_TRUE(Take(rest, "older run\r\n") && TakeBlock(rest, "first\r\n") &&
              TakeBlock(rest, "second\r\n"))
      << Load();
  EXPECT_EQ(rest, "");
}

TEST_F(LogFile, SecondOpenWhileHeldFailsAndItsWritesDoNothing) {
  TLogFile first;
  ASSERT_TRUE(first.Open(Path));
  TLogFile second;
  EXPECT_FALSE(second.Open(Path));
  EXPECT_FALSE(second.IsOpen());
  second.WriteStartBanner();
  second.Write("lost\r\n");
  first.Write("kept\r\n");
  EXPECT_EQ(Load(), "kept\r\n");

  // Once the first lets go, the file can be opened again.
  first.Close();
  ASSERT_TRUE(second.Open(Path));
  second.Write("next\r\n");
  EXPECT_EQ(Load(), "kept\r\nnext\r\n");
}

TEST_F(LogFile, FileThatCannotBeCreatedLeavesAnInvalidHandle) {
  TLogFile log;
  EXPECT_FALSE(log.Open((Dir / "missing" / "LOG.TXT").string()));
  EXPECT_FALSE(log.IsOpen());
  log.WriteStartBanner();  // silently nothing
  log.Write("text");
  log.Close();
}

TEST_F(LogFile, ClosingReleasesTheFileForTheNextRun) {
  {
    TLogFile log;
    ASSERT_TRUE(log.Open(Path));
    log.Write("a");
  }  // destroyed without Close
  TLogFile log;
  ASSERT_TRUE(log.Open(Path));
  ASSERT_TRUE(log.Open(Path));  // opening again lets go of its own first handle
  log.Write("b");
  log.Close();
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(Load(), "ab");
}

}  // namespace
