// The fixture of the program and list tests: kvmflash-cli as a separate
// process on the real Linux back end against emulated programmers (umockdev).
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <optional>

#include "CliProcess.h"
#include "EmulatedProgrammer.h"
#include "UmockdevHid.h"
#include "cli/CommandSupport.h"
#include "firmware/ContainerHeader.h"

namespace kvm::test {

using emulator::TFaultAction;
using emulator::TFaultKind;
using emulator::TFaultRule;
using emulator::TProgrammerEmulator;
using Lines = std::vector<std::string>;

// A rule for the block writes, or for one block number of them.
inline TFaultRule BlockRule(TFaultAction action, std::optional<std::uint16_t> block = std::nullopt) {
  TFaultRule rule;
  rule.Match.Command = emulator::CmdBlockWrite;
  rule.Match.Block = block;
  rule.Action = std::move(action);
  return rule;
}

// Short enough for quick tests, long enough that a busy machine does not
// make a reply miss its six-tick wait.
constexpr const char* TickMs = "50";

class CliProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TUmockdevHid::Available()) GTEST_SKIP() << "umockdev preload not active: hidraw emulation unavailable";
    ASSERT_TRUE(folder_.isValid());
    bed_ = std::make_unique<TUmockdevHid>();
  }

  std::shared_ptr<TProgrammerEmulator> PlugProgrammer(const std::string& serial = "PRG-0001") {
    auto emulator = std::make_shared<TProgrammerEmulator>();
    TEmulatedHid programmer = TUmockdevHid::Programmer();
    programmer.Serial = serial;
    ids_.push_back(bed_->Plug(programmer, ServeEmulator(emulator)));
    return emulator;
  }

  std::vector<std::uint8_t> Image(std::size_t length, std::uint8_t seed) const {
    std::vector<std::uint8_t> image(length);
    for (std::size_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    return image;
  }

  // Writes the image plain, or scrambled when the name is a container's.
  QString WriteFirmware(const char* name, const std::vector<std::uint8_t>& image) {
    const QString path = folder_.filePath(name);
    const bool container = QString(name).endsWith(".usb") || QString(name).endsWith(".osd");
    std::string error;
    EXPECT_TRUE(cli::WriteWholeFile(path.toStdString(), container ? firmware::BuildContainer(image, {}) : image, error))
        << error;
    return path;
  }

  QProcessEnvironment Environment(const char* tickMs = TickMs) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KVMFLASH_TICK_MS", tickMs);
    // The intermediate file of container jobs goes to a folder of this test.
    environment.insert("XDG_RUNTIME_DIR", folder_.path());
    return environment;
  }

  static Lines ConnectLines(const std::string& serial = "PRG-0001") {
    return {"", "Scanning...", "Zorbek KVM Switch Programmer " + serial + " is connected."};
  }
  static Lines JobLines(const std::string& target, const QString& file, const std::string& result) {
    return {"", "Target : " + target, "File : " + file.toStdString(), "Programming...", result};
  }
  static Lines Join(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  static bool HasReceivedBlock(const TProgrammerEmulator& programmer, int block) {
    for (const emulator::TReceivedReport& report : programmer.Log())
      if (report.Bytes.size() > 4 && report.Bytes[2] == emulator::CmdBlockWrite &&
          (report.Bytes[3] << 8 | report.Bytes[4]) == block)
        return true;
    return false;
  }
  static bool Contains(const TCliResult& result, const std::string& line) {
    const Lines lines = result.OutLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  QTemporaryDir folder_;
  std::unique_ptr<TUmockdevHid> bed_;
  std::vector<int> ids_;
};

}  // namespace kvm::test
