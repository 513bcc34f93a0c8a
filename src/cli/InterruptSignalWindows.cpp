// Ctrl-C on a Windows console. The system calls the console handler on a
// thread of its own: the first Ctrl-C (or Ctrl-Break) is queued to the event
// loop, and so is a second one (no reply is waited for any longer); a third
// one ends the program at once.
#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>

#include "cli/ExitCodes.h"
#include "cli/InterruptSignal.h"
#include "firmware/WindowsText.h"

namespace kvm::cli {

namespace {

std::atomic<int> signalCount{0};
char leftoverFile[4096] = {};
// Set and used on the user-interface thread only.
std::function<void()> deliver;

BOOL WINAPI HandleConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (signalCount.fetch_add(1) >= 2) {
    if (leftoverFile[0] != '\0') DeleteFileW(firmware::WidePath(leftoverFile).c_str());
    std::fputs("\nkvmflash-cli: interrupted\n", stderr);
    std::fflush(stderr);
    ExitProcess(ExitInterrupted);
  }
  if (QCoreApplication* application = QCoreApplication::instance())
    QMetaObject::invokeMethod(application, [] { if (deliver) deliver(); }, Qt::QueuedConnection);
  return TRUE;
}

}  // namespace

TInterruptSignal::TInterruptSignal() {
  signalCount = 0;
  deliver = [this] { Drain(); };
  SetConsoleCtrlHandler(HandleConsoleControl, TRUE);
}

TInterruptSignal::~TInterruptSignal() {
  SetConsoleCtrlHandler(HandleConsoleControl, FALSE);
  deliver = nullptr;
  leftoverFile[0] = '\0';
}

void TInterruptSignal::SetLeftoverFile(const std::string& path) {
  if (path.size() >= sizeof leftoverFile) return;
  std::memcpy(leftoverFile, path.c_str(), path.size() + 1);
}

void TInterruptSignal::Drain() {
  Announce(signalCount);
}

}  // namespace kvm::cli
