// Writes a recording while the session runs, off its hot path: the device
// back end only queues events (a lock and a copy); a thread of the writer's
// own turns them into lines and writes them every few tens of milliseconds
// and at Finish. Either one file holds every device, or a folder gets one
// file per device (`DeviceFileName`). A file that exists already is never
// overwritten.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hid/record/Recording.h"

class QByteArray;
class QFile;

namespace kvm::hid::record {

class TRecordingWriter {
 public:
  // Null and `error` set ("out.jsonl: file exists") when the file cannot be
  // made. `firmware`: the jobs' firmware files; only their names are kept.
  static std::unique_ptr<TRecordingWriter> ToFile(const std::string& path, const std::vector<std::string>& firmware,
                                                  std::string& error);
  // The folder is made when missing; each device's file is made when its
  // first event comes.
  static std::unique_ptr<TRecordingWriter> ToFolder(const std::string& folder,
                                                    const std::vector<std::string>& firmware, std::string& error);
  ~TRecordingWriter();
  TRecordingWriter(const TRecordingWriter&) = delete;
  TRecordingWriter& operator=(const TRecordingWriter&) = delete;

  // A new device; returns its index. Any thread.
  std::uint32_t AddDevice(const TRecordedIdentity& identity);
  // Queues an event of a device added before, stamped with the time since the
  // recording began. Any thread; events keep the order of their calls.
  void Add(TRecordedEvent event);
  // A write takes its place (and time) when it starts, so that replies read
  // while it is still in progress come after it; its result follows with
  // EndWrite. Nothing after it is written out before that.
  std::uint64_t BeginWrite(TRecordedEvent event);
  void EndWrite(std::uint64_t slot, bool ok, std::size_t written, std::uint32_t error);
  // Finishes one device's recording now (folder mode: its file gets what is
  // queued and its end line, is on the disk and closed) and waits for that.
  // Its later events are dropped. False with the failures of its file
  // ("write unit-1-2.jsonl: No space left on device"). Any thread.
  bool FinishDevice(std::uint32_t device, std::string& error);
  // Writes what is queued and the end lines, closes the files. False with the
  // failures of the files not finished before, each named once
  // ("write out.jsonl: No space left on device"); later calls return the same.
  bool Finish(std::string& error);

  // A file that ends holding no exchange (the run failed before any report
  // was written or read) replays nothing and would only stand in the way of
  // the next run with its name: it is removed, and this is told so
  // ("out.jsonl: removed, it holds no exchange with a device"). Set before
  // the first event; called from the writer's thread or from Finish.
  std::function<void(const std::string&)> OnRemoved;

  // "unit-<port path>.jsonl" in a folder ("unit-1-2.3.jsonl"), "unit-<n>.jsonl"
  // for a device without a port path.
  static std::string DeviceFileName(std::uint32_t index, const std::string& portPath);

 private:
  struct TEntry;
  struct TOutput;
  TRecordingWriter(std::string target, bool folder, std::vector<std::string> firmware);
  void Run();
  void WriteEntries(std::vector<TEntry>& entries);
  std::uint64_t Queue(TEntry entry);
  TOutput* OutputFor(std::uint32_t device, const std::string& portPath);
  void WriteLine(TOutput& output, const QByteArray& line);
  void Close(TOutput& output);

  const std::string target_;
  const bool folder_;
  const std::vector<std::string> firmware_;
  const std::int64_t startNs_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TEntry> queue_;
  std::uint64_t frontSlot_ = 0;  // slot number of queue_.front()
  bool stopping_ = false;
  std::uint32_t devices_ = 0;
  std::thread thread_;

  // The writer thread's own (and Finish's, once the thread has ended).
  std::vector<std::unique_ptr<TOutput>> outputs_;  // by device in folder mode, one otherwise
  std::string error_;  // failures of files not finished one by one
  bool finished_ = false;
};

}  // namespace kvm::hid::record
