#include "hid/platform/windows/NoticeWindow.h"

#include <dbt.h>

namespace kvm::hid::platform::windows {
namespace {

constexpr char kClassName[] = "KvmFlashDeviceNotices";

bool RegisterNoticeClass(WNDPROC procedure) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateNoticeWindow(HWND parent, void* owner) {
  return CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "kvmflash device notices", WS_POPUP, 0, 0, 0, 0, parent,
                         nullptr, GetModuleHandleA(nullptr), owner);
}

}  // namespace

TNoticeWindow::TNoticeWindow() {
  if (!RegisterNoticeClass(&TNoticeWindow::Procedure)) return;
  window_ = CreateNoticeWindow(nullptr, this);
  topLevel_ = window_ != nullptr;
  // Without a desktop (a service, a headless session) no top-level window can
  // be made; a message-only one still takes notices sent to it directly.
  if (window_ == nullptr) window_ = CreateNoticeWindow(HWND_MESSAGE, this);
}

TNoticeWindow::~TNoticeWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

int TNoticeWindow::Drain() {
  const int count = pending_;
  pending_ = 0;
  return count;
}

void TNoticeWindow::Notice(LPARAM lParam) {
  ++pending_;
  if (handler_) handler_(lParam);
}

LRESULT CALLBACK TNoticeWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TNoticeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_DEVICECHANGE:
      // Only the node notice leads to a rescan; the other codes name single
      // interfaces, which the rescan finds anyway.
      if (wParam == DBT_DEVNODES_CHANGED && self != nullptr) self->Notice(lParam);
      return TRUE;
    case WM_QUERYENDSESSION:
      return TRUE;  // never hold up logging off or shutting down
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace kvm::hid::platform::windows
