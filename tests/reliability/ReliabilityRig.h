// The whole stack on the simulated programmer, with the intermediate file in
// a folder of the test's own, and the checks every failed or refused job must
// pass: its message last, the busy state undone, the lamp red, no
// intermediate file left behind.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "FirmwareImageTestFiles.h"
#include "ProgrammerRig.h"
#include "firmware/ContainerHeader.h"
#include "firmware/FirmwareImage.h"

namespace kvm::test {

using firmware::test::Bytes;

// A chip-type-300 container whose payload is `image`.
inline Bytes ContainerOf(const Bytes& image) {
  return firmware::BuildContainer(image, {300, 3, 5, 0xA7});
}

class ReliabilityTest : public ::testing::Test {
 protected:
  explicit ReliabilityTest(int tickMs = RigTickMs) : rig(tickMs) {}

  void SetUp() override {
    // The Program button follows the connection only while a target is ticked.
    rig.window.checked[TTarget::UsbHost] = true;
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    firmware::test::WriteBytes(folder / name, bytes);
    return folder / name;
  }
  std::int32_t Run(const std::string& path, TTarget target = TTarget::UsbHost) {
    return rig.jobs->RunProgramJob(target, path, TargetCode(target));
  }
  void AddRule(emulator::TFaultMatch match, emulator::TFaultAction action) {
    rig.emulator->AddRule({match, action});
  }

  // A failed job: its message is the last line, the window is idle again and
  // nothing of the job is left on disk.
  void ExpectFailedJobEnded(const std::string& lastLine, TTarget target = TTarget::UsbHost) {
    ASSERT_FALSE(rig.window.log.empty());
    EXPECT_EQ(rig.window.log.back(), lastLine);
    EXPECT_EQ(rig.window.statusText, lastLine);
    EXPECT_EQ(rig.window.panels[1], lastLine);
    EXPECT_EQ(rig.window.statusColour, Red);
    ExpectIdle(target, TLampPicture::Red);
  }
  void ExpectIdle(TTarget target, TLampPicture lamp) {
    EXPECT_EQ(rig.window.lamps[target], lamp);
    EXPECT_FALSE(rig.window.breakVisible);
    EXPECT_EQ(rig.window.programEnabled, rig.state.Connected);
    EXPECT_FALSE(rig.jobs->Timer1().Enabled());
    EXPECT_FALSE(rig.protocol->WaitTimer().Enabled());
    EXPECT_FALSE(std::filesystem::exists(firmware::IntermediateFile()));
  }

  firmware::test::TTempFolder folder;
  firmware::test::TScopedEnvironment tmpDir{"TMPDIR", folder.Path()};
  firmware::test::TScopedEnvironment runtimeDir{"XDG_RUNTIME_DIR", std::nullopt};
  TProgrammerRig rig;
};

// For tests whose jobs must succeed without waiting out a silence: ticks long
// enough that a reply delayed by a busy machine still comes within its wait.
class ReliabilityTestSlowTicks : public ReliabilityTest {
 protected:
  ReliabilityTestSlowTicks() : ReliabilityTest(50) {}
};

}  // namespace kvm::test
