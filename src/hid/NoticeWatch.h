// Follows a platform's device-node notices on the thread that makes the
// watch: through a socket notifier where the platform has a descriptor, else
// through the platform's wake, queued to this thread. The pending notices are
// drained at every wake, so the platform's queue never fills up, and
// `onNotices` runs on this thread when there were any.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "hid/platform/HidPlatform.h"

namespace kvm::hid {

class TNoticeWatch {
 public:
  TNoticeWatch(platform::THidPlatform& platform, std::function<void()> onNotices);
  // Stops the wake: no call is under way, and none comes, once this returns.
  ~TNoticeWatch();
  TNoticeWatch(const TNoticeWatch&) = delete;
  TNoticeWatch& operator=(const TNoticeWatch&) = delete;

  // Lives as long as the watch: a context for calls queued to this thread.
  QObject* Context() const { return context_.get(); }

 private:
  void Take();

  platform::THidPlatform& platform_;
  std::function<void()> onNotices_;
  std::unique_ptr<QObject> context_;
  bool woken_ = false;  // the platform's wake is set
};

}  // namespace kvm::hid
