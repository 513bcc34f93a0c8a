// What a device asks of its reader, whichever way it reads: on a thread of
// its own (THidDeviceReadThread) or in its owner's event loop
// (THidDeviceEventReader). Either way the handlers run on the device's thread.
#pragma once

namespace kvm::hid {

class THidDeviceReader {
 public:
  virtual ~THidDeviceReader() = default;

  virtual void Start() = 0;
  // Tells the reader to end after its current read or hand-over.
  virtual void RequestTermination() = 0;
  // Ends the reader; returns once no handler of it runs or will run.
  virtual void Stop() = 0;
  // True while one of this reader's handlers runs.
  virtual bool InHandOver() const = 0;
  // Stop from inside this reader's own handler: it ends once the handler has
  // returned, touching nothing of the device any more.
  virtual void Abandon() = 0;
  // The device is about to close its read handle: stop watching it.
  virtual void ReadHandleClosing() {}
};

}  // namespace kvm::hid
