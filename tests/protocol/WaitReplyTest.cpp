// The wait for a status code, driven by a scripted event pump: which replies
// and ticks each pumping brings is fixed, so the outcome is exact.
#include <gtest/gtest.h>

#include "RecordingStatus.h"
#include "ScriptedPump.h"

namespace kvm::protocol {
namespace {

class WaitReplyTest : public ::testing::Test {
 protected:
  WaitReplyTest() : protocol(status, state, pump, 20) {
    pump.Attach(&protocol);
    status.ShowStatus("Get chip ID...", Green);
  }

  bool Wait(std::uint8_t expected) {
    last = 0x99;
    return protocol.WaitReply(expected, last);
  }

  void ExpectNothingShown() {
    EXPECT_EQ(status.statusText, "Get chip ID...");
    EXPECT_EQ(status.statusColour, Green);
    EXPECT_TRUE(status.log.empty());
  }

  void ExpectReported(const std::string& text) {
    EXPECT_EQ(status.statusText, text);
    EXPECT_EQ(status.statusColour, Red);
    EXPECT_EQ(status.panels[1], text);
    ASSERT_EQ(status.log.size(), 1u);
    EXPECT_EQ(status.log.back(), text);
  }

  test::TRecordingStatus status;
  TProgrammerState state;
  test::TScriptedPump pump;
  TProgrammerProtocol protocol;
  std::uint8_t last = 0;
};

TEST_F(WaitReplyTest, AckThenReadyEndsAsSoonAsTheReadyIsFiled) {
  pump.ThenStatus({StatusAck});
  pump.ThenStatus({StatusReady});
  EXPECT_TRUE(Wait(StatusReady));
  EXPECT_EQ(last, StatusReady);
  EXPECT_EQ(pump.processCalls, 2);
  EXPECT_EQ(pump.waitCalls, 0);
  EXPECT_EQ(status.statusColour, Blue);
  EXPECT_EQ(status.statusText, "Get chip ID...") << "only the colour changes";
  EXPECT_TRUE(status.log.empty());
  EXPECT_FALSE(protocol.WaitTimer().Enabled());
}

TEST_F(WaitReplyTest, AckAloneIsReportedAfterTheSixthTick) {
  pump.ThenStatus({StatusAck});
  EXPECT_FALSE(Wait(StatusReady));
  EXPECT_EQ(last, StatusAck);
  EXPECT_EQ(protocol.WaitTimer().Tag, 6);
  ExpectReported("KVM Programmer is ACK but not READY");
  // Between ticks the wait blocks instead of pumping again and again.
  EXPECT_EQ(pump.waitCalls, 6);
  EXPECT_EQ(pump.processCalls, 7);
  EXPECT_FALSE(protocol.WaitTimer().Enabled());
}

TEST_F(WaitReplyTest, CodesWithoutMeaningFailWithNothingShown) {
  pump.ThenStatus({0x07, 0x00});
  EXPECT_FALSE(Wait(StatusReady));
  EXPECT_EQ(last, 0x07);
  ExpectNothingShown();
}

TEST_F(WaitReplyTest, ACodeFiledInThePassOfTheSixthTickIsNotLookedFor) {
  pump.ThenTicks(5);
  pump.Then([this] {
    protocol.WaitTimerTimer();
    pump.DeliverStatus(StatusReady);
  });
  EXPECT_FALSE(Wait(StatusReady));
  EXPECT_EQ(last, 0x00);
  ExpectReported("KVM Programmer is time out.");
}

TEST_F(WaitReplyTest, ThePassOfTheSixthTickJudgesTheQueueWithTheLastOfThePreviousLook) {
  pump.ThenStatus({StatusAck});
  pump.ThenTicks(5);
  pump.Then([this] {
    pump.DeliverStatus(StatusReady);
    protocol.WaitTimerTimer();
  });
  EXPECT_TRUE(Wait(StatusReady));
  EXPECT_EQ(last, StatusAck);
  EXPECT_EQ(status.statusColour, Blue);
}

TEST_F(WaitReplyTest, RepliesFiledBeforeTheWaitAreForgotten) {
  pump.DeliverStatus(StatusReady);
  pump.DeliverValue(0x12, 0x34);
  EXPECT_FALSE(Wait(StatusReady));
  EXPECT_EQ(protocol.Replies().ReplyValue, 0);
  ExpectReported("KVM Programmer is time out.");
}

TEST_F(WaitReplyTest, EveryWaitStartsItsOwnTimerFromZero) {
  EXPECT_FALSE(Wait(StatusReady));
  bool enabledDuringWait = false;
  int tagDuringWait = -1;
  pump.Then([&] {
    enabledDuringWait = protocol.WaitTimer().Enabled();
    tagDuringWait = protocol.WaitTimer().Tag;
    pump.DeliverStatus(StatusReady);
  });
  EXPECT_TRUE(Wait(StatusReady));
  EXPECT_TRUE(enabledDuringWait);
  EXPECT_EQ(tagDuringWait, 0);
  EXPECT_FALSE(protocol.WaitTimer().Enabled());
}

}  // namespace
}  // namespace kvm::protocol
