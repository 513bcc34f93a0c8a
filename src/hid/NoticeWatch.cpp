#include "hid/NoticeWatch.h"

#include <QMetaObject>
#include <QSocketNotifier>

namespace kvm::hid {

TNoticeWatch::TNoticeWatch(platform::THidPlatform& platform, std::function<void()> onNotices)
    : platform_(platform), onNotices_(std::move(onNotices)), context_(std::make_unique<QObject>()) {
  const int fd = platform_.NoticeFd();
  if (fd >= 0) {
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, context_.get(), [this] { Take(); });
    return;
  }
  // No descriptor to watch: the platform wakes us, maybe from another thread.
  QObject* context = context_.get();
  platform_.SetNoticeWake([this, context] {
    QMetaObject::invokeMethod(context, [this] { Take(); }, Qt::QueuedConnection);
  });
  woken_ = true;
}

TNoticeWatch::~TNoticeWatch() {
  if (woken_) platform_.SetNoticeWake({});
  // Queued takes die with their context.
  context_.reset();
}

void TNoticeWatch::Take() {
  if (platform_.DrainNotices() > 0 && onNotices_) onNotices_();
}

}  // namespace kvm::hid
