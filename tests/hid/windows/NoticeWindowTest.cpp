// Device-node notices through the hidden window of the thread that binds HID
// access, the way the user-interface thread will receive them.
#include <gtest/gtest.h>

#include <vector>

#include "WineHid.h"
// dbt.h needs the types of windows.h first.
#include <dbt.h>

namespace kvm::hid::platform::windows::test {
namespace {

class NoticeTest : public WineHidTest {
 protected:
  void SetUp() override {
    WineHidTest::SetUp();
    platform.SetNoticeHandler([this](std::intptr_t lParam) { notices.push_back(lParam); });
  }

  // What the thread's message loop does between events; bounded.
  void PumpMessages() {
    MSG message;
    for (int i = 0; i < 100 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageA(&message);
  }

  std::vector<std::intptr_t> notices;
};

}  // namespace

TEST_F(NoticeTest, HidAccessOwnsAHiddenWindow) {
  const HWND window = platform.NoticeWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  EXPECT_EQ(platform.NoticeFd(), -1);
  platform.UnloadHidAccess();
  EXPECT_EQ(platform.NoticeWindow(), nullptr);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(NoticeTest, OnlyNodeChangesAreNotices) {
  const HWND window = platform.NoticeWindow();
  ASSERT_NE(window, nullptr);
  SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
  SendMessageA(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
  EXPECT_TRUE(notices.empty());
  SendMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, -1);
  SendMessageA(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  EXPECT_EQ(notices, (std::vector<std::intptr_t>{-1, 0}));
  EXPECT_EQ(platform.DrainNotices(), 2);
  EXPECT_EQ(platform.DrainNotices(), 0);
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), TRUE);
}

TEST_F(NoticeTest, APostedNoticeArrivesWhenTheThreadPumps) {
  ASSERT_TRUE(PostMessageA(platform.NoticeWindow(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0));
  EXPECT_TRUE(notices.empty());
  PumpMessages();
  EXPECT_EQ(notices.size(), 1u);
}

// Windows broadcasts node changes to top-level windows only; a message-only
// window would never hear of them.
TEST_F(NoticeTest, TheBroadcastReachesTheWindow) {
  if (GetAncestor(platform.NoticeWindow(), GA_PARENT) != GetDesktopWindow())
    GTEST_SKIP() << "no desktop (run under an X server): the notice window is message-only";
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0, SMTO_ABORTIFHUNG, 500, &answer);
  PumpMessages();
  EXPECT_EQ(notices, (std::vector<std::intptr_t>{0}));
}

TEST_F(NoticeTest, ANoticeHandlerRescansToTheSameList) {
  const std::vector<THidInterface> before = platform.ScanInterfaces();
  std::vector<THidInterface> after;
  platform.SetNoticeHandler([&](std::intptr_t) { after = platform.ScanInterfaces(); });
  SendMessageA(platform.NoticeWindow(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i].DeviceID, before[i].DeviceID);
}

}  // namespace kvm::hid::platform::windows::test
