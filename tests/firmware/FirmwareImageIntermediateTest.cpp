// The intermediate file: where it lives, who may see it, and how it is written.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "FirmwareImageTestFiles.h"
#include "firmware/FirmwareImage.h"

namespace kvm::firmware::test {
namespace {

class IntermediateFileTest : public ::testing::Test {
 protected:
  IntermediateFileTest()
      : runtime_(folder_ / "run"),
        tmp_(folder_ / "tmp"),
        runtimeEnv_("XDG_RUNTIME_DIR", runtime_),
        tmpEnv_("TMPDIR", tmp_) {
    ::mkdir(runtime_.c_str(), 0700);
    ::chmod(runtime_.c_str(), 0700);
    ::mkdir(tmp_.c_str(), 01777);
    container_ = MakeContainer(Chip300, 1, 3, {0, 0x42}, payload_);
    WriteBytes(folder_ / "fw.osd", container_);
  }

  std::string FallbackFolder() const { return tmp_ + "/kvmflash-" + std::to_string(::geteuid()); }
  std::string PrivateFolder() const { return runtime_ + "/kvmflash"; }
  int Unscramble() { return UnscrambleContainer(2, folder_ / "fw.osd"); }
  // The intermediate file holds the unscrambled payload, not the container.
  bool HoldsThePayload(const std::string& path) const {
    const Bytes written = ReadBytes(path);
    return written.size() == payload_.size() && written != payload_;
  }
  std::vector<std::string> Names(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TTempFolder folder_;
  std::string runtime_;
  std::string tmp_;
  TScopedEnvironment runtimeEnv_;
  TScopedEnvironment tmpEnv_;
  Bytes payload_ = Bytes(70, 0x5C);
  Bytes container_;
};

TEST_F(IntermediateFileTest, LivesInThePrivateRuntimeFolderWithOwnerOnlyModes) {
  ASSERT_EQ(IntermediateFile(), PrivateFolder() + "/bootsect.d0s");
  // A umask that would cut the modes to 0500 and 0400 must not change them.
  const mode_t oldMask = ::umask(0277);
  const int result = Unscramble();
  ::umask(oldMask);
  ASSERT_EQ(result, ImageOk) << LastImageErrorDetail();
  EXPECT_EQ(ModeOf(PrivateFolder()) & 07777, 0700u);
  EXPECT_TRUE(S_ISREG(ModeOf(IntermediateFile())));
  EXPECT_EQ(ModeOf(IntermediateFile()) & 07777, 0600u);
  EXPECT_TRUE(HoldsThePayload(IntermediateFile()));
  EXPECT_EQ(Names(PrivateFolder()), (std::vector<std::string>{"bootsect.d0s"}));
}

TEST_F(IntermediateFileTest, FallsBackToAFolderOfTheUserInTheTemporaryFolder) {
  ::chmod(runtime_.c_str(), 0755);  // a runtime folder others can read is no place for it
  EXPECT_EQ(IntermediateFile(), FallbackFolder() + "/bootsect.d0s");
  {
    TScopedEnvironment relative("XDG_RUNTIME_DIR", std::string("run"));
    EXPECT_EQ(IntermediateFile(), FallbackFolder() + "/bootsect.d0s");
  }
  TScopedEnvironment unset("XDG_RUNTIME_DIR", std::nullopt);
  EXPECT_EQ(IntermediateFile(), FallbackFolder() + "/bootsect.d0s");
  ASSERT_EQ(Unscramble(), ImageOk) << LastImageErrorDetail();
  EXPECT_EQ(ModeOf(FallbackFolder()) & 07777, 0700u);
  EXPECT_TRUE(HoldsThePayload(IntermediateFile()));
}

TEST_F(IntermediateFileTest, PlantedLinkIsReplacedNotFollowed) {
  ASSERT_EQ(::mkdir(PrivateFolder().c_str(), 0700), 0);
  WriteBytes(folder_ / "victim", {'k', 'e', 'e', 'p'});
  ASSERT_EQ(::symlink((folder_ / "victim").c_str(), IntermediateFile().c_str()), 0);
  ASSERT_EQ(Unscramble(), ImageOk) << LastImageErrorDetail();
  EXPECT_EQ(ReadBytes(folder_ / "victim"), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_TRUE(S_ISREG(ModeOf(IntermediateFile())));
  EXPECT_EQ(ModeOf(IntermediateFile()) & 07777, 0600u);
  EXPECT_TRUE(HoldsThePayload(IntermediateFile()));

  // A dangling link must not create its target either.
  std::filesystem::remove(IntermediateFile());
  ASSERT_EQ(::symlink((folder_ / "created").c_str(), IntermediateFile().c_str()), 0);
  ASSERT_EQ(Unscramble(), ImageOk);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "created"));
  EXPECT_TRUE(S_ISREG(ModeOf(IntermediateFile())));
}

TEST_F(IntermediateFileTest, EarlierFileIsReplacedWhole) {
  ASSERT_EQ(::mkdir(PrivateFolder().c_str(), 0700), 0);
  WriteBytes(IntermediateFile(), Bytes(500, 0xEE));
  ::chmod(IntermediateFile().c_str(), 0644);
  ASSERT_EQ(Unscramble(), ImageOk);
  EXPECT_TRUE(HoldsThePayload(IntermediateFile()));
  EXPECT_EQ(ModeOf(IntermediateFile()) & 07777, 0600u);
}

TEST_F(IntermediateFileTest, RefusedContainerLeavesTheEarlierFileAlone) {
  ASSERT_EQ(::mkdir(PrivateFolder().c_str(), 0700), 0);
  WriteBytes(IntermediateFile(), {1, 2, 3});
  WriteBytes(folder_ / "fw.osd", MakeContainer(Chip56, 1, 3, {}, payload_));
  EXPECT_EQ(Unscramble(), ChipTypeNotForTarget);
  EXPECT_EQ(ReadBytes(IntermediateFile()), (Bytes{1, 2, 3}));
}

TEST_F(IntermediateFileTest, FolderThatIsALinkOrAFileIsRefused) {
  ::mkdir((folder_ / "elsewhere").c_str(), 0700);
  ASSERT_EQ(::symlink((folder_ / "elsewhere").c_str(), PrivateFolder().c_str()), 0);
  EXPECT_EQ(Unscramble(), FileUnwritable);
  EXPECT_NE(LastImageErrorDetail().find("not a folder of its own"), std::string::npos);
  EXPECT_TRUE(Names(folder_ / "elsewhere").empty());
  std::filesystem::remove(PrivateFolder());
  WriteBytes(PrivateFolder(), {0});
  EXPECT_EQ(Unscramble(), FileUnwritable);
  EXPECT_EQ(ReadBytes(PrivateFolder()), (Bytes{0}));
}

TEST_F(IntermediateFileTest, FolderOpenToOthersIsRefused) {
  ASSERT_EQ(::mkdir(PrivateFolder().c_str(), 0700), 0);
  ::chmod(PrivateFolder().c_str(), 0755);
  EXPECT_EQ(Unscramble(), FileUnwritable);
  EXPECT_NE(LastImageErrorDetail().find("mode 0755"), std::string::npos);
  EXPECT_TRUE(Names(PrivateFolder()).empty());
}

TEST_F(IntermediateFileTest, FolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  ::chmod(runtime_.c_str(), 0755);  // use the shared temporary folder, where this matters
  TScopedEnvironment unset("XDG_RUNTIME_DIR", std::nullopt);
  ASSERT_EQ(::mkdir(FallbackFolder().c_str(), 0700), 0);
  ASSERT_EQ(::chown(FallbackFolder().c_str(), 4242, 4242), 0);
  EXPECT_EQ(Unscramble(), FileUnwritable);
  EXPECT_NE(LastImageErrorDetail().find("another user"), std::string::npos);
  EXPECT_TRUE(Names(FallbackFolder()).empty());
}

TEST_F(IntermediateFileTest, FailedWriteLeavesNoPartialFile) {
  ASSERT_EQ(::mkdir(PrivateFolder().c_str(), 0700), 0);
  // A folder in the way of the final rename.
  ASSERT_EQ(::mkdir(IntermediateFile().c_str(), 0700), 0);
  EXPECT_EQ(Unscramble(), FileUnwritable);
  EXPECT_NE(LastImageErrorDetail().find("replace"), std::string::npos);
  EXPECT_EQ(Names(PrivateFolder()), (std::vector<std::string>{"bootsect.d0s"}));
  EXPECT_TRUE(std::filesystem::is_directory(IntermediateFile()));
}

TEST_F(IntermediateFileTest, MissingTemporaryFolderGivesAClearFailure) {
  TScopedEnvironment unset("XDG_RUNTIME_DIR", std::nullopt);
  TScopedEnvironment gone("TMPDIR", folder_ / "gone");
  EXPECT_EQ(Unscramble(), FileUnwritable);
  EXPECT_NE(LastImageErrorDetail().find("gone"), std::string::npos);
  EXPECT_NE(ImageResultText(FileUnwritable), "");
}

}  // namespace
}  // namespace kvm::firmware::test
