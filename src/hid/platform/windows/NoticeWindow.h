// Device-node change notices on Windows.
//
// Windows announces that the set of device nodes changed by broadcasting
// WM_DEVICECHANGE with DBT_DEVNODES_CHANGED to the top-level windows. A hidden
// top-level window of the user-interface thread receives it; its procedure
// runs whenever that thread dispatches messages (Qt's event loop does), so the
// handler runs on the user-interface thread and never concurrently.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

namespace kvm::hid::platform::windows {

// The Windows counterpart of the seam's NoticeFd: a handler called once per
// device-node notice, on the thread that created the notice window.
class TWindowsNoticeSource {
 public:
  using TNoticeHandler = std::function<void(std::intptr_t lParam)>;
  virtual ~TWindowsNoticeSource() = default;
  // An empty function removes the handler; notices are then only counted.
  virtual void SetNoticeHandler(TNoticeHandler handler) = 0;
  // The receiving window, null while HID access is not bound.
  virtual HWND NoticeWindow() const = 0;
};

class TNoticeWindow {
 public:
  // Creates the window on the calling thread, which must dispatch its messages.
  TNoticeWindow();
  // Must run on the creating thread.
  ~TNoticeWindow();
  TNoticeWindow(const TNoticeWindow&) = delete;
  TNoticeWindow& operator=(const TNoticeWindow&) = delete;

  HWND Handle() const { return window_; }
  // False when even the fallback window could not be made.
  bool Valid() const { return window_ != nullptr; }
  // True when the window is top-level and so receives broadcasts.
  bool ReceivesBroadcasts() const { return topLevel_; }
  void SetHandler(TWindowsNoticeSource::TNoticeHandler handler) { handler_ = std::move(handler); }
  // Notices received since the last call.
  int Drain();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Notice(LPARAM lParam);

  HWND window_ = nullptr;
  bool topLevel_ = false;
  int pending_ = 0;
  TWindowsNoticeSource::TNoticeHandler handler_;
};

}  // namespace kvm::hid::platform::windows
