#include "station/JsonLinesFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonDocument>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#define fsync _commit
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace kvm::station {

namespace {
std::string SystemError(const char* action, const std::string& path, int error) {
  return std::string(action) + " " + path + ": " + std::strerror(error);
}
}  // namespace

TJsonLinesFile::~TJsonLinesFile() {
  if (fd_ >= 0 && !isStdout_) ::close(fd_);
}

bool TJsonLinesFile::Open(const std::string& path, bool allowStdout, std::string& error) {
  path_ = path;
  if (allowStdout && path == "-") {
    fd_ = STDOUT_FILENO;
    isStdout_ = true;
    path_ = "standard output";
    return true;
  }
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_BINARY, 0644);
  if (fd_ < 0) {
    error = SystemError("open", path, errno);
    return false;
  }
  return true;
}

bool TJsonLinesFile::Write(const QJsonObject& object, bool sync, std::string& error) {
  QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
  line.append('\n');
  std::lock_guard lock(mutex_);
  if (fd_ < 0) {
    error = "write " + path_ + ": not open";
    return false;
  }
  // One write: with O_APPEND the line lands whole at the end of the file. A
  // short write (disk full) is an error, not something to finish later.
  ssize_t written;
  do {
    written = ::write(fd_, line.constData(), static_cast<std::size_t>(line.size()));
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    error = SystemError("write", path_, errno);
    return false;
  }
  if (written != line.size()) {
    error = "write " + path_ + ": only " + std::to_string(written) + " of " + std::to_string(line.size()) +
            " bytes written";
    return false;
  }
  if (sync && ::fsync(fd_) != 0) {
    error = SystemError("fsync", path_, errno);
    return false;
  }
  return true;
}

QString EventTimeNow() { return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs); }

}  // namespace kvm::station
