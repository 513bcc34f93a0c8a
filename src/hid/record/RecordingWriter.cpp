#include "hid/record/RecordingWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#ifdef _WIN32
#include <io.h>
#define fsync _commit
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <utility>
#include <variant>

#include "hid/record/RecordingJson.h"

namespace kvm::hid::record {

namespace {

// Often enough that a crash loses little, rarely enough to cost nothing.
constexpr auto WritePeriod = std::chrono::milliseconds(50);

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Only the name: a recording holds no folders of the machine it was made on.
std::vector<std::string> FileNamesOnly(const std::vector<std::string>& paths) {
  std::vector<std::string> names;
  for (const std::string& path : paths)
    if (!path.empty()) names.push_back(QFileInfo(QString::fromStdString(path)).fileName().toStdString());
  return names;
}

}  // namespace

// A device's recording to finish; the promise gets its file's failures.
struct TFinishDevice {
  std::uint32_t Device = 0;
  std::shared_ptr<std::promise<std::string>> Done;
};

struct TRecordingWriter::TEntry {
  std::variant<std::pair<std::uint32_t, TRecordedIdentity>, TRecordedEvent, TFinishDevice> Item;
  bool Pending = false;  // a write still in progress
};

struct TRecordingWriter::TOutput {
  std::unique_ptr<QFile> File;
  std::uint64_t Events = 0;
  std::uint64_t Exchanges = 0;  // reports written or read
  bool Failed = false;
  bool Closed = false;
  std::string Error;  // the first failure of this file
};

TRecordingWriter::TRecordingWriter(std::string target, bool folder, std::vector<std::string> firmware)
    : target_(std::move(target)), folder_(folder), firmware_(FileNamesOnly(firmware)), startNs_(NowNs()) {}

std::unique_ptr<TRecordingWriter> TRecordingWriter::ToFile(const std::string& path,
                                                           const std::vector<std::string>& firmware,
                                                           std::string& error) {
  std::unique_ptr<TRecordingWriter> writer(new TRecordingWriter(path, false, firmware));
  auto output = std::make_unique<TOutput>();
  output->File = std::make_unique<QFile>(QString::fromStdString(path));
  // NewOnly: an existing file, perhaps a firmware file named by mistake, stays untouched.
  if (!output->File->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    error = "create " + path + ": " +
            (QFileInfo::exists(QString::fromStdString(path)) ? std::string("file exists")
                                                              : output->File->errorString().toStdString());
    return nullptr;
  }
  writer->outputs_.push_back(std::move(output));
  writer->WriteLine(*writer->outputs_.back(), HeaderLine(writer->firmware_));
  writer->thread_ = std::thread([w = writer.get()] { w->Run(); });
  return writer;
}

namespace {

// Why a folder could not be made: what is in its way, or the nearest folder
// above it that takes no new entries.
std::string WhyNoFolder(const std::string& folder) {
  QFileInfo info(QString::fromStdString(folder));
  if (info.exists() || info.isSymLink()) return "it exists and is not a folder";
  for (QFileInfo above(info.absolutePath()); !above.isRoot(); above = QFileInfo(above.absolutePath())) {
    if (!above.exists()) continue;
    if (!above.isDir()) return above.filePath().toStdString() + " is not a folder";
    if (!above.isWritable()) return "no permission to write in " + above.filePath().toStdString();
    break;
  }
  return "cannot make it";
}

}  // namespace

std::unique_ptr<TRecordingWriter> TRecordingWriter::ToFolder(const std::string& folder,
                                                             const std::vector<std::string>& firmware,
                                                             std::string& error) {
  if (!QDir().mkpath(QString::fromStdString(folder))) {
    error = "create folder " + folder + ": " + WhyNoFolder(folder);
    return nullptr;
  }
  std::unique_ptr<TRecordingWriter> writer(new TRecordingWriter(folder, true, firmware));
  writer->thread_ = std::thread([w = writer.get()] { w->Run(); });
  return writer;
}

TRecordingWriter::~TRecordingWriter() {
  std::string ignored;
  Finish(ignored);
}

namespace {
constexpr int MaxCopiesPerName = 10000;
}  // namespace

std::string TRecordingWriter::DeviceFileName(std::uint32_t index, const std::string& portPath) {
  std::string name = portPath.empty() ? std::to_string(index + 1) : portPath;
  for (char& c : name)
    if (c == '/' || c == '\\' || c == ':') c = '_';
  return "unit-" + name + ".jsonl";
}

std::uint32_t TRecordingWriter::AddDevice(const TRecordedIdentity& identity) {
  std::lock_guard lock(mutex_);
  const std::uint32_t index = devices_++;
  if (!stopping_) queue_.push_back({std::make_pair(index, identity)});
  return index;
}

std::uint64_t TRecordingWriter::Queue(TEntry entry) {
  std::lock_guard lock(mutex_);
  // A finished recording takes nothing more (the slot names no entry).
  if (stopping_) return frontSlot_ + queue_.size();
  // Stamped under the lock, so times rise in the order of the lines.
  std::get<TRecordedEvent>(entry.Item).TimeUs = (NowNs() - startNs_) / 1000;
  queue_.push_back(std::move(entry));
  return frontSlot_ + queue_.size() - 1;
}

void TRecordingWriter::Add(TRecordedEvent event) { Queue({std::move(event)}); }

std::uint64_t TRecordingWriter::BeginWrite(TRecordedEvent event) { return Queue({std::move(event), true}); }

void TRecordingWriter::EndWrite(std::uint64_t slot, bool ok, std::size_t written, std::uint32_t error) {
  std::lock_guard lock(mutex_);
  // Written out already, or never queued: the recording was finished meanwhile.
  if (slot < frontSlot_ || slot - frontSlot_ >= queue_.size()) return;
  TEntry& entry = queue_[slot - frontSlot_];
  TRecordedEvent& event = std::get<TRecordedEvent>(entry.Item);
  event.Ok = ok;
  event.Written = written;
  event.Error = error;
  entry.Pending = false;
}

void TRecordingWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait_for(lock, WritePeriod, [this] { return stopping_; });
    // Up to the first write still in progress (all of it once stopping).
    const bool stop = stopping_;
    std::vector<TEntry> batch;
    while (!queue_.empty() && (stop || !queue_.front().Pending)) {
      batch.push_back(std::move(queue_.front()));
      queue_.pop_front();
      ++frontSlot_;
    }
    lock.unlock();
    WriteEntries(batch);
    lock.lock();
    if (stop && queue_.empty()) return;
  }
}

