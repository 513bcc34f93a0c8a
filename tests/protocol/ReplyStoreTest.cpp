// Filing of input reports and the scan of the status queue.
#include <gtest/gtest.h>

#include <vector>

#include "RecordingStatus.h"
#include "ScriptedPump.h"

namespace kvm::protocol {
namespace {

class ReplyStoreTest : public ::testing::Test {
 protected:
  ReplyStoreTest() : protocol(status, state, pump, 20) { pump.Attach(&protocol); }

  void Status(std::uint8_t code) { pump.DeliverStatus(code); }
  const ReplyStore& Replies() const { return protocol.Replies(); }

  test::TRecordingStatus status;
  TProgrammerState state;
  test::TScriptedPump pump;
  TProgrammerProtocol protocol;
};

TEST_F(ReplyStoreTest, StatusRepliesAreFiledInOrderAndTheNinthIsDropped) {
  for (std::uint8_t code = 1; code <= 9; ++code) Status(code);
  EXPECT_EQ(Replies().StatusCount, 8);
  const std::array<std::uint8_t, 8> expected{1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(Replies().StatusQueue, expected);
}

TEST_F(ReplyStoreTest, ValueReplySetsBothBytesAndTheBigEndianValue) {
  pump.DeliverValue(0x20, 0x51);
  EXPECT_EQ(Replies().ValueHigh, 0x20);
  EXPECT_EQ(Replies().ValueLow, 0x51);
  EXPECT_EQ(Replies().ReplyValue, 8273);
  pump.DeliverValue(0xFF, 0xFF);
  EXPECT_EQ(Replies().ReplyValue, 65535);
  EXPECT_EQ(Replies().StatusCount, 0);
}

TEST_F(ReplyStoreTest, ValueReplyWithNonzeroSecondByteAndUnknownKindsAreIgnored) {
  pump.Deliver({0x03, 0x01, 0x20, 0x51, 0, 0, 0});
  pump.Deliver({0x02, 0x02, 0, 0, 0, 0, 0});
  pump.Deliver({0x00, 0x02, 0, 0, 0, 0, 0});
  EXPECT_EQ(Replies().ReplyValue, 0);
  EXPECT_EQ(Replies().ValueHigh, 0);
  EXPECT_EQ(Replies().StatusCount, 0);
}

TEST_F(ReplyStoreTest, ShortReportsNeverReadPastTheirSize) {
  // Bytes after Size are poison: a handler that reads them files garbage.
  const std::uint8_t statusOnly[] = {0x01, 0x02, 0x77, 0x77};
  protocol.HidDevData(nullptr, 1, statusOnly, 2);
  EXPECT_EQ(Replies().StatusQueue[0], 0x02);

  const std::uint8_t kindOnly[] = {0x01, 0x77};
  protocol.HidDevData(nullptr, 1, kindOnly, 1);
  EXPECT_EQ(Replies().StatusCount, 2);
  EXPECT_EQ(Replies().StatusQueue[1], 0x00) << "a missing status byte reads as 0";

  const std::uint8_t valueCut[] = {0x03, 0x00, 0x20, 0x77};
  protocol.HidDevData(nullptr, 1, valueCut, 3);
  EXPECT_EQ(Replies().ReplyValue, 0x2000);

  protocol.HidDevData(nullptr, 1, nullptr, 0);
  protocol.HidDevData(nullptr, 1, nullptr, 7);
  EXPECT_EQ(Replies().StatusCount, 2);
}

TEST_F(ReplyStoreTest, LongReportsAreCutAndStillFiled) {
  std::vector<std::uint8_t> big(4000, 0xEE);
  big[0] = 0x01;
  big[1] = 0x03;
  protocol.HidDevData(nullptr, 1, big.data(), static_cast<std::uint16_t>(big.size()));
  EXPECT_EQ(Replies().StatusCount, 1);
  EXPECT_EQ(Replies().StatusQueue[0], 0x03);
}

TEST_F(ReplyStoreTest, EveryHandOverWakesAWaitingPump) {
  Status(0x02);
  pump.Deliver({0x07});
  EXPECT_EQ(pump.wakes, 2);
}

TEST_F(ReplyStoreTest, ClearRepliesEmptiesEverything) {
  for (int i = 0; i < 8; ++i) Status(0x04);
  pump.DeliverValue(0x12, 0x34);
  protocol.ClearReplies();
  EXPECT_EQ(Replies().StatusCount, 0);
  EXPECT_EQ(Replies().StatusQueue, (std::array<std::uint8_t, 8>{}));
  EXPECT_EQ(Replies().ValueHigh, 0);
  EXPECT_EQ(Replies().ValueLow, 0);
  EXPECT_EQ(Replies().ReplyValue, 0);
  Status(0x02);
  EXPECT_EQ(Replies().StatusQueue[0], 0x02) << "filing starts again at slot 0";
}

TEST_F(ReplyStoreTest, FindStatusLeavesTheLatestNonzeroCodeUpToTheMatch) {
  for (const std::uint8_t code : {0x01, 0x00, 0x05, 0x02, 0x03}) Status(code);
  std::uint8_t last = 0x00;
  EXPECT_TRUE(protocol.FindStatus(0x02, last));
  EXPECT_EQ(last, 0x02);
  EXPECT_TRUE(protocol.FindStatus(0x05, last));
  EXPECT_EQ(last, 0x05);
  EXPECT_FALSE(protocol.FindStatus(0x04, last));
  EXPECT_EQ(last, 0x03) << "no match: the last nonzero code of the queue";
}

TEST_F(ReplyStoreTest, FindStatusIgnoresZeroCodesForLast) {
  std::uint8_t last = 0x66;
  EXPECT_FALSE(protocol.FindStatus(0x02, last));
  EXPECT_EQ(last, 0x66) << "an empty queue leaves last alone";
  Status(0x01);
  Status(0x00);
  EXPECT_EQ(Replies().StatusCount, 2) << "a zero code still takes a slot";
  EXPECT_FALSE(protocol.FindStatus(0x02, last));
  EXPECT_EQ(last, 0x01);
}

}  // namespace
}  // namespace kvm::protocol
