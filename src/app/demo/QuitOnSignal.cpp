#include "QuitOnSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <csignal>

namespace kvm::app {

namespace {

constexpr int QuitSignals[] = {SIGINT, SIGTERM, SIGHUP};
int wakeFd = -1;

// Async-signal-safe: one byte to the pipe the event loop watches. A second
// signal while the loop is stuck ends the program the default way.
void HandleQuitSignal(int signal) {
  const int savedErrno = errno;
  const char byte = 1;
  if (wakeFd < 0 || ::write(wakeFd, &byte, 1) != 1) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
  ::signal(signal, SIG_DFL);
  errno = savedErrno;
}

}  // namespace

TQuitOnSignal::TQuitOnSignal() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  wakeFd = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
  struct sigaction action {};
  action.sa_handler = HandleQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : QuitSignals) ::sigaction(signal, &action, nullptr);
}

TQuitOnSignal::~TQuitOnSignal() {
  for (const int signal : QuitSignals) ::signal(signal, SIG_DFL);
  wakeFd = -1;
  notifier_.reset();
  for (const int fd : pipe_)
    if (fd >= 0) ::close(fd);
}

}  // namespace kvm::app
