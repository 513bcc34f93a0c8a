#include "QuitOnSignal.h"

#include <QCoreApplication>

namespace kvm::app {

TQuitOnSignal::TQuitOnSignal() : wake_({2, core::TLastResort::DefaultAction, nullptr}) {
  wake_.OnSignal = [](int) { QCoreApplication::quit(); };
}

}  // namespace kvm::app
