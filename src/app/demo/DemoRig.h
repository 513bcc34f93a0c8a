// The demo's world: a simulated HID bus with a mouse on it, an emulated KVM
// programmer that arrives a moment after start, and sample firmware for both
// targets in a temporary folder, already in the window's file lists.
#pragma once

#include <QTemporaryDir>
#include <memory>
#include <string>

namespace kvm::emulator {
class TProgrammerEmulator;
}
namespace kvm::hid::platform {
class TSimHidPlatform;
}

namespace kvm::app {

class TMainForm;

class TDemoRig {
 public:
  // replyDelayMs models USB timing: each reply comes that long after the last.
  explicit TDemoRig(int replyDelayMs);
  ~TDemoRig();

  std::shared_ptr<hid::platform::TSimHidPlatform> Platform() const { return platform_; }
  const std::shared_ptr<emulator::TProgrammerEmulator>& Programmer() const { return programmer_; }
  const std::string& UsbHostFile() const { return usbHostFile_; }
  const std::string& OsdFile() const { return osdFile_; }
  bool Ready() const { return ready_; }
  const std::string& Error() const { return error_; }

  // Lists the sample files in the window's file lists.
  void FillFileLists(TMainForm& form) const;
  // Plugs the mouse now and the programmer after plugDelayMs.
  void Start(int plugDelayMs);
  void PlugProgrammer();

 private:
  QTemporaryDir folder_;
  std::shared_ptr<hid::platform::TSimHidPlatform> platform_;
  std::shared_ptr<emulator::TProgrammerEmulator> programmer_;
  std::string usbHostFile_;
  std::string osdFile_;
  bool ready_ = false;
  std::string error_;
};

}  // namespace kvm::app
