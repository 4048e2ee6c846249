// The download view model: page map, parameter order, received lines.
#include <gtest/gtest.h>

#include <thread>

#include "core/Modelswdl.h"
#include "tests/support/Hexwriter.h"
#include "tests/support/Tempdir.h"

namespace {

TEST(ModelSwDl, PageMapReadsAddressesAndOffsetsAlike) {
  TModelSwDl m;
  m.MarkPageErased(0x08000000 + 0x1000);
  EXPECT_TRUE(m.IsPageErased(0x1000));
  EXPECT_TRUE(m.IsPageErased(0x17FF));
  EXPECT_FALSE(m.IsPageErased(0x1800));
  m.MarkPageErased(0x80000);  // outside the map
  EXPECT_FALSE(m.IsPageErased(0x80000));
  m.ClearErasedPages();
  EXPECT_FALSE(m.IsPageErased(0x1000));
}

struct ParameterFixture : ::testing::Test {
  TempDir dir;
  TModelSwDl m;
  std::vector<int32_t> SentOrder(const std::string& text) {
    m.SetOperation(3);
    m.LoadFile(WriteTextFile(dir.File("p.txt"), text));
    std::vector<int32_t> order;
    int32_t after = -1, number = 0;
    std::string value;
    while (m.NextParameter(after, number, value)) {
      order.push_back(number);
      after = number;
    }
    return order;
  }
};

TEST_F(ParameterFixture, LinesAreSentInFileOrderSkippingSmallerNumbers) {
  EXPECT_EQ(SentOrder("1:a\r\n2:b\r\n5:c\r\n3:d\r\n6:e\r\n"), (std::vector<int32_t>{1, 2, 5, 6}));
  EXPECT_EQ(SentOrder("header\r\n\r\nPar.5: x :1\r\nPar.3: y :2\r\nPar.7: z :3\r\n"),
            (std::vector<int32_t>{5, 7}));
  EXPECT_EQ(SentOrder("no parameters here\r\n"), (std::vector<int32_t>{}));
}

TEST_F(ParameterFixture, NumbersAboveSixteenBitsAreNeverSent) {
  const std::string text = "1:a\r\n65536:b\r\n65535:c\r\n70000:d\r\n";
  EXPECT_EQ(SentOrder(text), (std::vector<int32_t>{1, 65535}));
  const std::vector<std::string> lines = {"1:a", "65536:b", "65535:c", "x", "70000:d"};
  EXPECT_EQ(OversizedParameterLines(lines), (std::vector<int>{2, 5}));
}

TEST_F(ParameterFixture, AFailedReadKeepsThePreviousLines) {
  SentOrder("4:x\r\n");
  EXPECT_THROW(m.LoadFile(dir.File("none.txt")), std::runtime_error);
  EXPECT_TRUE(m.HasData());
  EXPECT_EQ(m.DataLines(), (std::vector<std::string>{"4:x"}));
}

TEST(ModelSwDl, ReceivedLinesAreQueuedAndClearedSafelyAcrossThreads) {
  TModelSwDl m;
  m.SetOperation(4);
  std::thread worker([&] {
    for (int i = 0; i < 2000; ++i) m.AddReceivedLine("line " + std::to_string(i));
  });
  size_t taken = 0;
  std::string line;
  while (taken < 2000) {
    if (m.TakeReceivedLine(line)) {
      EXPECT_EQ(line, "line " + std::to_string(taken));
      ++taken;
    }
    (void)m.DataLines();
  }
  worker.join();
  EXPECT_TRUE(m.ListChanged);
  EXPECT_EQ(m.DataLines().size(), 2000u);
  m.ListChanged = false;
  m.ClearReceivedLines();
  EXPECT_TRUE(m.ListChanged);
  EXPECT_TRUE(m.DataLines().empty());
  EXPECT_FALSE(m.TakeReceivedLine(line));
  EXPECT_FALSE(m.HasData());  // received lines are no download data
}

TEST(ModelSwDl, AccessorsFollowTheOperationKind) {
  TModelSwDl m;
  struct Case {
    uint8_t op;
    uint8_t kind;
    int32_t base;
    bool k7310, trx, upload;
  };
  for (const Case& c : {Case{0, 0, 0, false, false, false}, Case{1, 1, 0x08000000, true, false, false},
                        Case{2, 1, 0x000E0000, false, true, false}, Case{3, 2, 0, false, false, false},
                        Case{4, 3, 0, false, false, true}, Case{5, 3, 0, false, false, true},
                        Case{9, 0, 0, false, false, false}}) {
    m.SetOperation(c.op);
    EXPECT_EQ(m.OperationKind(), c.kind) << int(c.op);
    EXPECT_EQ(m.ImageBase(), c.base) << int(c.op);
    EXPECT_EQ(m.IsK7310Download(), c.k7310);
    EXPECT_EQ(m.IsTRX5170Download(), c.trx);
    EXPECT_EQ(m.IsParameterUpload(), c.upload);
    EXPECT_FALSE(m.HasData());
  }
  m.SetOperation(9);
  EXPECT_EQ(m.CurrentImage(), nullptr);
  EXPECT_EQ(m.ByteAt(0), 0);
  EXPECT_TRUE(m.DataLines().empty());
}

}  // namespace
