// kvmflash: the firmware update utility's window over the machine's HID
// devices (hidraw on Linux, the HID class driver on Windows).
#include <QApplication>
#include <optional>

#include "app/AppIcon.h"
#include "app/DisplayCheck.h"
#include "app/ProgrammerWindow.h"
#include "hid/platform/NativeHidPlatform.h"

int main(int, char** argv) {
  // The utility takes no command line; only the program name goes to Qt.
  int argc = 1;
  std::optional<kvm::app::TDisplayCheck> displayCheck(std::in_place);
  QApplication application(argc, argv);
  displayCheck.reset();
  kvm::app::SetApplicationIdentity();
  kvm::app::TProgrammerWindow window(kvm::hid::platform::MakeNativeHidPlatform());
  window.Form().show();
  // Discovery starts at the first activation; ask for it in case no window
  // manager gives it.
  window.Form().activateWindow();
  return QApplication::exec();
}