TRecordingWriter::TOutput* TRecordingWriter::OutputFor(std::uint32_t device, const std::string& portPath) {
  if (!folder_) return outputs_.front().get();
  if (device < outputs_.size()) return outputs_[device].get();
  outputs_.resize(device + 1);
  auto output = std::make_unique<TOutput>();
  // A programmer plugged in again at the same port is a device of its own:
  // its file takes the next free number ("unit-1-2.3-2.jsonl"), and no file
  // is ever replaced.
  const QString base = QString::fromStdString(DeviceFileName(device, portPath));
  QString path;
  bool opened = false;
  for (int copy = 1; copy <= MaxCopiesPerName && !opened; ++copy) {
    const QString name = copy == 1 ? base : base.chopped(6) + QString("-%1.jsonl").arg(copy);
    path = QDir(QString::fromStdString(target_)).filePath(name);
    output->File = std::make_unique<QFile>(path);
    opened = output->File->open(QIODevice::WriteOnly | QIODevice::NewOnly);
    if (!opened && !QFileInfo::exists(path)) break;
  }
  if (!opened) {
    output->Error = "create " + path.toStdString() + ": " +
                    (QFileInfo::exists(path) ? std::string("file exists") : output->File->errorString().toStdString());
    output->Failed = true;
  } else {
    WriteLine(*output, HeaderLine(firmware_));
  }
  outputs_[device] = std::move(output);
  return outputs_[device].get();
}

