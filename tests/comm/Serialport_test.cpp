// The serial port layer on real pseudo-terminal pairs: the test plays the
// device on the master side of each pair.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "comm/Termiosport.h"
#include "tests/support/Pty.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

PortTimeouts ReadWithin(uint32_t multiplier, uint32_t constant) {
  PortTimeouts t;
  t.ReadTotalMultiplier = multiplier;
  t.ReadTotalConstant = constant;
  return t;
}

PortTimeouts ReadAtOnce() {
  PortTimeouts t;
  t.ReadInterval = PortTimeouts::MaxDword;
  return t;
}

bool SameDcb(const PortDcb& a, const PortDcb& b) {
  return std::memcmp(&a.Tio, &b.Tio, sizeof a.Tio) == 0 && a.BaudRate == b.BaudRate &&
         a.Parity == b.Parity && a.EventChar == b.EventChar;
}

// Waits until input is waiting at the port (the master's bytes crossed over).
bool InputWaiting(const TTermiosPort& port, int timeoutMs = 5000) {
  pollfd entry{port.Handle(), POLLIN, 0};
  return poll(&entry, 1, timeoutMs) == 1 && (entry.revents & POLLIN);
}

// A port opened on a fresh pair, in raw mode at 9600 baud without parity.
class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Pty.IsOpen()) << "no pseudo-terminal available";
    ASSERT_TRUE(Port.Open(Pty.SlavePath()));
    PortDcb dcb;
    ASSERT_TRUE(Port.GetSettings(dcb));
    ASSERT_TRUE(TTermiosPort::BuildDcb("baud=9600 parity=N data=8 stop=1", dcb));
    ASSERT_TRUE(Port.SetSettings(dcb));
  }

  TestPty Pty;
  TTermiosPort Port;
};

// ---- open ----

TEST(SerialPortOpen, MissingDeviceFailsAndLeavesThePortClosed) {
  TTermiosPort port;
  EXPECT_FALSE(port.Open("/dev/qmss-no-such-port"));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Handle(), -1);
  size_t got = 99;
  uint8_t byte = 0;
  EXPECT_FALSE(port.Read(&byte, 1, got));
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(port.Write(&byte, 1, got));
  EXPECT_FALSE(port.Flush());
  EXPECT_FALSE(port.DiscardInput());
  EXPECT_FALSE(port.SetTimeouts(ReadAtOnce()));
  PortDcb dcb;
  EXPECT_FALSE(port.GetSettings(dcb));
  EXPECT_FALSE(port.SetSettings(dcb));
}

TEST_F(SerialPortTest, SecondOpenInThisProcessFailsUntilTheFirstCloses) {
  TTermiosPort second;
  EXPECT_FALSE(second.Open(Pty.SlavePath()));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_TRUE(Port.IsOpen()) << "the failed open must leave the owner alone";

  Port.Close();
  EXPECT_FALSE(Port.IsOpen());
  // Reopening after a close works again (the exclusive mode and the lock of
  // the first open are gone, although the pair itself stays open).
  EXPECT_TRUE(second.Open(Pty.SlavePath()));
}

TEST_F(SerialPortTest, OpenFromAnotherProcessFails) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TTermiosPort port;
    _exit(port.Open(Pty.SlavePath()) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child could open a port held by this process";
}

// ---- settings ----

struct SettingsCase {
  std::string Text;
  bool Accepted;
  int32_t Baud;
  char Parity;
  tcflag_t ParityFlags;  // PARENB | PARODD | CMSPAR as built
};

