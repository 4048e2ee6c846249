// The framed channels (TRX5170L download, parameter download and upload)
// with a port that comes and goes: absent at the start, the channel waits and
// becomes ready by itself once the port exists; a line that hangs up while the
// channel is idle is closed and waited for the same way, without a box.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>

#include "tests/support/Channelhost.h"
#include "tests/support/Eventloop.h"
#include "tests/support/Pty.h"

namespace {

struct ReplugCase {
  const char* Name;
  int Operation;
  const char* IdleText;  // the text of the channel at rest with its port open
};

void PrintTo(const ReplugCase& c, std::ostream* out) { *out << c.Name; }

class FramedReplug : public ::testing::TestWithParam<ReplugCase> {};

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

TEST_P(FramedReplug, AnAbsentPortIsWaitedForAndOpenedAgainByItself) {
  const ReplugCase& c = GetParam();
  ChannelHost host;
  const std::string link = host.Folder() + "/ttyCABLE0";
  host.StartOn(c.Operation, link, 9600);
  ASSERT_TRUE(RunUntil([&] { return StartsWith(host.StateText(), "Error! COM7 (" + link + ") does not exist"); }))
      << host.StateText();
  EXPECT_FALSE(host.ModelPtr->InTransfer());

  // Plugged in: ready without a click.
  auto line = std::make_unique<TestPty>();
  ASSERT_TRUE(line->IsOpen());
  ASSERT_EQ(::symlink(line->SlavePath().c_str(), link.c_str()), 0);
  ASSERT_TRUE(host.WaitForText(c.IdleText, 10000)) << host.StateText();

  // Pulled while idle: the hang-up is noticed, and the port waited for.
  ::unlink(link.c_str());
  line->CloseMaster();
  ASSERT_TRUE(RunUntil([&] { return StartsWith(host.StateText(), "Error! COM7 (" + link + ")"); }))
      << host.StateText();
  line = std::make_unique<TestPty>();
  ASSERT_EQ(::symlink(line->SlavePath().c_str(), link.c_str()), 0);
  ASSERT_TRUE(host.WaitForText(c.IdleText, 10000)) << host.StateText();

  // Only the first failure to open was shown; the log tells the rest.
  EXPECT_EQ(host.ErrorHeads(), std::vector<std::string>{"Communication: Invalid Handle"});
  EXPECT_NE(host.Log().find("COM7 (" + link + ") has hung up: the device is gone."), std::string::npos) << host.Log();
  EXPECT_NE(host.Log().find("COM7 is open again\r\n"), std::string::npos) << host.Log();
  host.Shutdown();
}

INSTANTIATE_TEST_SUITE_P(
    Channels, FramedReplug,
    ::testing::Values(ReplugCase{"Trx5170l", 2, "No file opened for download"},
                      ReplugCase{"ParameterDownload", 3, "No file opened for transfer to device"},
                      ReplugCase{"ParameterUpload", 4, "Ready to start receiving"}),
    [](const ::testing::TestParamInfo<ReplugCase>& param) { return std::string(param.param.Name); });

}  // namespace
