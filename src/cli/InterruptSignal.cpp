#include "cli/InterruptSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "cli/ExitCodes.h"

namespace kvm::cli {

namespace {

// Only async-signal-safe things happen in the handler: it writes one byte to
// the pipe that the event loop watches, or ends the program.
constexpr int HandledSignals[] = {SIGINT, SIGTERM, SIGHUP};
std::atomic<int> signalCount{0};
int wakeFd = -1;
char leftoverFile[4096] = {};
char moreLeftoverFiles[TInterruptSignal::MaxLeftoverFiles][512] = {};

void HandleInterrupt(int) {
  const int savedErrno = errno;
  if (signalCount.fetch_add(1) >= 2) {
    if (leftoverFile[0] != '\0') ::unlink(leftoverFile);
    for (const char* file : moreLeftoverFiles)
      if (file[0] != '\0') ::unlink(file);
    static const char message[] = "\nkvmflash-cli: interrupted\n";
    [[maybe_unused]] auto ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    ::_exit(ExitInterrupted);
  }
  const char byte = 1;
  [[maybe_unused]] auto ignored = ::write(wakeFd, &byte, 1);
  errno = savedErrno;
}

}  // namespace

TInterruptSignal::TInterruptSignal() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::runtime_error(std::string("cannot create the interrupt pipe: ") + std::strerror(errno));
  signalCount = 0;
  wakeFd = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });

  struct sigaction action {};
  action.sa_handler = HandleInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // timeout(1), a closed terminal and a stopping service ask the same as Ctrl-C.
  for (const int signal : HandledSignals) ::sigaction(signal, &action, nullptr);
}

TInterruptSignal::~TInterruptSignal() {
  for (const int signal : HandledSignals) ::signal(signal, SIG_DFL);
  wakeFd = -1;
  leftoverFile[0] = '\0';
  for (char* file : moreLeftoverFiles) file[0] = '\0';
  notifier_.reset();
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

void TInterruptSignal::SetLeftoverFile(const std::string& path) {
  // Set before the job starts; the handler only reads it.
  if (path.size() >= sizeof leftoverFile) return;
  std::memcpy(leftoverFile, path.c_str(), path.size() + 1);
}

void TInterruptSignal::AddLeftoverFile(const std::string& path) {
  if (path.size() >= sizeof moreLeftoverFiles[0]) return;
  for (char* file : moreLeftoverFiles) {
    if (file[0] != '\0') continue;
    std::memcpy(file, path.c_str(), path.size() + 1);
    return;
  }
}

void TInterruptSignal::Drain() {
  char buffer[16];
  while (::read(pipe_[0], buffer, sizeof buffer) > 0) {
  }
  Announce(signalCount);
}

}  // namespace kvm::cli
