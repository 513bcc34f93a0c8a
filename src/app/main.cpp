// kvmflash: the firmware update utility's window over the machine's hidraw
// devices.
#include <QApplication>

#include "app/AppIcon.h"
#include "app/ProgrammerWindow.h"
#include "hid/platform/linux/LinuxHidPlatform.h"

int main(int, char** argv) {
  // The utility takes no command line; only the program name goes to Qt.
  int argc = 1;
  QApplication application(argc, argv);
  kvm::app::SetApplicationIdentity();
  kvm::app::TProgrammerWindow window(kvm::hid::platform::MakeLinuxHidPlatform());
  window.Form().show();
  // Discovery starts at the first activation; ask for it in case no window
  // manager gives it.
  window.Form().activateWindow();
  return QApplication::exec();
}
