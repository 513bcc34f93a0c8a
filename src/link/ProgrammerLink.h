// Programmer discovery and connection: follows the HID devices that come and
// go, keeps the device list, runs the connection countdown and connects to
// the first KVM programmer listed. The window only forwards its events here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "core/ProgrammerState.h"
#include "core/JobView.h"
#include "core/WindowControls.h"
#include "core/StatusSink.h"
#include "core/TickTimer.h"
#include "link/DeviceListBox.h"

namespace kvm::hid {
class THidDevice;
class THidDeviceController;
}  // namespace kvm::hid

namespace kvm::protocol {
class TProgrammerProtocol;
}

namespace kvm::link {

inline constexpr int CountdownTicks = 3;

class TProgrammerLink {
 public:
  // The controller must outlive the link.
  TProgrammerLink(hid::THidDeviceController& controller, IStatusSink& status, IWindowControls& layout, IJobView& view,
                  TProgrammerState& state, protocol::TProgrammerProtocol& protocol, int tickMs = 1000);
  // Gives back every checked-out device and unbinds the controller's handlers.
  ~TProgrammerLink();
  TProgrammerLink(const TProgrammerLink&) = delete;
  TProgrammerLink& operator=(const TProgrammerLink&) = delete;

  // The handlers bound when the window is created (OnArrival, OnEnumerate,
  // OnRemoval, OnDeviceDataError); binding them starts no scan.
  void BindController();
  // Installs HidCtlDeviceChange, which makes the controller scan at once.
  // Later activations install the same handler again, which changes nothing.
  void FormActivate();

  void HidCtlArrival(hid::THidDevice* HidDev);
  void HidCtlRemoval(hid::THidDevice* HidDev);
  void HidCtlDeviceChange(hid::THidDeviceController* Sender);
  bool HidCtlEnumerate(hid::THidDevice* HidDev, int Idx);

  void CheckTargetTimerTimer();
  bool ConnectProgrammer();
  // When not empty, ConnectProgrammer takes only a programmer with this
  // serial number, in any letter case (the command line's choice among several).
  void SetRequiredSerial(std::string serial) { requiredSerial_ = std::move(serial); }
  std::string DescribeDevice(hid::THidDevice& device) const;

  // Called by the countdown tick after a successful connection while "Auto"
  // is ticked (the window runs the programming job from it).
  std::function<void()> OnAutoStart;

  // The command line and the station connect only a programmer they can
  // use: one without read-write access (another program holds it, or the
  // node refuses this user) is not connected; its one log line is written and
  // OnUnusable gets the device and that line. The window (off) connects it
  // anyway and says why no command will reach it.
  void SetUsableOnly(bool usableOnly) { usableOnly_ = usableOnly; }
  std::function<void(hid::THidDevice& device, const std::string& line)> OnUnusable;

  const TDeviceListBox& DevListBox() const { return devListBox_; }
  int ProgrammerIndex() const { return programmerIndex_; }
  const TTickTimer& CheckTargetTimer() const { return checkTargetTimer_; }

 private:
  void ArmCountdown();
  void StopCountdown();
  void RunAutoStart();
  std::string ProgrammerDescription(hid::THidDevice& device) const;
  static bool IsProgrammer(hid::THidDevice& device);

  hid::THidDeviceController& controller_;
  IStatusSink& status_;
  IWindowControls& layout_;
  IJobView& view_;
  TProgrammerState& state_;
  protocol::TProgrammerProtocol& protocol_;

  TDeviceListBox devListBox_;
  int programmerIndex_ = -1;
  TTickTimer checkTargetTimer_;
  // Qt does not deliver a timer's tick while its own handler runs, and the
  // automatic job runs inside the countdown's handler: this one stands in for
  // the countdown's ticks meanwhile.
  TTickTimer standInTimer_;
  int countdownStops_ = 0;
  int standInFromStop_ = 0;
  std::string requiredSerial_;
  bool usableOnly_ = false;
};

}  // namespace kvm::link
