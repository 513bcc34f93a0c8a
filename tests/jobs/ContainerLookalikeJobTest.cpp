// A plain image whose header its target would accept as a container's: the job
// programs it as it is, as its name says, after a red warning in the log.
#include <gtest/gtest.h>

#include "FirmwareImageTestFiles.h"
#include "ProgrammerRig.h"
#include "firmware/ContainerLookalike.h"
#include "firmware/FirmwareImage.h"

namespace kvm::test {
namespace {

const std::string LookalikeSamples = KVM_FIRMWARE_TEST_DATA;

TEST(ContainerLookalikeJob, IsProgrammedAsItIsAfterARedWarning) {
  firmware::test::TTempFolder folder;
  firmware::test::TScopedEnvironment tmpDir{"TMPDIR", folder.Path()};
  TProgrammerRig rig;
  ASSERT_TRUE(rig.StartConnected());
  const auto container = firmware::test::ReadBytes(LookalikeSamples + "/sample300.usb");
  const auto plain = firmware::test::ReadBytes(LookalikeSamples + "/sample300.bin");
  struct TCase {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
    bool Warned;
  };
  for (const TCase& row : {TCase{"FW.USB", container, true}, TCase{"fw.bin", container, true},
                           TCase{"FW.OSD", plain, false}, TCase{"fw.usb", container, false}}) {
    const std::string path = folder.Path() + "/" + row.Name;
    firmware::test::WriteBytes(path, row.Bytes);
    rig.window.log.clear();
    rig.window.reports.clear();
    ASSERT_EQ(rig.jobs->RunProgramJob(TTarget::UsbHost, path, TargetCode(TTarget::UsbHost)), 0) << row.Name;
    const bool container = firmware::IsContainerName(path);
    EXPECT_EQ(rig.emulator->Image(emulator::TargetUsbHost), container ? plain : row.Bytes) << row.Name;

    const std::string warning = firmware::ContainerLookalikeWarning(TargetCode(TTarget::UsbHost), path);
    const int warned = rig.window.FindLog(warning);
    EXPECT_EQ(warned >= 0, row.Warned) << row.Name;
    if (!row.Warned) continue;
    EXPECT_LT(warned, rig.window.FindLog("Programming...")) << row.Name;
    EXPECT_EQ(rig.window.reports.front(), std::make_pair(warning, Red)) << row.Name;
    EXPECT_NE(warning.find("rename it to end in .usb"), std::string::npos) << warning;
    EXPECT_EQ(rig.window.log.back(), "Program OK") << row.Name;
  }
}

}  // namespace
}  // namespace kvm::test
