// An append-only file of JSON Lines, one object per line, each line handed
// to the system in one write(2) so that readers never see half a line.
// Shared by the event stream and the traceability log; safe to use from
// several threads.
#pragma once

#include <QJsonObject>
#include <mutex>
#include <string>

namespace kvm::station {

class TJsonLinesFile {
 public:
  TJsonLinesFile() = default;
  ~TJsonLinesFile();
  TJsonLinesFile(const TJsonLinesFile&) = delete;
  TJsonLinesFile& operator=(const TJsonLinesFile&) = delete;

  // Opens `path` for appending (created with mode 0644 when missing, never
  // truncated); "-" means standard output when `allowStdout`. False with
  // "open <path>: <reason>" in error.
  bool Open(const std::string& path, bool allowStdout, std::string& error);
  bool IsOpen() const { return fd_ >= 0; }
  bool IsStdout() const { return isStdout_; }
  const std::string& Path() const { return path_; }

  // Writes the object as one compact line. With `sync` the line is on the
  // disk (fsync) when this returns true. False with "write <path>: <reason>".
  bool Write(const QJsonObject& object, bool sync, std::string& error);

 private:
  std::mutex mutex_;
  int fd_ = -1;
  bool isStdout_ = false;
  std::string path_;
};

// RFC 3339 in UTC with milliseconds: "2026-12-09T00:25:51.123Z".
QString EventTimeNow();

// The schema number every line carries; later versions only add keys.
inline constexpr int EventSchema = 1;

}  // namespace kvm::station
