#include "hid/platform/windows/OverlappedRead.h"

#include <algorithm>
#include <cstring>

namespace kvm::hid::platform::windows {
namespace {

// The read's outcome is taken from the overlapped record, so the completion
// routine has nothing to do; that also makes a late call harmless.
VOID CALLBACK IgnoreCompletion(DWORD, DWORD, LPOVERLAPPED) {}

// A cancelled read completes within microseconds; this only bounds a driver
// that never completes it.
constexpr int kCancelWaitMs = 2000;
// Period at which a read is watched when its completion cannot wake the
// waiting thread: another thread started it, or it is being cancelled.
constexpr DWORD kWatchSliceMs = 10;

void FreeSlot(TOverlappedRead::TSlot* slot) {
  delete[] slot->Data;
  delete slot;
}

}  // namespace

bool IsDeviceGoneError(DWORD error) {
  switch (error) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_INVALID_HANDLE:
    case ERROR_FILE_NOT_FOUND:
      return true;
    default:
      return false;
  }
}

TOverlappedRead::TOverlappedRead(HANDLE file)
    : file_(file), slot_(new TSlot{}), cancelEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

TOverlappedRead::~TOverlappedRead() {
  if (pending_) {
    CancelIoEx(file_, &slot_->Overlapped);
    if (!WaitForCompletion(kCancelWaitMs)) slot_ = nullptr;  // the driver still owns it
  }
  if (slot_ != nullptr) FreeSlot(slot_);
  if (cancelEvent_ != nullptr) CloseHandle(cancelEvent_);
}

void TOverlappedRead::Cancel() {
  cancelled_ = true;
  if (cancelEvent_ != nullptr) SetEvent(cancelEvent_);  // wakes a waiting Read
  // CancelIoEx reaches the read whichever thread started it.
  CancelIoEx(file_, nullptr);
}

bool TOverlappedRead::Completed() const { return HasOverlappedIoCompleted(&slot_->Overlapped); }

bool TOverlappedRead::WaitForCompletion(int timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  while (!Completed()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    SleepEx(static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kWatchSliceMs)), TRUE);
  }
  pending_ = false;
  return true;
}

// CancelIo cancels only what the calling thread started; it is looked up at
// each call so that a kernel32 without it costs nothing but the cancel.
void TOverlappedRead::CancelPendingIo() {
  HMODULE kernel = LoadLibraryA("kernel32.dll");
  if (kernel == nullptr) return;
  using TCancelIo = BOOL(WINAPI*)(HANDLE);
  auto cancelIo = reinterpret_cast<TCancelIo>(reinterpret_cast<void (*)(void)>(GetProcAddress(kernel, "CancelIo")));
  if (cancelIo != nullptr) cancelIo(file_);
  FreeLibrary(kernel);
}

TReadStatus TOverlappedRead::Abandon() {
  if (pending_) {
    CancelPendingIo();
    WaitForCompletion(kCancelWaitMs);
  }
  return TReadStatus::Gone;
}

bool TOverlappedRead::Start(std::size_t capacity, std::uint32_t& error) {
  if (capacity > MAXDWORD) capacity = MAXDWORD;
  if (slot_->Capacity < capacity) {
    delete[] slot_->Data;
    slot_->Data = new std::uint8_t[capacity];
    slot_->Capacity = capacity;
  }
  std::memset(slot_->Data, 0, capacity);
  std::memset(&slot_->Overlapped, 0, sizeof slot_->Overlapped);
  if (!ReadFileEx(file_, slot_->Data, static_cast<DWORD>(capacity), &slot_->Overlapped, IgnoreCompletion)) {
    error = GetLastError();
    return false;
  }
  pending_ = true;
  startingThread_ = GetCurrentThreadId();
  return true;
}

void TOverlappedRead::Wait(DWORD milliseconds) {
  if (startingThread_ != GetCurrentThreadId()) milliseconds = std::min(milliseconds, kWatchSliceMs);
  if (cancelEvent_ != nullptr)
    WaitForSingleObjectEx(cancelEvent_, milliseconds, TRUE);
  else
    SleepEx(milliseconds, TRUE);
}

TReadStatus TOverlappedRead::Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got, int timeoutMs,
                                  std::uint32_t& error) {
  got = 0;
  error = 0;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
  for (;;) {
    if (cancelled_) return Abandon();
    if (!pending_) {
      if (!Start(capacity, error)) return IsDeviceGoneError(error) ? TReadStatus::Gone : TReadStatus::Error;
      // A Cancel between the check above and the start may have found nothing
      // to cancel.
      if (cancelled_) return Abandon();
    }
    while (!Completed()) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return TReadStatus::Timeout;
      Wait(static_cast<DWORD>(deadline - now));
      if (cancelled_) return Abandon();
    }
    pending_ = false;
    DWORD count = 0;
    if (!GetOverlappedResult(file_, &slot_->Overlapped, &count, FALSE)) {
      error = GetLastError();
      return IsDeviceGoneError(error) ? TReadStatus::Gone : TReadStatus::Error;
    }
    if (count == 0) continue;  // a read with no data delivers nothing
    if (count > capacity) {
      error = ERROR_INSUFFICIENT_BUFFER;
      return TReadStatus::Error;
    }
    std::memcpy(buffer, slot_->Data, count);
    got = count;
    return TReadStatus::Data;
  }
}

}  // namespace kvm::hid::platform::windows
