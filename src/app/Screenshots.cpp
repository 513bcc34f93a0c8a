#include "app/Screenshots.h"

#include <QComboBox>

#include "app/DevReader.h"

namespace kvm::app {

namespace {

// The window as start-up leaves it.
void Startup(TMainForm&) {}

// A connected programmer in the middle of the USB Host job of two targets.
void Busy(TMainForm& form) {
  form.State().Connected = true;
  form.SetConnectLamp(true);
  form.ComboBox1->setEditText(QStringLiteral("/home/operator/firmware/kvm-2.14.usb"));
  form.ComboBox5->setEditText(QStringLiteral("/home/operator/firmware/osd-1.3.OSD"));
  form.Button7Click();
  form.LogBlank();
  form.LogLine("Scanning...");
  form.ReportStatus("Zorbek KVM Programmer is connected.", Blue);
  form.SetStatusPanel(2, "Zorbek KVM Programmer");
  form.LogBlank();
  form.LogLine("Target : USB Host");
  form.LogLine("File : /home/operator/firmware/kvm-2.14.usb");
  form.DisableProgramButtons();
  form.SetBreakVisible(true);
  form.SetTargetLamp(TTarget::UsbHost, TLampPicture::BlueBall);
  form.SetTargetLamp(TTarget::Osd, TLampPicture::Red);
  form.ShowStatus("Programming...", Green);
  form.LogLine("Programming...");
  form.SetProgress(0, 40);
  for (int block = 0; block < 17; ++block) form.StepProgress();
  form.SetStatusPanel(0, "1:07");
}

struct TScenario {
  const char* Name;
  void (*Apply)(TMainForm&);
};

constexpr TScenario Scenarios[] = {{"startup", Startup}, {"busy", Busy}};

}  // namespace

bool ApplyScreenshotScenario(TMainForm& form, const std::string& name) {
  for (const TScenario& scenario : Scenarios) {
    if (name == scenario.Name) {
      scenario.Apply(form);
      return true;
    }
  }
  return false;
}

std::string ScreenshotScenarioNames() {
  std::string names;
  for (const TScenario& scenario : Scenarios) {
    if (!names.empty()) names += '|';
    names += scenario.Name;
  }
  return names;
}

}  // namespace kvm::app
