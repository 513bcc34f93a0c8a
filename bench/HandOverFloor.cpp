#include "HandOverFloor.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <thread>

#include "CpuClock.h"

namespace kvm::bench {

double HandOverMicroseconds(int count) {
  QObject target;
  QEventLoop loop;
  int delivered = 0;
  const double start = WallSeconds();
  std::thread worker([&] {
    for (int i = 0; i < count; ++i)
      QMetaObject::invokeMethod(&target, [&delivered] { ++delivered; }, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec();
  const double elapsed = WallSeconds() - start;
  worker.join();
  return delivered > 0 ? elapsed * 1e6 / delivered : 0.0;
}

}  // namespace kvm::bench