TEST(SerialPortBuildDcb, ParsesTheSettingsTextOrLeavesTheDcbUnchanged) {
  const tcflag_t noParity = 0;
  const std::vector<SettingsCase> cases = {
      {"baud=9600 parity=N data=8 stop=1", true, 9600, 'N', noParity},
      {"baud=1200 parity=E data=8 stop=1", true, 1200, 'E', PARENB},
      {"baud=115200 parity=e data=8 stop=1", true, 115200, 'E', PARENB},
      {"baud=110 parity=O data=8 stop=1", true, 110, 'O', PARENB | PARODD},
      {"baud=921600 parity=m data=8 stop=1", true, 921600, 'M', PARENB | CMSPAR | PARODD},
      {"baud=19200 parity=S data=8 stop=1", true, 19200, 'S', PARENB | CMSPAR},
      {"baud=57600 parity=n data=8 stop=1", true, 57600, 'N', noParity},
      // refused
      {"baud=9600 parity=X data=8 stop=1", false, 0, 0, 0},
      {std::string("baud=9600 parity=\0 data=8 stop=1", 32), false, 0, 0, 0},
      {"baud=9600 parity=", false, 0, 0, 0},  // an empty parity character ends the text
      {"baud=0 parity=N data=8 stop=1", false, 0, 0, 0},
      {"baud=-9600 parity=N data=8 stop=1", false, 0, 0, 0},
      {"baud=99999999999 parity=N data=8 stop=1", false, 0, 0, 0},
      {"baud= parity=N data=8 stop=1", false, 0, 0, 0},
      {"baud=9600 parity=N data=7 stop=1", false, 0, 0, 0},
      {"baud=9600 parity=N data=8 stop=2", false, 0, 0, 0},
      {"baud=9600 parity=N data=8 stop=1 ", false, 0, 0, 0},
      {"baud=9600 parity=NN data=8 stop=1", false, 0, 0, 0},
      {"BAUD=9600 PARITY=N DATA=8 STOP=1", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE("settings text \"" + c.Text + "\"");
    PortDcb before;
    cfsetispeed(&before.Tio, B4800);
    cfsetospeed(&before.Tio, B4800);
    before.Tio.c_cflag |= CS7 | CSTOPB | CRTSCTS;
    before.Tio.c_iflag |= IXON | IXOFF;
    before.Tio.c_lflag |= ICANON | ECHO;
    before.Tio.c_cc[VMIN] = 1;
    before.BaudRate = 4800;
    before.Parity = 'O';
    before.EventChar = 0x02;
    PortDcb dcb = before;

    ASSERT_EQ(TTermiosPort::BuildDcb(c.Text, dcb), c.Accepted);
    if (!c.Accepted) {
      EXPECT_TRUE(SameDcb(dcb, before));
      continue;
    }
    EXPECT_EQ(dcb.BaudRate, c.Baud);
    EXPECT_EQ(dcb.Parity, c.Parity);
    EXPECT_EQ(dcb.EventChar, 0x02) << "the event character is the caller's";
    const termios& tio = dcb.Tio;
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.ParityFlags);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
    EXPECT_NE(cfgetospeed(&tio), static_cast<speed_t>(B4800));
  }
}

// Rates without a termios speed constant are taken as they are: the settings
// dialog offers 14400, and a settings text may name any positive rate.
TEST(SerialPortBuildDcb, RatesWithoutASpeedConstantAreMarkedForSettingAsTheyAre) {
  for (int32_t baud : {14400, 28800, 56000, 128000, 256000, 1234}) {
    SCOPED_TRACE(baud);
    PortDcb dcb;
    ASSERT_TRUE(TTermiosPort::BuildDcb("baud=" + std::to_string(baud) + " parity=E data=8 stop=1", dcb));
    EXPECT_EQ(dcb.BaudRate, baud);
    EXPECT_EQ(cfgetospeed(&dcb.Tio) & CBAUD, static_cast<speed_t>(0010000)) << "the kernel's BOTHER";
  }
}

// A pseudo-terminal holds any rate, like a USB adapter: every rate, with a
// speed constant or without, reads back as it was set, also on the way back
// from a rate without one.
TEST_F(SerialPortTest, AppliedBaudRatesReadBack) {
  for (const char* text : {"baud=1200 parity=N data=8 stop=1", "baud=115200 parity=N data=8 stop=1",
                           "baud=460800 parity=N data=8 stop=1", "baud=14400 parity=E data=8 stop=1",
                           "baud=1200 parity=E data=8 stop=1", "baud=28800 parity=N data=8 stop=1",
                           "baud=56000 parity=N data=8 stop=1", "baud=128000 parity=N data=8 stop=1",
                           "baud=256000 parity=N data=8 stop=1", "baud=9600 parity=N data=8 stop=1"}) {
    SCOPED_TRACE(text);
    PortDcb dcb;
    ASSERT_TRUE(Port.GetSettings(dcb));
    ASSERT_TRUE(TTermiosPort::BuildDcb(text, dcb));
    ASSERT_TRUE(Port.SetSettings(dcb));
    PortDcb back;
    ASSERT_TRUE(Port.GetSettings(back));
    EXPECT_EQ(back.BaudRate, dcb.BaudRate);
    EXPECT_EQ(back.Tio.c_cc[VMIN], 0);
    EXPECT_EQ(back.Tio.c_lflag & ICANON, 0u);
  }
}

