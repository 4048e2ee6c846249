// The controller's actions on the model.
#include <gtest/gtest.h>

#include "comm/Commthrd.h"
#include "tests/core/Probechannel.h"
#include "tests/support/Eventloop.h"
#include "tests/support/Hexwriter.h"
#include "tests/support/Testhost.h"

namespace {

struct ControllerFixture : ::testing::Test {
  TTestHost host;
  TProbeChannel* channel = nullptr;

  void SetUp() override {
    host.ModelPtr = std::make_unique<TModel>(host, false);
    host.Model = host.ModelPtr.get();
    host.Controller = std::make_unique<TController>(*host.ModelPtr);
    UseProbeChannels(*host.ModelPtr, channel);
    host.Config.Connection = 1;
    ApplicationStarted = true;
    host.ModelPtr->Restart(host.Config);
  }
  std::string File(const std::string& name, const std::string& text) {
    return WriteTextFile(host.Folder() + "/" + name, text);
  }
  TModel& model() { return *host.ModelPtr; }
  TController& controller() { return *host.Controller; }
};

TEST_F(ControllerFixture, FileLoadLoadsSendsCommandOneAndUpdatesEveryTime) {
  model().SwDl.SetOperation(1);
  UASwDlFileLoad load;
  load.FileName = File("fw.hex", IntelHex({{0x08000000, {1, 2, 3}}}));
  controller().Execute(load);
  controller().Execute(load);
  EXPECT_EQ(channel->CommandsSeen(), (std::vector<int>{1, 1}));
  EXPECT_EQ(host.UpdateCalls, 2);
  EXPECT_EQ(host.StateChangedCalls, 2);
  EXPECT_TRUE(model().SwDl.HasData());
  EXPECT_EQ(model().SwDl.ByteAt(0x08000002), 3);
  EXPECT_EQ(model().SwDl.DisplayFileName(), load.FileName);
}

TEST_F(ControllerFixture, AFailedLoadKeepsThePreviousImageAndSendsNothing) {
  model().SwDl.SetOperation(1);
  UASwDlFileLoad load;
  load.FileName = File("fw.hex", IntelHex({{0x08000000, {1}}}));
  controller().Execute(load);
  UASwDlFileLoad missing;
  missing.FileName = host.Folder() + "/missing.hex";
  EXPECT_THROW(controller().Execute(missing), HexFileError);
  EXPECT_EQ(channel->CommandsSeen(), (std::vector<int>{1}));
  EXPECT_EQ(model().SwDl.DisplayFileName(), load.FileName);
  EXPECT_EQ(model().SwDl.ByteAt(0x08000000), 1);
}

TEST_F(ControllerFixture, TrxLoadStampsTheChecksum) {
  model().SwDl.SetOperation(2);
  UASwDlFileLoad load;
  load.FileName = File("trx.hex", IntelHex({{0x000E0000, {0x12}}}));
  controller().Execute(load);
  const auto image = model().SwDl.CurrentImage();
  EXPECT_EQ(image->ByteAt(0x000E0000), 0x12);
  EXPECT_NE(image->ByteAt(0x000F7FFC), -1);
  EXPECT_GE(image->UsedLength(), 0x18000);
}

TEST_F(ControllerFixture, OperationSelectOnlyStoresTheOperation) {
  UASwDlOperationSelect select;
  select.Operation = 3;
  controller().Execute(select);
  EXPECT_EQ(model().SwDl.GetOperation(), 3);
  EXPECT_TRUE(channel->CommandsSeen().empty());
  EXPECT_EQ(host.UpdateCalls, 0);
}

TEST_F(ControllerFixture, DisplaySelectNeedsTheImageAndAlwaysUpdates) {
  UATotalHexLcCommLoad load;
  UATotalHexDisplaySelect select;
  select.Image = 3;
  controller().Execute(select);
  EXPECT_EQ(model().TotalHex.Shown, 0);
  EXPECT_EQ(host.UpdateCalls, 1);

  UATotalHexMainLoad main;
  main.FileName = File("m.hex", IntelHex({{0x08000000, {1}}}));
  controller().Execute(main);
  EXPECT_EQ(model().TotalHex.Shown, 1);
  select.Image = 5;  // no total yet
  controller().Execute(select);
  EXPECT_EQ(model().TotalHex.Shown, 1);
  select.Image = 9;
  controller().Execute(select);
  EXPECT_EQ(model().TotalHex.Shown, 1);
  EXPECT_EQ(host.UpdateCalls, 4);

  UATotalHexCombine combine;
  controller().Execute(combine);
  EXPECT_FALSE(combine.Result);
  EXPECT_EQ(host.UpdateCalls, 4);  // a failed combine updates nothing
}

TEST_F(ControllerFixture, CombineAndSave) {
  UATotalHexMainLoad a;
  UATotalHexDispLoad b;
  UATotalHexLcCommLoad c;
  UATotalHexEthernetLoad d;
  a.FileName = File("a.hex", IntelHex({{0x08000000, {1}}}));
  b.FileName = File("b.hex", IntelHex({{0x08000000, {2}}}));
  c.FileName = File("c.hex", IntelHex({{0x08000000, {3}}}));
  d.FileName = File("d.hex", IntelHex({{0x08000000, {4}}}));
  controller().Execute(a);
  controller().Execute(b);
  controller().Execute(c);
  controller().Execute(d);
  EXPECT_EQ(model().TotalHex.Shown, 4);
  UATotalHexCombine combine;
  controller().Execute(combine);
  EXPECT_TRUE(combine.Result);
  EXPECT_EQ(model().TotalHex.Shown, 5);
  UATotalHexTotalSave save;
  save.FileName = host.Folder() + "/total.hex";
  controller().Execute(save);
  HexFile reloaded(0xB0000, 0x08000000);
  reloaded.Load(save.FileName);
  EXPECT_EQ(reloaded.ByteAt(0x080A0000), 4);
}

}  // namespace
