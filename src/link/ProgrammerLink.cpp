#include "link/ProgrammerLink.h"

#include "hid/HidControllerClass.h"
#include "hid/HidDevice.h"
#include "link/AccessHint.h"
#include "link/DeviceIdentity.h"
#include "protocol/ProgrammerProtocol.h"

namespace kvm::link {

namespace {
const char* const ScanningText = "Scanning...";
const char* const NotFoundText = "KVM Programmer is not found.";
}  // namespace

TProgrammerLink::TProgrammerLink(hid::THidDeviceController& controller, IStatusSink& status, IWindowControls& layout,
                                 IJobView& view, TProgrammerState& state, protocol::TProgrammerProtocol& protocol, int tickMs)
    : controller_(controller),
      status_(status),
      layout_(layout),
      view_(view),
      state_(state),
      protocol_(protocol),
      checkTargetTimer_(tickMs),
      standInTimer_(tickMs) {
  checkTargetTimer_.OnTimer = [this] { CheckTargetTimerTimer(); };
  standInTimer_.OnTimer = [this] {
    // Once the countdown has been stopped, a re-armed countdown is a fresh
    // timer that ticks by itself.
    if (countdownStops_ != standInFromStop_ || !checkTargetTimer_.Enabled()) {
      standInTimer_.SetEnabled(false);
      return;
    }
    CheckTargetTimerTimer();
  };
}

TProgrammerLink::~TProgrammerLink() {
  standInTimer_.SetEnabled(false);
  checkTargetTimer_.SetEnabled(false);
  // Loading mode, so that dropping OnDeviceChange does not rescan.
  controller_.BeginLoading();
  controller_.SetOnDeviceChange(nullptr);
  controller_.SetOnArrival(nullptr);
  controller_.SetOnRemoval(nullptr);
  controller_.SetOnEnumerate(nullptr);
  controller_.SetOnDeviceDataError(nullptr);
  controller_.EndLoading();
  state_.ProgrammerDevice = nullptr;
  devListBox_.Clear();
}

void TProgrammerLink::BindController() {
  controller_.BeginLoading();
  controller_.SetOnArrival(hid::THidPlugEvent(this, &TProgrammerLink::HidCtlArrival));
  controller_.SetOnEnumerate(hid::THidEnumerateEvent(this, &TProgrammerLink::HidCtlEnumerate));
  controller_.SetOnRemoval(hid::THidPlugEvent(this, &TProgrammerLink::HidCtlRemoval));
  controller_.SetOnDeviceDataError(
      hid::THidDataErrorEvent(&protocol_, &protocol::TProgrammerProtocol::HidCtlDeviceDataError));
  controller_.EndLoading();
}

void TProgrammerLink::FormActivate() {
  controller_.SetOnDeviceChange(hid::TNotifyEvent(this, &TProgrammerLink::HidCtlDeviceChange));
}

void TProgrammerLink::ArmCountdown() {
  checkTargetTimer_.Tag = CountdownTicks;
  checkTargetTimer_.SetEnabled(true);
}

void TProgrammerLink::StopCountdown() {
  checkTargetTimer_.SetEnabled(false);
  ++countdownStops_;
}

void TProgrammerLink::HidCtlArrival(hid::THidDevice* /*HidDev*/) {
  // Any device counts, not only a programmer.
  if (!state_.Connected) ArmCountdown();
}

void TProgrammerLink::HidCtlRemoval(hid::THidDevice* HidDev) {
  const hid::THidAttributes& attributes = HidDev->Attributes();
  if (attributes.VendorID == ProgrammerVendorID && attributes.ProductID == ProgrammerProductID) ArmCountdown();
}

void TProgrammerLink::HidCtlDeviceChange(hid::THidDeviceController* /*Sender*/) {
  if (!checkTargetTimer_.Enabled()) return;

  layout_.SetConnectLamp(false);
  if (view_.IsBreakVisible()) {
    state_.UserBreak = true;
    view_.SetBreakVisible(false);
    status_.LogLine("Connection is changed !");
  }
  const bool newScan = status_.GetStatusText() != ScanningText;
  status_.ShowStatus(ScanningText, Green);
  status_.ShowActivity(status_.GetStatusText());
  layout_.SetStatusPanel(2, "");
  if (newScan) {
    status_.LogBlank();
    status_.LogLine(ScanningText);
  }
  layout_.DisableProgramButtons();

  // Dropped before the devices go: stopping a reader services events, and
  // nothing may reach a destroyed programmer meanwhile.
  state_.ProgrammerDevice = nullptr;
  programmerIndex_ = -1;
  devListBox_.Clear();
  controller_.Enumerate();
  if (devListBox_.Count() > 0) devListBox_.SetItemIndex(0);
}

bool TProgrammerLink::HidCtlEnumerate(hid::THidDevice* HidDev, int Idx) {
  const int line = devListBox_.Add(DescribeDevice(*HidDev));
  hid::THidDevice* device = nullptr;
  if (controller_.CheckOutByIndex(device, Idx)) devListBox_.AttachDevice(line, device);
  return true;
}

std::string TProgrammerLink::DescribeDevice(hid::THidDevice& device) const { return link::DescribeDevice(device); }

void TProgrammerLink::CheckTargetTimerTimer() {
  if (checkTargetTimer_.Tag <= 0) {
    StopCountdown();
    return;
  }
  if (--checkTargetTimer_.Tag > 0) return;

  if (ConnectProgrammer() && view_.IsAutoChecked() && OnAutoStart) RunAutoStart();
  // A programmer that left during the automatic job re-armed the countdown;
  // stopping it now would lose that connection attempt.
  if (checkTargetTimer_.Tag <= 0) StopCountdown();
}

void TProgrammerLink::RunAutoStart() {
  standInFromStop_ = countdownStops_;
  standInTimer_.SetEnabled(true);
  OnAutoStart();
  standInTimer_.SetEnabled(false);
}

bool TProgrammerLink::IsProgrammer(hid::THidDevice& device) {
  if (device.Attributes().VendorID != ProgrammerVendorID) return false;
  hid::THidCaps caps;
  device.GetCaps(caps);
  if (caps.InputReportByteLength != ProgrammerInputReportLength) return false;
  return device.Attributes().ProductID == ProgrammerProductID;
}

std::string TProgrammerLink::ProgrammerDescription(hid::THidDevice& device) const {
  return state_.BrandName + " " + "KVM Switch Programmer " + hid::ToText(device.GetSerialNumber());
}

bool TProgrammerLink::ConnectProgrammer() {
  state_.Connected = false;
  hid::THidDevice* unusable = nullptr;
  for (int i = 0; i < devListBox_.Count(); ++i) {
    hid::THidDevice* device = devListBox_.Line(i).Device;
    if (device == nullptr || !IsProgrammer(*device)) continue;
    if (!requiredSerial_.empty() && !SameSerial(hid::ToText(device->GetSerialNumber()), requiredSerial_)) continue;
    if (usableOnly_ && !device->HasReadWriteAccess()) {
      if (unusable == nullptr) unusable = device;
      continue;
    }
    layout_.RestoreLayout();
    const std::string description = ProgrammerDescription(*device);
    layout_.SetStatusPanel(2, description);
    programmerIndex_ = i;
    layout_.SetConnectLamp(true);
    layout_.EnableProgramButtons();
    status_.ReportStatus(description + " is connected.", Blue);
    state_.Connected = true;
    layout_.UpdateProgramButton();
    break;
  }

  if (state_.Connected) {
    devListBox_.SetItemIndex(programmerIndex_);
    hid::THidDevice* programmer = devListBox_.Line(programmerIndex_).Device;
    state_.ProgrammerDevice = programmer;
    if (programmer->HasReadWriteAccess())
      programmer->SetOnData(hid::THidDataEvent(&protocol_, &protocol::TProgrammerProtocol::HidDevData));
    else
      // Still connected, but every command will only time out: say why now.
      status_.LogLine(programmer->InUseText().empty() ? NoAccessText(programmer->PnPInfo().DevicePath)
                                                      : UnusableText(*programmer));
    return true;
  }

  if (unusable != nullptr) {
    // A programmer is there, but not for us: say why, once, instead of "not found".
    const std::string line = UnusableText(*unusable);
    layout_.SetConnectLamp(false);
    status_.ShowStatus(line, Red);
    status_.LogLine(line);
    layout_.DisableProgramButtons();
    layout_.RestoreLayout();
    if (OnUnusable) OnUnusable(*unusable, line);
    return false;
  }

  layout_.SetConnectLamp(false);
  status_.ShowStatus("Please connect KVM programmer.", Red);
  status_.ShowActivity(NotFoundText);
  status_.LogLine(NotFoundText);
  layout_.DisableProgramButtons();
  layout_.RestoreLayout();
  return false;
}

}  // namespace kvm::link
