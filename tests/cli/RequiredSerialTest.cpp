// The link's serial-number choice among several programmers, on the
// simulated back end.
#include <gtest/gtest.h>

#include "ProgrammerRig.h"

namespace kvm::test {
namespace {

struct TSerialCase {
  const char* Required;
  int Index;  // the device list line connected, -1: none
};

class RequiredSerialTest : public ::testing::TestWithParam<TSerialCase> {};

TEST_P(RequiredSerialTest, ConnectsTheProgrammerWithThatSerialInAnyLetterCase) {
  TProgrammerRig rig;
  rig.PlugProgrammer(u"SN0001");
  rig.PlugProgrammer(u"SN0002");
  rig.link->SetRequiredSerial(GetParam().Required);
  rig.Start();
  if (GetParam().Index < 0) {
    ASSERT_TRUE(rig.WaitSettled());
    EXPECT_FALSE(rig.state.Connected);
    EXPECT_EQ(rig.state.ProgrammerDevice, nullptr);
    EXPECT_EQ(rig.window.log.back(), "KVM Programmer is not found.");
    return;
  }
  ASSERT_TRUE(rig.WaitConnected());
  EXPECT_EQ(rig.link->ProgrammerIndex(), GetParam().Index);
  EXPECT_EQ(rig.state.ProgrammerDevice, rig.link->DevListBox().Line(GetParam().Index).Device);
  const std::string serial = GetParam().Index == 0 ? "SN0001" : "SN0002";
  EXPECT_EQ(rig.window.panels[2], "Zorbek KVM Switch Programmer " + serial);
  EXPECT_EQ(rig.window.log.back(), TProgrammerRig::ConnectedText(serial));
}

INSTANTIATE_TEST_SUITE_P(Serials, RequiredSerialTest,
                         ::testing::Values(TSerialCase{"SN0002", 1}, TSerialCase{"sn0002", 1},
                                           TSerialCase{"Sn0001", 0}, TSerialCase{"SN000", -1},
                                           TSerialCase{"SN00021", -1}));

}  // namespace
}  // namespace kvm::test
