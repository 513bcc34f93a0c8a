// The access hint on the real Linux back end: a programmer node that cannot
// be opened for reading and writing, as for a user without the udev rule.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "RecordingStatus.h"
#include "UmockdevHid.h"
#include "WaitFor.h"
#include "core/ProgrammerState.h"
#include "core/MessagePump.h"
#include "hid/HidControllerClass.h"
#include "hid/HidDevice.h"
#include "hid/platform/linux/LinuxHidPlatform.h"
#include "jobs/ProgrammerStack.h"
#include "link/ProgrammerLink.h"

namespace kvm::test {
namespace {

constexpr int TickMs = 10;

class AccessHintLinuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
    bed_ = std::make_unique<TUmockdevHid>();
    window_.connected = &state_.Connected;
  }
  void TearDown() override {
    stack_.reset();
    bed_.reset();
  }

  // The window's creation and first activation; waits for the countdown that
  // the devices already present start to run out.
  bool StartAndSettle() {
    stack_ = std::make_unique<jobs::TProgrammerStack>(hid::platform::MakeLinuxHidPlatform(),
                                                      jobs::TStackFrontEnd{window_, state_, pump_, &window_, &window_},
                                                      jobs::TStackOptions::WithTick(TickMs));
    if (!stack_->HidCtl().IsBound()) return false;
    stack_->Start();
    link::TProgrammerLink& link = stack_->Link();
    return WaitFor([&link] { return link.CheckTargetTimer().Enabled(); }) &&
           WaitFor([&link] { return !link.CheckTargetTimer().Enabled(); });
  }

  int HintLines() const {
    int n = 0;
    for (const std::string& line : window_.log) n += line.rfind("Cannot open ", 0) == 0;
    return n;
  }

  std::unique_ptr<TUmockdevHid> bed_;
  TRecordingStatus window_;
  TProgrammerState state_;
  TQtMessagePump pump_;
  std::unique_ptr<jobs::TProgrammerStack> stack_;
};

TEST_F(AccessHintLinuxTest, NodeWithoutWriteAccessIsNamedWithTheRuleAfterTheConnection) {
  TEmulatedHid locked = TUmockdevHid::Programmer();
  locked.Writable = false;
  const int id = bed_->Plug(locked);
  ASSERT_TRUE(StartAndSettle());

  ASSERT_TRUE(state_.Connected);
  ASSERT_NE(state_.ProgrammerDevice, nullptr);
  EXPECT_FALSE(state_.ProgrammerDevice->HasReadWriteAccess());
  EXPECT_FALSE(state_.ProgrammerDevice->HasReaderThread());
  const std::string node = bed_->DevNode(id);
  const int connected = window_.FindLog("Zorbek KVM Switch Programmer " + locked.Serial + " is connected.");
  ASSERT_GE(connected, 0);
  EXPECT_EQ(window_.FindLog("Cannot open " + node +
                            " for reading and writing: install the udev rule 70-kvmflash.rules, then plug the programmer "
                            "in again (kvmflash-cli doctor tells what is missing)"),
            connected + 1);
  EXPECT_EQ(HintLines(), 1);
}

TEST_F(AccessHintLinuxTest, WritableNodeGetsAReaderAndNoHint) {
  bed_->Plug(TUmockdevHid::Mouse());
  bed_->Plug(TUmockdevHid::Programmer());
  ASSERT_TRUE(StartAndSettle());
  ASSERT_TRUE(state_.Connected);
  EXPECT_TRUE(state_.ProgrammerDevice->HasReaderThread());
  EXPECT_EQ(HintLines(), 0);
}

}  // namespace
}  // namespace kvm::test
