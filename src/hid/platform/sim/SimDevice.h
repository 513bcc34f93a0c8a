// One plugged-in simulated interface: its info, its responder and its queue of
// input reports. Shared by the platform and every handle opened on it, so a
// handle stays safe to use after the device is unplugged.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "hid/platform/sim/SimResponder.h"
#include "hid/platform/HidPlatform.h"
#include "hid/platform/sim/SimDeviceInfo.h"

namespace kvm::hid::platform {

class TSimDevice {
 public:
  using TClock = std::chrono::steady_clock;
  // Like hidraw: at most this many unread input reports; newer ones are dropped.
  static constexpr std::size_t MaxQueuedReports = 64;

  TSimDevice(std::uint64_t id, TSimDeviceInfo info, TDeviceResponder responder);
  ~TSimDevice();
  TSimDevice(const TSimDevice&) = delete;
  TSimDevice& operator=(const TSimDevice&) = delete;

  std::uint64_t Id() const { return id_; }
  std::string Path() const;
  std::string PortPath() const;
  const TSimDeviceInfo& Info() const { return info_; }
  const TDeviceResponder& Responder() const { return responder_; }

  bool IsPluggedIn() const;
  // Unplugs: pending reports are discarded and every waiting read wakes.
  // False when it was unplugged already.
  bool Unplug();
  // Queues a report that becomes readable at `readyAt`; false when dropped.
  bool Enqueue(std::vector<std::uint8_t> report, TClock::time_point readyAt);
  // Queues the replies of one write, each `DelayMs` after the one before,
  // never ahead of reports already queued.
  void EnqueueReplies(const std::vector<TInputReport>& replies);
  // Waits for the next readable report. `cancelled` is checked under the
  // device lock; Cancel on a handle notifies through WakeReaders.
  TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                   const bool& cancelled);
  void WakeReaders();
  // Like a hidraw node's descriptor: readable while a report is queued (due
  // or not) or the device is unplugged. Made on first use; -1 where the
  // system has no eventfd.
  int ReadyFd();
  // The lock that `cancelled` flags of the handles are guarded by.
  std::mutex& Mutex() { return mutex_; }

  void CountWrite();
  std::size_t WrittenReports() const;
  std::size_t DroppedReports() const;
  std::size_t QueuedReports() const;
  // Handles currently open on the device, of every mode, and openings so far.
  void HandleOpened() {
    ++openHandles_;
    ++openings_;
  }
  void HandleClosed() { --openHandles_; }
  int OpenHandles() const { return openHandles_; }
  int Openings() const { return openings_; }

 private:
  struct TPending {
    std::vector<std::uint8_t> Bytes;
    TClock::time_point ReadyAt;
  };
  bool EnqueueLocked(std::vector<std::uint8_t> report, TClock::time_point readyAt);
  // Brings the ready descriptor in line with the queue; under mutex_.
  void UpdateReadyLocked();

  const std::uint64_t id_;
  const TSimDeviceInfo info_;
  const TDeviceResponder responder_;

  mutable std::mutex mutex_;
  std::condition_variable readable_;
  std::deque<TPending> queue_;
  bool pluggedIn_ = true;
  std::size_t written_ = 0;
  std::size_t dropped_ = 0;
  std::atomic<int> openHandles_{0};
  std::atomic<int> openings_{0};
  int readyFd_ = -1;
  bool readySignalled_ = false;
};

}  // namespace kvm::hid::platform
