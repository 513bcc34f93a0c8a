// kvmflash-demo: the real window over a simulated HID bus. A mouse is present
// at start, the emulated KVM programmer arrives a moment later, and sample
// firmware is already in both file lists: tick a target and press Program.
//
//   kvmflash-demo                      the interactive demo
//   kvmflash-demo --after-job OUT.png  programs the USB host target once,
//                                      offscreen and quickly, and saves a
//                                      picture of the window
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/AppIcon.h"
#include "app/ProgrammerWindow.h"
#include "DemoRig.h"
#include "hid/platform/sim/SimHidPlatform.h"

namespace {

constexpr int ProgrammerPlugDelayMs = 1500;
constexpr int UsbReplyDelayMs = 8;

// Waits, servicing events, until done() or the time is up.
template <class Done>
bool WaitUntil(Done done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
  return true;
}

int RunInteractive(kvm::app::TDemoRig& rig) {
  kvm::app::TProgrammerWindow window(rig.Platform());
  rig.FillFileLists(window.Form());
  window.Form().setWindowTitle(window.Form().windowTitle() + QStringLiteral(" (demo)"));
  window.Form().show();
  window.Form().activateWindow();
  rig.Start(ProgrammerPlugDelayMs);
  return QApplication::exec();
}

int RunAfterJob(kvm::app::TDemoRig& rig, const char* out) {
  kvm::app::TMainFormOptions options;
  options.tickMs = 50;
  kvm::app::TProgrammerWindow window(rig.Platform(), std::move(options));
  kvm::app::TMainForm& form = window.Form();
  rig.FillFileLists(form);
  form.CheckBox1->setChecked(true);
  form.show();
  form.activateWindow();
  window.Form().FormActivate();
  rig.Start(100);

  if (!WaitUntil([&] { return form.State().Connected && form.InProgButton->isEnabled(); }, 10000)) {
    std::fprintf(stderr, "kvmflash-demo: the emulated programmer did not connect\n");
    return 1;
  }
  form.InProgButton->click();
  if (form.GetStatusText() != "Program OK") {
    std::fprintf(stderr, "kvmflash-demo: the job did not succeed: %s\n", form.GetStatusText().c_str());
    return 1;
  }
  QCoreApplication::processEvents();
  QImageWriter writer(QString::fromLocal8Bit(out), "png");
  if (!writer.write(form.grab().toImage())) {
    std::fprintf(stderr, "kvmflash-demo: cannot write %s: %s\n", out, qPrintable(writer.errorString()));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool afterJob = argc == 3 && std::strcmp(argv[1], "--after-job") == 0;
  if (argc != 1 && !afterJob) {
    std::fprintf(stderr, "usage: %s [--after-job OUT.png]\n", argv[0]);
    return 2;
  }
  if (afterJob && std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  kvm::app::SetApplicationIdentity();

  kvm::app::TDemoRig rig(afterJob ? 0 : UsbReplyDelayMs);
  if (!rig.Ready()) {
    std::fprintf(stderr, "kvmflash-demo: %s\n", rig.Error().c_str());
    return 1;
  }
  return afterJob ? RunAfterJob(rig, argv[2]) : RunInteractive(rig);
}
