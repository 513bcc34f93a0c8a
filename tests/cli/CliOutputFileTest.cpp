// The files that unscramble and scramble write, and the files that info and
// unscramble read, tried with the names and files a user gets wrong.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "CliProcess.h"
#include "cli/CommandSupport.h"
#include "firmware/ContainerHeader.h"

namespace kvm::test {
namespace {

class CliOutputFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    image_.resize(300);
    for (std::size_t i = 0; i < image_.size(); ++i) image_[i] = static_cast<std::uint8_t>(i * 11 + 5);
    Write(Path("image.bin"), image_);
    Write(Path("fw.usb"), firmware::BuildContainer(image_, {}));
  }
  void TearDown() override { ::umask(savedUmask_); }

  std::string Path(const std::string& name) const { return folder_.filePath(QString::fromStdString(name)).toStdString(); }
  static void Write(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::string error;
    ASSERT_TRUE(cli::WriteWholeFile(path, data, error)) << error;
  }
  static std::vector<std::uint8_t> Read(const std::string& path) {
    std::vector<std::uint8_t> data;
    std::string error;
    EXPECT_TRUE(cli::ReadWholeFile(path, data, error)) << error;
    return data;
  }
  static struct stat LinkStat(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
  }
  // Runs `unscramble fw.usb OUT` or `scramble image.bin OUT`.
  TCliResult Run(const std::string& command, const std::string& output) {
    const std::string input = Path(command == "unscramble" ? "fw.usb" : "image.bin");
    return RunCli({QString::fromStdString(command), QString::fromStdString(input), QString::fromStdString(output)});
  }

  QTemporaryDir folder_;
  std::vector<std::uint8_t> image_;
  mode_t savedUmask_ = ::umask(022);
};

TEST_F(CliOutputFile, AnOutputThatIsTheInputIsRefused) {
  ASSERT_EQ(::link(Path("fw.usb").c_str(), Path("hard.usb").c_str()), 0);
  ASSERT_EQ(::symlink(Path("fw.usb").c_str(), Path("soft.usb").c_str()), 0);
  ASSERT_EQ(::link(Path("image.bin").c_str(), Path("hard.bin").c_str()), 0);
  const std::vector<std::uint8_t> container = Read(Path("fw.usb"));
  struct TCase {
    const char* Command;
    std::string Output;
  };
  for (const TCase& row : {TCase{"unscramble", Path("fw.usb")}, TCase{"unscramble", Path("hard.usb")},
                           TCase{"unscramble", Path("soft.usb")},
                           TCase{"unscramble", folder_.path().toStdString() + "/./fw.usb"},
                           TCase{"scramble", Path("image.bin")}, TCase{"scramble", Path("hard.bin")}}) {
    const TCliResult result = Run(row.Command, row.Output);
    EXPECT_EQ(result.ExitCode, 1) << row.Command << " " << row.Output;
    EXPECT_NE(result.Err.find(row.Output), std::string::npos) << result.Err;
    EXPECT_NE(result.Err.find("input"), std::string::npos) << result.Err;
  }
  EXPECT_EQ(Read(Path("fw.usb")), container);
  EXPECT_EQ(Read(Path("image.bin")), image_);
  EXPECT_TRUE(S_ISLNK(LinkStat(Path("soft.usb")).st_mode));
}

TEST_F(CliOutputFile, AnOutputThatIsNoRegularFileIsRefusedAndALinkIsReplaced) {
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0644), 0);
  ASSERT_TRUE(QDir(folder_.path()).mkdir("sub"));
  struct TCase {
    std::string Output;
    const char* Kind;
  };
  for (const TCase& row : {TCase{Path("fifo"), "a FIFO"}, TCase{Path("sub"), "a folder"},
                           TCase{Path("sub") + "/", "names a folder"}, TCase{"", "empty"}}) {
    for (const char* command : {"unscramble", "scramble"}) {
      const TCliResult result = Run(command, row.Output);
      EXPECT_EQ(result.ExitCode, 1) << command << " " << row.Output;
      EXPECT_NE(result.Err.find(row.Kind), std::string::npos) << result.Err;
    }
  }
  EXPECT_TRUE(S_ISFIFO(LinkStat(Path("fifo")).st_mode));
  EXPECT_TRUE(S_ISDIR(LinkStat(Path("sub")).st_mode));
  EXPECT_EQ(QDir(Path("sub").c_str()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 0);

  // A link is replaced by the output; what it pointed to stays as it was.
  Write(Path("other.bin"), {1, 2, 3});
  ASSERT_EQ(::symlink(Path("other.bin").c_str(), Path("link.bin").c_str()), 0);
  ASSERT_EQ(Run("unscramble", Path("link.bin")).ExitCode, 0);
  EXPECT_TRUE(S_ISREG(LinkStat(Path("link.bin")).st_mode));
  EXPECT_EQ(Read(Path("link.bin")), image_);
  EXPECT_EQ(Read(Path("other.bin")), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(CliOutputFile, NewFilesTakeTheUmaskAndReplacedFilesKeepTheirMode) {
  for (const char* command : {"unscramble", "scramble"}) {
    ::umask(027);
    const std::string fresh = Path(std::string("new-") + command);
    ASSERT_EQ(Run(command, fresh).ExitCode, 0) << command;
    EXPECT_EQ(LinkStat(fresh).st_mode & 07777, 0640u) << command;

    const std::string old = Path(std::string("old-") + command);
    Write(old, {9});
    ASSERT_EQ(::chmod(old.c_str(), 0664), 0);
    ::umask(077);
    ASSERT_EQ(Run(command, old).ExitCode, 0) << command;
    EXPECT_EQ(LinkStat(old).st_mode & 07777, 0664u) << command;
    EXPECT_GT(Read(old).size(), 1u);
  }
}

TEST_F(CliOutputFile, ErrorsNameTheOutputAndLongNamesWork) {
  for (const char* command : {"unscramble", "scramble"}) {
    const TCliResult result = Run(command, "/proc/x.bin");
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_NE(result.Err.find("write /proc/x.bin: create a new file in /proc: "), std::string::npos) << result.Err;
    EXPECT_EQ(result.Err.find("intermediate"), std::string::npos) << result.Err;

    // 250 bytes: a valid name, but not with a temporary suffix added to it.
    const std::string longName = Path(std::string(1, command[0]) + std::string(245, 'n') + ".bin");
    const TCliResult wrote = Run(command, longName);
    EXPECT_EQ(wrote.ExitCode, 0) << wrote.Err;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(longName)));
  }
  // Nothing but the outputs is left in the folder.
  EXPECT_EQ(QDir(folder_.path()).entryList(QStringList{".kvmflash*"}, QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(CliOutputFile, InfoAndUnscrambleRefuseAFifoAtOnce) {
  ASSERT_EQ(::mkfifo(Path("pipe.usb").c_str(), 0644), 0);
  for (const QStringList& arguments : {QStringList{"info", QString::fromStdString(Path("pipe.usb"))},
                                       QStringList{"unscramble", QString::fromStdString(Path("pipe.usb")),
                                                   QString::fromStdString(Path("out.bin"))},
                                       QStringList{"scramble", QString::fromStdString(Path("pipe.usb")),
                                                   QString::fromStdString(Path("out.usb"))}}) {
    const TCliResult result = RunCli(arguments, 3000);
    ASSERT_TRUE(result.Finished) << arguments.join(' ').toStdString();
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_NE(result.Err.find("is not a regular file"), std::string::npos) << result.Err;
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("out.bin"))));
}

}  // namespace
}  // namespace kvm::test
