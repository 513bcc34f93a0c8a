#include "HandOverFloor.h"

#include <QElapsedTimer>
#include <QTimer>
#include <vector>

#include "BenchRig.h"
#include "CpuClock.h"
#include "wire/ProgrammerWire.h"

namespace kvm::bench {

double HandOverMicroseconds(TBenchRig& rig, int count) {
  // A value reply carries a number the handler files, so each round knows
  // that its own report arrived.
  const auto valueReply = [](int n) {
    return std::vector<std::uint8_t>{
        0x00, wire::ReplyKindValue, wire::ValueMarker, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n),
        0,    0,                    0};
  };
  // Wakes the pump now and then, so that a report that never comes ends the
  // run at its deadline instead of hanging it.
  QTimer pacer;
  QObject::connect(&pacer, &QTimer::timeout, [&rig] { rig.pump.Wake(); });
  pacer.start(100);
  QElapsedTimer deadline;
  const double start = WallSeconds();
  for (int i = 1; i <= count; ++i) {
    const int expected = i & 0xFFFF;
    if (!rig.platform->InjectInputReport(rig.programmerId, valueReply(expected))) return -1;
    deadline.start();
    while (rig.protocol->Replies().ReplyValue != expected) {
      if (deadline.elapsed() > 1000) return -1;
      rig.pump.WaitForMessage();
    }
  }
  return (WallSeconds() - start) * 1e6 / count;
}

}  // namespace kvm::bench
