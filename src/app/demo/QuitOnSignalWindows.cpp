// Ctrl-C, Ctrl-Break and the closing of the console on Windows: the system
// calls the handler on a thread of its own, which queues the quit to the
// event loop. A second one while the loop is stuck ends the program the
// default way.
#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <atomic>

#include "QuitOnSignal.h"

namespace kvm::app {

namespace {

std::atomic<int> quitCount{0};

BOOL WINAPI HandleQuitEvent(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  QCoreApplication* application = QCoreApplication::instance();
  if (quitCount.fetch_add(1) >= 1 || application == nullptr) return FALSE;
  QMetaObject::invokeMethod(application, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  return TRUE;
}

}  // namespace

TQuitOnSignal::TQuitOnSignal() {
  quitCount = 0;
  SetConsoleCtrlHandler(HandleQuitEvent, TRUE);
}

TQuitOnSignal::~TQuitOnSignal() { SetConsoleCtrlHandler(HandleQuitEvent, FALSE); }

}  // namespace kvm::app