// A pseudo-terminal cannot hold a parity bit; applying parity to one must
// still succeed, also when parity is all that would change (the default
// parity is E, so every channel of a test applies it).
TEST_F(SerialPortTest, ParityOnAPseudoTerminalIsAccepted) {
  for (const char* text : {"baud=1200 parity=E data=8 stop=1", "baud=1200 parity=E data=8 stop=1",
                           "baud=9600 parity=O data=8 stop=1", "baud=9600 parity=M data=8 stop=1",
                           "baud=9600 parity=S data=8 stop=1"}) {
    SCOPED_TRACE(text);
    PortDcb dcb;
    ASSERT_TRUE(Port.GetSettings(dcb));
    ASSERT_TRUE(TTermiosPort::BuildDcb(text, dcb));
    EXPECT_TRUE(Port.SetSettings(dcb));
    PortDcb back;
    ASSERT_TRUE(Port.GetSettings(back));
    EXPECT_EQ(back.BaudRate, dcb.BaudRate) << "the rest of the settings took effect";
  }
}

TEST_F(SerialPortTest, RefusedSettingsTextLeavesThePortAsItWas) {
  PortDcb before;
  ASSERT_TRUE(Port.GetSettings(before));
  for (const std::string& text : {std::string("baud=19200 parity=Q data=8 stop=1"),
                                  std::string("baud=19200 parity=\0 data=8 stop=1", 33)}) {
    PortDcb dcb;
    ASSERT_TRUE(Port.GetSettings(dcb));
    EXPECT_FALSE(TTermiosPort::BuildDcb(text, dcb));
    // Applying what is left is applying the old settings.
    EXPECT_TRUE(Port.SetSettings(dcb));
  }
  PortDcb after;
  ASSERT_TRUE(Port.GetSettings(after));
  EXPECT_EQ(after.BaudRate, 9600);
  EXPECT_EQ(std::memcmp(&after.Tio, &before.Tio, sizeof after.Tio), 0);
}

// ---- time-outs and reads ----

struct SilentReadCase {
  const char* Name;
  PortTimeouts Timeouts;
  size_t Count;
};

// Nothing arrives: the read waits its total time-out from its start, then
// answers success with zero bytes.
TEST_F(SerialPortTest, SilentLineReadReturnsNothingAfterTheTotalTimeout) {
  const std::vector<SilentReadCase> cases = {
      {"constant 1000 ms", ReadWithin(0, 1000), 1},
      {"200 ms per byte, 5 bytes", ReadWithin(200, 0), 5},
  };
  for (const SilentReadCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(Port.SetTimeouts(c.Timeouts));
    EXPECT_EQ(Port.Timeouts().ReadTotalConstant, c.Timeouts.ReadTotalConstant);
    uint8_t buffer[8] = {};
    size_t got = 99;
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(Port.Read(buffer, c.Count, got));
    long elapsed = MsSince(start);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(elapsed, 900);
    EXPECT_LT(elapsed, 5000);
  }
}

TEST_F(SerialPortTest, ReadReturnsWhenTheCountHasArrived) {
  ASSERT_TRUE(Port.SetTimeouts(ReadWithin(0, 30000)));
  ASSERT_TRUE(Pty.Write(std::vector<uint8_t>{0x06, 0x15, 0x00, 0xFF}));
  uint8_t buffer[4] = {};
  size_t got = 0;
  Clock::time_point start = Clock::now();
  ASSERT_TRUE(Port.Read(buffer, 4, got));
  EXPECT_LT(MsSince(start), 20000) << "waited for the time-out instead of the count";
  ASSERT_EQ(got, 4u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{0x06, 0x15, 0x00, 0xFF}));
}

TEST_F(SerialPortTest, ShortAnswerIsHandedOutAtTheTimeout) {
  ASSERT_TRUE(Port.SetTimeouts(ReadWithin(0, 1000)));
  ASSERT_TRUE(Pty.Write(std::string("ab")));
  uint8_t buffer[16] = {};
  size_t got = 0;
  ASSERT_TRUE(Port.Read(buffer, sizeof buffer, got));
  ASSERT_EQ(got, 2u);
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(buffer[1], 'b');
}

TEST_F(SerialPortTest, ReadAtOnceTakesWhatHasArrived) {
  ASSERT_TRUE(Port.SetTimeouts(ReadAtOnce()));
  uint8_t buffer[256] = {};
  size_t got = 99;
  Clock::time_point start = Clock::now();
  ASSERT_TRUE(Port.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);
  EXPECT_LT(MsSince(start), 900) << "a read at once must not wait for a time-out";

  const std::string line = "P0012=345 weight\r\n";
  ASSERT_TRUE(Pty.Write(line));
  ASSERT_TRUE(InputWaiting(Port));
  std::string received;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
  while (received.size() < line.size() && Clock::now() < deadline) {
    ASSERT_TRUE(Port.Read(buffer, sizeof buffer, got));
    received.append(reinterpret_cast<const char*>(buffer), got);
  }
  EXPECT_EQ(received, line) << "bytes must pass unchanged (raw mode)";
}