void TRecordingWriter::WriteLine(TOutput& output, const QByteArray& line) {
  if (output.Failed || output.Closed) return;
  if (output.File->write(line + '\n') != line.size() + 1) {
    output.Error = "write " + output.File->fileName().toStdString() + ": " + output.File->errorString().toStdString();
    output.Failed = true;
  }
}

// The end line, then the file on the disk and closed: a recording finished
// here replays whatever happens to the process later.
void TRecordingWriter::Close(TOutput& output) {
  if (output.Closed) return;
  if (output.Exchanges == 0 && !output.Failed) {
    output.File->close();
    output.Closed = true;
    const std::string name = output.File->fileName().toStdString();
    if (!output.File->remove()) {
      output.Error = "remove " + name + " (it holds no exchange): " + output.File->errorString().toStdString();
      output.Failed = true;
    } else if (OnRemoved) {
      OnRemoved(name + ": removed, it holds no exchange with a device");
    }
    return;
  }
  WriteLine(output, EndLine(output.Events));
  if (!output.Failed && (!output.File->flush() || ::fsync(output.File->handle()) != 0)) {
    output.Error = "write " + output.File->fileName().toStdString() + ": " +
                   (output.File->error() != QFileDevice::NoError ? output.File->errorString().toStdString()
                                                                  : std::string(std::strerror(errno)));
    output.Failed = true;
  }
  output.File->close();
  output.Closed = true;
}

void TRecordingWriter::WriteEntries(std::vector<TEntry>& entries) {
  for (TEntry& entry : entries) {
    if (auto* device = std::get_if<std::pair<std::uint32_t, TRecordedIdentity>>(&entry.Item)) {
      TOutput* output = OutputFor(device->first, device->second.PortPath);
      // In a folder each file holds one device, its device 0.
      WriteLine(*output, DeviceLine(folder_ ? 0 : device->first, device->second));
    } else if (auto* finish = std::get_if<TFinishDevice>(&entry.Item)) {
      std::string error;
      if (folder_ && finish->Device < outputs_.size() && outputs_[finish->Device]) {
        Close(*outputs_[finish->Device]);
        error = outputs_[finish->Device]->Error;
      }
      finish->Done->set_value(error);
    } else {
      TRecordedEvent& event = std::get<TRecordedEvent>(entry.Item);
      TOutput* output = OutputFor(event.Device, {});
      if (folder_) event.Device = 0;
      WriteLine(*output, EventLine(event));
      ++output->Events;
      if (event.Kind == TEventKind::Write || event.Kind == TEventKind::Read) ++output->Exchanges;
    }
  }
  for (const auto& output : outputs_)
    if (output && !output->Failed && !output->Closed) output->File->flush();
}

bool TRecordingWriter::FinishDevice(std::uint32_t device, std::string& error) {
  TFinishDevice finish{device, std::make_shared<std::promise<std::string>>()};
  std::future<std::string> done = finish.Done->get_future();
  {
    std::lock_guard lock(mutex_);
    if (stopping_) {
      // The whole recording was finished: Finish has named its failures.
      error.clear();
      return true;
    }
    queue_.push_back({finish});
  }
  wake_.notify_all();
  error = done.get();
  return error.empty();
}

bool TRecordingWriter::Finish(std::string& error) {
  if (!finished_) {
    finished_ = true;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    for (const auto& output : outputs_) {
      if (!output || output->Closed) continue;
      Close(*output);
      if (!output->Error.empty()) error_ += (error_.empty() ? "" : "; ") + output->Error;
    }
  }
  error = error_;
  return error_.empty();
}

}  // namespace kvm::hid::record
