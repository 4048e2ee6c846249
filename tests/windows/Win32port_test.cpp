// The Win32 serial backend against real COM ports: tests/windows/compair
// runs this program with two COM names joined like a null-modem cable, one
// linked to a plain file and one linked to nothing. Without them (run by
// hand) the cases that need them are skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "comm/Portadapter.h"
#include "comm/Portopenfault.h"
#include "comm/Win32port.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Wine opens a COM port more than once; Windows does not.
bool UnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

PortTimeouts TotalTimeout(uint32_t ms) {
  PortTimeouts timeouts;
  timeouts.ReadTotalConstant = ms;
  return timeouts;
}

PortTimeouts AtOnce() {
  PortTimeouts timeouts;
  timeouts.ReadInterval = PortTimeouts::MaxDword;
  return timeouts;
}

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Bytes a port has received and not yet read, as the driver counts them.
DWORD QueuedInput(const TSerialPort& port) {
  DWORD errors = 0;
  COMSTAT status{};
  HANDLE handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(port.Handle()));
  return ClearCommError(handle, &errors, &status) ? status.cbInQue : 0;
}

// Waits (at most 5 s) until port has count bytes waiting.
bool WaitForInput(const TSerialPort& port, DWORD count) {
  const auto giveUp = Clock::now() + std::chrono::seconds(5);
  while (QueuedInput(port) < count) {
    if (Clock::now() > giveUp) return false;
    Sleep(5);
  }
  return true;
}

bool Send(TSerialPort& port, const std::string& text) {
  size_t written = 0;
  return port.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size(), written) &&
         written == text.size() && port.Flush();
}

constexpr const char* Line115200 = "baud=115200 parity=N data=8 stop=1";

// Two ends of one line: what Near writes, Far reads, and back.
class ComPair : public ::testing::Test {
 protected:
  void SetUp() override {
    NearName = Env("QMSS_TEST_COM_A");
    FarName = Env("QMSS_TEST_COM_B");
    if (NearName.empty() || FarName.empty()) GTEST_SKIP() << "run by tests/windows/compair, which links the ports";
    ASSERT_TRUE(Near.Open(NearName)) << NearName;
    ASSERT_TRUE(Far.Open(FarName)) << FarName;
    ASSERT_EQ(Near.Configure(Line115200, 0), PortSettingsResult::Applied);
    ASSERT_EQ(Far.Configure(Line115200, 0), PortSettingsResult::Applied);
    ASSERT_TRUE(Near.DiscardInput());
    ASSERT_TRUE(Far.DiscardInput());
  }

  std::string Receive(TSerialPort& port, size_t count, uint32_t totalMs, bool* ok = nullptr) {
    std::vector<uint8_t> buffer(count);
    size_t got = 0;
    const bool result = port.SetTimeouts(TotalTimeout(totalMs)) && port.Read(buffer.data(), count, got);
    if (ok) *ok = result;
    return std::string(buffer.begin(), buffer.begin() + static_cast<long>(got));
  }

  std::string NearName, FarName;
  TWin32Port Near, Far;
};

TEST_F(ComPair, BytesCrossInBothDirections) {
  std::string block;
  for (int i = 0; i < 4096; ++i) block += static_cast<char>(i * 7 + (i >> 8));
  ASSERT_TRUE(Send(Near, block));
  EXPECT_EQ(Receive(Far, block.size(), 10000), block);
  ASSERT_TRUE(Send(Far, "answer"));
  EXPECT_EQ(Receive(Near, 6, 10000), "answer");
  EXPECT_GT(Near.BytesReceived(), 0u);
}