// The device is gone: reads fail instead of reporting a silent line.
TEST(SerialPortHangUp, ClosedDeviceSideFailsTheRead) {
  for (const PortTimeouts& timeouts : {ReadAtOnce(), ReadWithin(0, 1000)}) {
    TestPty pty;
    ASSERT_TRUE(pty.IsOpen());
    TTermiosPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    ASSERT_TRUE(port.SetTimeouts(timeouts));
    pty.CloseMaster();
    uint8_t buffer[16] = {};
    size_t got = 99;
    EXPECT_FALSE(port.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(got, 0u);
  }
}

// A write returns once the driver has the bytes, but they still need their
// wire time: a read waiting for the answer counts its time-out from when the
// bytes have left. At 1200 baud 8N1, 120 bytes need 1 s; an answer 600 ms
// after the write is within a 100 ms time-out counted from then.
TEST_F(SerialPortTest, ReadTimeoutCountsFromWhenTheWrittenBytesHaveLeft) {
  PortDcb dcb;
  ASSERT_TRUE(Port.GetSettings(dcb));
  ASSERT_TRUE(TTermiosPort::BuildDcb("baud=1200 parity=N data=8 stop=1", dcb));
  ASSERT_TRUE(Port.SetSettings(dcb));
  ASSERT_TRUE(Port.SetTimeouts(ReadWithin(0, 100)));
  const std::vector<uint8_t> frame(120, 0x55);
  size_t written = 0;
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(Port.Write(frame.data(), frame.size(), written));
  ASSERT_TRUE(Port.Flush());
  EXPECT_GE(Port.SentUntil() - start, std::chrono::milliseconds(990));
  EXPECT_LE(Port.SentUntil() - Clock::now(), std::chrono::milliseconds(1010));
  std::thread device([&] {
    Pty.Read(frame.size());
    std::this_thread::sleep_until(start + std::chrono::milliseconds(600));
    Pty.Write(std::vector<uint8_t>{0x79});
  });
  uint8_t answer = 0;
  size_t got = 0;
  EXPECT_TRUE(Port.Read(&answer, 1, got));
  device.join();
  ASSERT_EQ(got, 1u) << "the read gave up before the question had left the line";
  EXPECT_EQ(answer, 0x79);
}

// ---- write, flush, discard ----

// A device end that never reads: the line fills up and the driver takes no
// more. The write gives up after the wire time of its bytes and 2 s, instead
// of blocking the caller for good.
TEST_F(SerialPortTest, WriteToALineThatTakesNothingGivesUp) {
  ASSERT_TRUE(Pty.FillLine());

  const std::vector<uint8_t> frame(16, 0x31);
  size_t written = 0;
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(Port.Write(frame.data(), frame.size(), written));
  EXPECT_LT(written, frame.size());
  EXPECT_LT(MsSince(start), 10000) << "the write must give up";
  EXPECT_TRUE(Port.IsOpen());
}


TEST_F(SerialPortTest, WriteAndFlushReachTheDevice) {
  const std::vector<uint8_t> frame = {0x02, 0x04, 0xD0, 0x31, 0x00, 0xE7};
  size_t written = 0;
  ASSERT_TRUE(Port.Write(frame.data(), frame.size(), written));
  EXPECT_EQ(written, frame.size());
  EXPECT_TRUE(Port.Flush());
  EXPECT_EQ(Pty.Read(frame.size()), frame);
}

// More than a pseudo-terminal buffers at once: the write must go on until
// everything is taken, while the device reads.
TEST_F(SerialPortTest, LargeWriteIsCompletedAcrossPartialWrites) {
  std::vector<uint8_t> data(256 * 1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 256);
  std::vector<uint8_t> received;
  std::thread device([&] { received = Pty.Read(data.size(), 30000); });
  size_t written = 0;
  bool ok = Port.Write(data.data(), data.size(), written);
  device.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(written, data.size());
  EXPECT_TRUE(received == data) << "received " << received.size() << " of " << data.size();
}

TEST_F(SerialPortTest, DiscardInputDropsWhatHasArrived) {
  ASSERT_TRUE(Pty.Write(std::string("stale answer")));
  ASSERT_TRUE(InputWaiting(Port));
  EXPECT_TRUE(Port.DiscardInput());
  ASSERT_TRUE(Port.SetTimeouts(ReadAtOnce()));
  uint8_t buffer[64] = {};
  size_t got = 99;
  ASSERT_TRUE(Port.Read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, 0u);

  // What comes afterwards is read as usual.
  ASSERT_TRUE(Pty.Write(std::string("k")));
  ASSERT_TRUE(InputWaiting(Port));
  ASSERT_TRUE(Port.Read(buffer, sizeof buffer, got));
  ASSERT_EQ(got, 1u);
  EXPECT_EQ(buffer[0], 'k');
}

}  // namespace
