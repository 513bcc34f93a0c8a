// Where `program` finds its devices: the machine's HID devices, the same with
// every device session written to a recording (--record), or the devices of
// a recording played back instead (--replay, no device needed).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace kvm::hid::platform {
class THidPlatform;
}
namespace kvm::hid::record {
class TRecordingWriter;
class TReplayHidPlatform;
}  // namespace kvm::hid::record

namespace kvm::cli {

struct TDeviceSourceOptions {
  std::string RecordFile;
  std::string ReplayFile;
  bool Fast = false;
  std::vector<std::string> Firmware;  // the jobs' files; a recording keeps only their names
};

// --record FILE, --replay FILE and --fast on a command.
void AddDeviceSourceOptions(CLI::App& command, TDeviceSourceOptions& options);

class TDeviceSource {
 public:
  TDeviceSource();
  ~TDeviceSource();

  // False with the message when the recording cannot be made or read.
  bool Open(const TDeviceSourceOptions& options, std::string& error);
  std::shared_ptr<hid::platform::THidPlatform> Platform() const { return platform_; }
  // Once the devices are given back: closes the recording, says why a replay
  // stopped or ended early, and returns the exit status to use (1 for a
  // stopped replay or a recording that could not be written).
  int Finish(int exitCode);

 private:
  std::shared_ptr<hid::platform::THidPlatform> platform_;
  std::shared_ptr<hid::record::TReplayHidPlatform> replay_;
  std::shared_ptr<hid::record::TRecordingWriter> writer_;
};

}  // namespace kvm::cli
