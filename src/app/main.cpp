// kvmflash: the firmware update utility's window.
#include <QApplication>

#include "app/DevReader.h"

int main(int, char** argv) {
  // The utility takes no command line; only the program name goes to Qt.
  int argc = 1;
  QApplication application(argc, argv);
  kvm::app::TMainForm form;
  form.show();
  return QApplication::exec();
}
