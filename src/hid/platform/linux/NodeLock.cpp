#include "hid/platform/linux/NodeLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace kvm::hid::platform::linux_hid {

static_assert(NodeInUseError == EBUSY);

namespace {

// A duplicate of the descriptor that took the lock: the lock belongs to the
// open file, so it lasts while this copy is open, whichever handle closes first.
struct TNodeHold {
  int Fd = -1;
  ~TNodeHold() {
    if (Fd >= 0) ::close(Fd);
  }
};

// One hold per node for the whole process: flock refuses a second open file
// of the same process too, and several platforms may open the same node.
std::mutex& HoldsLock() {
  static std::mutex lock;
  return lock;
}

std::map<std::string, std::weak_ptr<TNodeHold>>& Holds() {
  static std::map<std::string, std::weak_ptr<TNodeHold>> holds;
  return holds;
}

}  // namespace

std::shared_ptr<void> HoldNode(const std::string& devicePath, int fd, std::uint32_t& error) {
  std::lock_guard<std::mutex> guard(HoldsLock());
  auto& holds = Holds();
  if (auto held = holds[devicePath].lock()) return held;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error = errno == EWOULDBLOCK ? NodeInUseError : static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  auto hold = std::make_shared<TNodeHold>();
  hold->Fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (hold->Fd < 0) {
    error = static_cast<std::uint32_t>(errno);
    ::flock(fd, LOCK_UN);
    return nullptr;
  }
  holds[devicePath] = hold;
  // Nodes of devices long gone leave no entries behind.
  for (auto it = holds.begin(); it != holds.end();) it = it->second.expired() ? holds.erase(it) : std::next(it);
  return hold;
}

std::string NodeHolderText(const std::string& devicePath) {
  struct stat node {};
  if (::stat(devicePath.c_str(), &node) == 0) {
    // "1: FLOCK  ADVISORY  WRITE 4242 00:05:1234 0 EOF": the holder and the
    // file as device major:minor (hex) and inode.
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long long>(node.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
      std::istringstream fields(line);
      std::string number, kind, advisory, access, pid, file;
      if (!(fields >> number >> kind)) continue;
      // "1: -> FLOCK ..." is a process waiting for the lock, not its holder.
      if (kind != "FLOCK" || !(fields >> advisory >> access >> pid >> file) || file != wanted) continue;
      std::string name;
      std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
      return "in use by PID " + pid + (name.empty() ? std::string() : " (" + name + ")");
    }
  }
  return "in use by another program";
}

}  // namespace kvm::hid::platform::linux_hid
