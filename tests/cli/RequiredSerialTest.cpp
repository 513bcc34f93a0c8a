// The link's serial-number choice among several programmers, on the
// simulated back end.
#include <gtest/gtest.h>

#include "ProgrammerRig.h"

namespace kvm::test {
namespace {

TEST(RequiredSerialTest, ConnectsTheProgrammerWithThatSerialOnly) {
  TProgrammerRig rig;
  rig.PlugProgrammer(u"FIRST");
  rig.PlugProgrammer(u"SECOND");
  rig.link->SetRequiredSerial("SECOND");
  rig.Start();
  ASSERT_TRUE(rig.WaitConnected());
  EXPECT_EQ(rig.link->ProgrammerIndex(), 1);
  EXPECT_EQ(rig.state.ProgrammerDevice, rig.link->DevListBox().Line(1).Device);
  EXPECT_EQ(rig.window.panels[2], "Zorbek KVM Switch Programmer SECOND");
  EXPECT_EQ(rig.window.log.back(), TProgrammerRig::ConnectedText("SECOND"));
}

TEST(RequiredSerialTest, WithoutThatSerialNoProgrammerIsFound) {
  TProgrammerRig rig;
  rig.PlugProgrammer(u"FIRST");
  rig.link->SetRequiredSerial("FIRS");
  rig.Start();
  ASSERT_TRUE(rig.WaitSettled());
  EXPECT_FALSE(rig.state.Connected);
  EXPECT_EQ(rig.state.ProgrammerDevice, nullptr);
  EXPECT_EQ(rig.window.log.back(), "KVM Programmer is not found.");
}

}  // namespace
}  // namespace kvm::test