// A total time-out: the read ends when the count has arrived, or at the
// time-out with what has arrived by then (possibly nothing).
TEST_F(ComPair, TotalTimeoutEndsWithCountOrWhatArrived) {
  struct Case {
    const char* Name;
    std::string Sent;
    size_t Count;
    uint32_t TotalMs;
    std::string Expected;
    bool WaitsWholeTimeout;
  };
  const Case cases[] = {
      {"count arrives", "ABCD", 4, 20000, "ABCD", false},
      {"fewer than the count", "xyz", 10, 400, "xyz", true},
      {"nothing", "", 5, 400, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    if (!c.Sent.empty()) {
      ASSERT_TRUE(Send(Far, c.Sent));
    }
    const auto start = Clock::now();
    bool ok = false;
    EXPECT_EQ(Receive(Near, c.Count, c.TotalMs, &ok), c.Expected);
    const long long elapsed = MsSince(start);
    EXPECT_TRUE(ok);
    if (c.WaitsWholeTimeout) {
      EXPECT_GE(elapsed, c.TotalMs);
    } else {
      EXPECT_LT(elapsed, c.TotalMs);  // the count ended it, not the time-out
    }
    EXPECT_LT(elapsed, c.TotalMs + 5000);
  }
}

// MAXDWORD with both totals 0: what has arrived, at once, and nothing when
// nothing has.
TEST_F(ComPair, ReadAtOnceTakesWhatHasArrived) {
  ASSERT_TRUE(Send(Far, "hello"));
  ASSERT_TRUE(WaitForInput(Near, 5));
  ASSERT_TRUE(Near.SetTimeouts(AtOnce()));
  uint8_t buffer[100];
  size_t got = 0;
  ASSERT_TRUE(Near.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(std::string(buffer, buffer + got), "hello");

  const auto start = Clock::now();
  ASSERT_TRUE(Near.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);
  EXPECT_LT(MsSince(start), 2000);
}

// A question takes its wire time on the line; the time-out for the answer
// counts from when it has left, not from when the driver took it.
TEST_F(ComPair, TimeoutCountsFromWhenWrittenBytesHaveLeft) {
  ASSERT_EQ(Near.Configure("baud=9600 parity=N data=8 stop=1", 0), PortSettingsResult::Applied);
  const std::string question(192, 'q');  // 200 ms at 9600 baud, 10 bits a byte
  const auto start = Clock::now();
  size_t written = 0;
  ASSERT_TRUE(Near.Write(reinterpret_cast<const uint8_t*>(question.data()), question.size(), written));
  EXPECT_EQ(Receive(Near, 1, 100), "");
  EXPECT_GE(MsSince(start), 300);
}

TEST_F(ComPair, DiscardInputDropsWhatHasArrived) {
  ASSERT_TRUE(Send(Far, "stale bytes"));
  ASSERT_TRUE(WaitForInput(Near, 11));
  ASSERT_TRUE(Near.DiscardInput());
  ASSERT_TRUE(Send(Far, "fresh"));
  EXPECT_EQ(Receive(Near, 5, 10000), "fresh");
}

TEST_F(ComPair, SettingsTheTextDoesNotHoldAreRefused) {
  struct Case {
    const char* Text;
    PortSettingsResult Expected;
  };
  const Case cases[] = {
      {"baud=9600 parity=N data=8 stop=1", PortSettingsResult::Applied},
      {"baud=0 parity=N data=8 stop=1", PortSettingsResult::Invalid},
      {"baud=9600 parity=X data=8 stop=1", PortSettingsResult::Invalid},
      {"baud=9600 parity=N data=7 stop=1", PortSettingsResult::Invalid},
      {"baud=9600 parity=", PortSettingsResult::Invalid},
      {"", PortSettingsResult::Invalid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Near.Configure(c.Text, 0), c.Expected);
  }
  // The port still carries bytes after the refusals.
  ASSERT_TRUE(Send(Near, "still"));
  EXPECT_EQ(Receive(Far, 5, 10000), "still");
}

TEST_F(ComPair, ClosedPortRefusesEveryCallAndOpensAgain) {
  Near.Close();
  EXPECT_FALSE(Near.IsOpen());
  EXPECT_EQ(Near.Handle(), -1);
  uint8_t byte = 0;
  size_t count = 0;
  EXPECT_FALSE(Near.Read(&byte, 1, count));
  EXPECT_FALSE(Near.Write(&byte, 1, count));
  EXPECT_FALSE(Near.Flush());
  EXPECT_FALSE(Near.DiscardInput());
  EXPECT_FALSE(Near.SetTimeouts(AtOnce()));
  EXPECT_EQ(Near.Configure(Line115200, 0), PortSettingsResult::CouldNotGet);

  // The "\\.\" form opens as well as the bare name.
  ASSERT_TRUE(Near.Open("\\\\.\\" + NearName));
  ASSERT_EQ(Near.Configure(Line115200, 0), PortSettingsResult::Applied);
  ASSERT_TRUE(Send(Far, "again"));
  EXPECT_EQ(Receive(Near, 5, 10000), "again");
}

TEST_F(ComPair, SecondOpenIsRefusedAsHeldByAnother) {
  if (UnderWine()) GTEST_SKIP() << "Wine opens a COM port more than once";
  TWin32Port second;
  EXPECT_FALSE(second.Open(NearName));
  EXPECT_EQ(second.OpenFailure().Fault, PortOpenFault::HeldByOther);
}

// Why a port did not open, from the system's error code, and what the
// technician is told.
TEST(Win32PortOpen, FailureCauses) {
  struct Case {
    const char* Name;
    std::string Path;
    PortOpenFault Expected;
    const char* Told;
  };
  const std::string file = Env("QMSS_TEST_COM_FILE");
  const std::string dangling = Env("QMSS_TEST_COM_DANGLING");
  std::vector<Case> cases = {
      {"no such COM port", "COM199", PortOpenFault::NoDevice, "does not exist"},
      {"no such device", "\\\\.\\NoSuchSerialDevice", PortOpenFault::NoDevice, "does not exist"},
  };
  if (!file.empty()) cases.push_back({"a plain file", file, PortOpenFault::NotSerial, "is not a serial device"});
  if (!dangling.empty())
    cases.push_back({"linked to nothing", dangling, PortOpenFault::NoDevice, "does not exist"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TWin32Port port;
    EXPECT_FALSE(port.Open(c.Path));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.OpenFailure().Fault, c.Expected);
    EXPECT_NE(port.OpenFailure().Error, 0);
    const std::string told = PortOpenCause("COM9", c.Path, port.OpenFailure());
    EXPECT_NE(told.find(c.Told), std::string::npos) << told;
  }
}

TEST(Win32PortOpen, OtherFailuresQuoteTheSystemsText) {
  PortOpenFailure failure;
  failure.Fault = PortOpenFault::Failed;
  failure.Error = ERROR_GEN_FAILURE;
  const std::string told = PortOpenCause("COM3", "\\\\.\\COM3", failure);
  EXPECT_NE(told.find("(system error 31)"), std::string::npos) << told;
  EXPECT_EQ(told.find("Unknown error"), std::string::npos) << told;
}

// The settings dialog's tooltip: Windows has no sysfs, only the system's
// device name behind a COM name.
TEST(Win32PortAdapter, AMissingPortIsNotPresent) {
  const TPortAdapter adapter = DescribePortAdapter("\\\\.\\COM199");
  EXPECT_FALSE(adapter.Present);
  EXPECT_EQ(PortAdapterText(adapter), "\\\\.\\COM199\nNot present");
}

TEST(Win32PortPath, ComNamesGetTheDevicePrefix) {
  EXPECT_EQ(TWin32Port::NativePath("COM3"), "\\\\.\\COM3");
  EXPECT_EQ(TWin32Port::NativePath("com12"), "\\\\.\\com12");
  EXPECT_EQ(TWin32Port::NativePath("\\\\.\\COM12"), "\\\\.\\COM12");
  EXPECT_EQ(TWin32Port::NativePath("COMX"), "COMX");
}

}  // namespace
