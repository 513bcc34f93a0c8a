// The reader's overlapped read on a HID handle: one ReadFileEx outstanding at
// a time, waited for in alertable sleeps, kept pending across reads that time
// out so that no input report is lost between them.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "hid/platform/HidPlatform.h"

namespace kvm::hid::platform::windows {

class TOverlappedRead {
 public:
  // `file` must be opened with FILE_FLAG_OVERLAPPED; it stays owned by the caller
  // and must outlive this object.
  explicit TOverlappedRead(HANDLE file);
  ~TOverlappedRead();
  TOverlappedRead(const TOverlappedRead&) = delete;
  TOverlappedRead& operator=(const TOverlappedRead&) = delete;

  // Waits in alertable sleeps; the completion wakes the thread that started
  // the read, so a read started by another thread is watched in short slices.
  TReadStatus Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs, std::uint32_t& error);
  // Any thread: ends a Read in progress and makes every later one give Gone.
  void Cancel();
  bool HasPendingRead() const { return pending_.load(); }

  // The read's buffer and record live on the heap apart from this object: if a
  // cancelled read never completes, they are left behind rather than freed
  // under the driver.
  struct TSlot {
    OVERLAPPED Overlapped;
    std::size_t Capacity = 0;
    std::uint8_t* Data = nullptr;
  };

 private:
  bool Start(std::size_t capacity, std::uint32_t& error);
  bool Completed() const;
  bool WaitForCompletion(int timeoutMs);
  void Wait(DWORD milliseconds);
  void CancelPendingIo();
  TReadStatus Abandon();

  HANDLE file_;
  TSlot* slot_;
  HANDLE cancelEvent_;  // wakes a waiting Read at once
  DWORD startingThread_ = 0;
  std::atomic<bool> pending_{false};
  std::atomic<bool> cancelled_{false};
};

// Read errors that mean the device is no longer there.
bool IsDeviceGoneError(DWORD error);

}  // namespace kvm::hid::platform::windows
