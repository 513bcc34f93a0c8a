// The firmware file taken away or changed between the job's check and its
// read, and an intermediate folder that cannot be used: the job ends with the
// reason and the verdict, and nothing of it stays on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "ReliabilityRig.h"

namespace kvm::test {
namespace {

namespace fs = std::filesystem;

struct TChangeAfterCheck {
  const char* Name;
  const char* FileName;
  std::function<void(const std::string& path)> Change;
  int Result;
  const char* Reason;  // part of the line before the verdict
};

void PrintTo(const TChangeAfterCheck& change, std::ostream* out) { *out << change.Name; }

const TChangeAfterCheck Changes[] = {
    {"PlainImageDeleted", "fw.bin", [](const std::string& p) { fs::remove(p); }, firmware::FileUnreadable,
     "No such file or directory"},
    {"ContainerDeleted", "fw.usb", [](const std::string& p) { fs::remove(p); }, firmware::FileUnreadable,
     "No such file or directory"},
    {"ContainerReplacedByAFolder", "fw.usb",
     [](const std::string& p) {
       fs::remove(p);
       fs::create_directory(p);
     },
     firmware::FileUnreadable, "is not a regular file"},
    {"PlainImageReplacedByAFolder", "fw.bin",
     [](const std::string& p) {
       fs::remove(p);
       fs::create_directory(p);
     },
     firmware::FileUnreadable, "is not a regular file"},
    {"PlainImageTruncated", "fw.bin", [](const std::string& p) { fs::resize_file(p, 0); }, firmware::ImageEmpty,
     "nothing to program"},
    {"ContainerTruncatedIntoItsHeader", "fw.usb", [](const std::string& p) { fs::resize_file(p, 10); },
     firmware::MalformedContainer, "shorter than its 16-byte header"},
};

class FileChangedAfterCheck : public ReliabilityTest, public ::testing::WithParamInterface<TChangeAfterCheck> {};

TEST_P(FileChangedAfterCheck, JobEndsWithTheReasonAndNoProgrammerTraffic) {
  const TChangeAfterCheck& change = GetParam();
  ASSERT_TRUE(rig.StartConnected());
  const std::string path = Write(change.FileName, ContainerOf(PatternBytes(200)));
  rig.window.OnBusy = [&] { change.Change(path); };
  EXPECT_EQ(Run(path), change.Result);
  ExpectFailedJobEnded(firmware::ImageResultText(change.Result));
  const std::string& reason = rig.window.log[rig.window.log.size() - 2];
  EXPECT_NE(reason.find(path), std::string::npos) << reason;
  EXPECT_NE(reason.find(change.Reason), std::string::npos) << reason;
  EXPECT_EQ(rig.emulator->ReportCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Changes, FileChangedAfterCheck, ::testing::ValuesIn(Changes),
                         [](const auto& info) { return std::string(info.param.Name); });

// The job reads the intermediate file through the handle it opened: deleting
// the file while the blocks go out changes nothing, and the job's own removal
// of it at the end stays quiet.
TEST_F(ReliabilityTest, IntermediateFileDeletedDuringTheBlocksIsNotMissed) {
  ASSERT_TRUE(rig.StartConnected());
  rig.window.OnStep = [&](int step) {
    if (step == 1) {
      ASSERT_TRUE(fs::remove(firmware::IntermediateFile()));
    }
  };
  EXPECT_EQ(Run(Write("fw.usb", ContainerOf(PatternBytes(200)))), 0);
  EXPECT_EQ(rig.window.log.back(), "Program OK");
  EXPECT_EQ(rig.emulator->Image(emulator::TargetUsbHost), PatternBytes(200));
  ExpectIdle(TTarget::UsbHost, TLampPicture::Green);
}

// Intermediate folders that cannot be used: each refusal names the folder.
class IntermediateFolder : public ReliabilityTest {
 protected:
  void ExpectRefused(const std::string& folderShown) {
    EXPECT_EQ(Run(Write("fw.usb", ContainerOf(PatternBytes(200)))), firmware::FileUnwritable);
    ExpectFailedJobEnded(firmware::ImageResultText(firmware::FileUnwritable));
    const std::string& reason = rig.window.log[rig.window.log.size() - 2];
    EXPECT_NE(reason.find(folderShown), std::string::npos) << reason;
    EXPECT_EQ(rig.emulator->ReportCount(), 0u);
  }
};

TEST_F(IntermediateFolder, RuntimeFolderWhosePrivateFolderIsAFile) {
  const std::string runtime = folder / "run";
  ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
  firmware::test::WriteBytes(runtime + "/kvmflash", {1});
  firmware::test::TScopedEnvironment environment("XDG_RUNTIME_DIR", runtime);
  ExpectRefused(runtime + "/kvmflash");
  EXPECT_EQ(firmware::test::ReadBytes(runtime + "/kvmflash"), Bytes{1});
}

TEST_F(IntermediateFolder, TemporaryFolderWhosePrivateFolderIsOpenToOthers) {
  const std::string shared = folder / ("kvmflash-" + std::to_string(::geteuid()));
  ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
  ExpectRefused(shared);
  EXPECT_TRUE(fs::is_empty(shared));
}

TEST_F(IntermediateFolder, TemporaryFolderThatDoesNotExist) {
  firmware::test::TScopedEnvironment environment("TMPDIR", folder / "gone");
  ExpectRefused(folder / "gone");
}

}  // namespace
}  // namespace kvm::test
