// Any bytes as a recording: the reader refuses what is not a complete
// recording with a message and never reads past what it checked; what it
// accepts is played back, each recorded write made once more (and one that
// matches nothing), with every reply read.
#include <cstdint>
#include <string>

#include "hid/record/RecordingJson.h"
#include "hid/record/ReplayHidPlatform.h"

using namespace kvm::hid;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  record::TRecording recording;
  std::string error;
  const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!record::ParseRecording(text, recording, error)) {
    if (error.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  std::vector<std::vector<std::uint8_t>> writes;
  for (const record::TRecordedDevice& device : recording.Devices)
    for (const record::TRecordedEvent& event : device.Events)
      if (event.Kind == record::TEventKind::Write) writes.push_back(event.Bytes);
  record::TReplayHidPlatform replay(std::move(recording), /*fast=*/true);
  for (const platform::THidInterface& item : replay.ScanInterfaces()) {
    std::uint32_t code = 0;
    auto handle = replay.Open(item.DevicePath, platform::TOpenMode::ReadWrite, code);
    if (!handle) continue;
    THidAttributes attributes;
    handle->GetAttributes(attributes);
    if (auto preparsed = handle->GetPreparsedData()) {
      THidCaps caps;
      replay.GetCaps(*preparsed, caps);
    }
    writes.push_back({0xEE});
    for (const auto& bytes : writes) {
      std::size_t written = 0;
      handle->Write(bytes.data(), bytes.size(), written, code);
      std::uint8_t buffer[64];
      std::size_t got = 0;
      while (handle->Read(buffer, sizeof buffer, got, 0, code) == platform::TReadStatus::Data) {
      }
    }
  }
  replay.DrainNotices();
  (void)replay.Stop();
  (void)replay.Unfinished();
  return 0;
}
