// A notice that any thread raises and the user-interface thread takes: a
// descriptor that stays readable while notices are pending (an eventfd), or,
// on Windows, which has none to watch, a count and a wake function called at
// every notice. The simulated bus and the replay announce device-node changes
// through it.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

namespace kvm::hid::platform {

class TNoticeWake {
 public:
  // Throws std::runtime_error naming the system's reason when the descriptor
  // cannot be made.
  TNoticeWake();
  ~TNoticeWake();
  TNoticeWake(const TNoticeWake&) = delete;
  TNoticeWake& operator=(const TNoticeWake&) = delete;

  // Readable while notices are pending; -1 where the wake function stands in.
  int Fd() const { return fd_; }
  // Any thread.
  void Raise();
  // Takes every pending notice; how many there were.
  int Drain();
  // Called at every Raise where there is no descriptor (any thread); an empty
  // function stops the calls, and no call is under way once this returns.
  void SetWake(std::function<void()> wake);

 private:
  int fd_ = -1;
  std::atomic<int> pending_{0};  // where there is no descriptor
  std::mutex wakeMutex_;
  std::function<void()> wake_;
};

}  // namespace kvm::hid::platform
