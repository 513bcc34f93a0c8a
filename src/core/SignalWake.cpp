#include "core/SignalWake.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#endif

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kvm::core {

namespace {

// What the handler reads: set before it is installed, or before jobs start.
std::atomic<int> signalCount{0};
TLastResort lastResort;
char leftoverFiles[TSignalWake::MaxLeftoverFiles][4096] = {};

#ifdef _WIN32
// The system calls the console handler on a thread of its own; the loop's
// wake is a queued call. Set and used on the loop's thread only.
std::function<void()> deliver;

void RemoveLeftoverFiles() {
  for (const char* file : leftoverFiles) {
    if (file[0] == '\0') continue;
    wchar_t wide[4096];
    if (MultiByteToWideChar(CP_UTF8, 0, file, -1, wide, 4096) > 0) DeleteFileW(wide);
  }
}

BOOL WINAPI HandleConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  if (signalCount.fetch_add(1) + 1 >= lastResort.AtSignal) {
    RemoveLeftoverFiles();
    if (lastResort.ExitCode == TLastResort::DefaultAction) return FALSE;
    if (lastResort.Message != nullptr) {
      std::fputs(lastResort.Message, stderr);
      std::fflush(stderr);
    }
    ExitProcess(static_cast<UINT>(lastResort.ExitCode));
  }
  if (QCoreApplication* application = QCoreApplication::instance())
    QMetaObject::invokeMethod(application, [] { if (deliver) deliver(); }, Qt::QueuedConnection);
  return TRUE;
}
#else
constexpr int HandledSignals[] = {SIGINT, SIGTERM, SIGHUP};
int wakeFd = -1;

// Async-signal-safe only: one byte to the pipe that the loop watches, or the
// last resort's unlink, write and _exit.
void HandleSignal(int signal) {
  const int savedErrno = errno;
  if (signalCount.fetch_add(1) + 1 >= lastResort.AtSignal) {
    for (const char* file : leftoverFiles)
      if (file[0] != '\0') ::unlink(file);
    if (lastResort.ExitCode == TLastResort::DefaultAction) {
      ::signal(signal, SIG_DFL);
      ::raise(signal);
    }
    if (lastResort.Message != nullptr)
      [[maybe_unused]] auto ignored = ::write(STDERR_FILENO, lastResort.Message, std::strlen(lastResort.Message));
    ::_exit(lastResort.ExitCode);
  }
  const char byte = 1;
  [[maybe_unused]] auto ignored = ::write(wakeFd, &byte, 1);
  errno = savedErrno;
}
#endif

}  // namespace

TSignalWake::TSignalWake(TLastResort resort) {
  signalCount = 0;
  lastResort = resort;
  for (char* file : leftoverFiles) file[0] = '\0';
#ifdef _WIN32
  deliver = [this] { Drain(); };
  SetConsoleCtrlHandler(HandleConsoleControl, TRUE);
#else
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::runtime_error(std::string("cannot create the signal pipe: ") + std::strerror(errno));
  wakeFd = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });
  struct sigaction action {};
  action.sa_handler = HandleSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // timeout(1), a closed terminal and a stopping service ask the same as Ctrl-C.
  for (const int signal : HandledSignals) ::sigaction(signal, &action, nullptr);
#endif
}

TSignalWake::~TSignalWake() {
#ifdef _WIN32
  SetConsoleCtrlHandler(HandleConsoleControl, FALSE);
  deliver = nullptr;
#else
  for (const int signal : HandledSignals) ::signal(signal, SIG_DFL);
  wakeFd = -1;
  notifier_.reset();
  ::close(pipe_[0]);
  ::close(pipe_[1]);
#endif
  for (char* file : leftoverFiles) file[0] = '\0';
}

bool TSignalWake::AddLeftoverFile(const std::string& path) {
  if (path.empty() || path.size() >= sizeof leftoverFiles[0]) return false;
  for (char* file : leftoverFiles) {
    if (file[0] != '\0') continue;
    std::memcpy(file, path.c_str(), path.size() + 1);
    return true;
  }
  return false;
}

void TSignalWake::Drain() {
#ifndef _WIN32
  char buffer[16];
  while (::read(pipe_[0], buffer, sizeof buffer) > 0) {
  }
#endif
  if (OnSignal) OnSignal(signalCount);
}

}  // namespace kvm::core
