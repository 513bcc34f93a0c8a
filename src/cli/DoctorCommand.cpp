// kvmflash-cli doctor: what stands between this user and a usable programmer,
// each finding with its exact fix.
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/MessagePump.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/JsonOutput.h"
#include "cli/ProgrammerAccess.h"
#include "hid/HidControllerClass.h"
#include "hid/platform/linux/LinuxHidPlatform.h"
#include "link/AccessHint.h"
#include "link/DeviceIdentity.h"

namespace kvm::cli {

namespace {

// Where udev looks for rules, the ones that win first.
constexpr const char* RuleFolders[] = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
                                       "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
constexpr const char* RuleInstall =
    "install the kvmflash package (sudo apt-get install ./kvmflash_*.deb) or, from the source tree, sudo install "
    "-m 644 packaging/70-kvmflash.rules "
    "/etc/udev/rules.d/; then sudo udevadm control --reload && sudo udevadm trigger --subsystem-match=hidraw";

// ok: in order; warn: not in order, but it does not stop this user now;
// fail: it stops this user now.
enum class TLevel { Ok, Warn, Fail };

struct TFinding {
  TLevel Level = TLevel::Ok;
  std::string Text;
  std::string Fix;                 // for warn and fail
  std::vector<std::string> Notes;  // facts that explain it
};

// The findings in the order they were made; each check adds its own.
class TFindings {
 public:
  TFinding& Add(TLevel level, std::string text, std::string fix = {}) {
    findings_.push_back({level, std::move(text), std::move(fix), {}});
    return findings_.back();
  }
  TFinding& Add(bool ok, std::string text, std::string fix = {}) {
    return Add(ok ? TLevel::Ok : TLevel::Fail, std::move(text), std::move(fix));
  }
  bool AnyFailure() const {
    return std::any_of(findings_.begin(), findings_.end(), [](const TFinding& f) { return f.Level == TLevel::Fail; });
  }
  void PrintText() const {
    for (const TFinding& finding : findings_) {
      const char* mark = finding.Level == TLevel::Ok ? "ok  " : finding.Level == TLevel::Warn ? "warn" : "FAIL";
      std::printf("%s %s\n", mark, PrintableText(finding.Text).c_str());
      for (const std::string& note : finding.Notes) std::printf("     %s\n", PrintableText(note).c_str());
      if (finding.Level != TLevel::Ok && !finding.Fix.empty())
        std::printf("     fix: %s\n", PrintableText(finding.Fix).c_str());
    }
  }
  void PrintJson(int exitCode) const {
    QJsonArray array;
    for (const TFinding& finding : findings_) {
      QJsonArray notes;
      for (const std::string& note : finding.Notes) notes.append(JsonText(note));
      array.append(QJsonObject{
          {"level", finding.Level == TLevel::Ok ? "ok" : finding.Level == TLevel::Warn ? "warn" : "fail"},
          {"text", JsonText(finding.Text)},
          {"fix", finding.Level == TLevel::Ok || finding.Fix.empty() ? QJsonValue(QJsonValue::Null) : JsonText(finding.Fix)},
          {"notes", notes},
      });
    }
    PrintJsonDocument(QJsonDocument(QJsonObject{{"findings", array}, {"exit_code", exitCode}}));
  }

 private:
  std::vector<TFinding> findings_;
};

std::string UserName(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  const group* entry = ::getgrgid(gid);
  return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

// The named users and groups of the node's access ACL ("user alice rw-").
std::vector<std::string> AclEntries(const std::string& node) {
  std::vector<unsigned char> bytes(512);
  const ssize_t size = ::getxattr(node.c_str(), "system.posix_acl_access", bytes.data(), bytes.size());
  std::vector<std::string> entries;
  if (size < 4) return entries;
  constexpr unsigned User = 0x02, Group = 0x08;
  for (ssize_t at = 4; at + 8 <= size; at += 8) {
    const unsigned tag = bytes[at] | bytes[at + 1] << 8;
    const unsigned perm = bytes[at + 2] | bytes[at + 3] << 8;
    const unsigned id = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | static_cast<unsigned>(bytes[at + 7]) << 24;
    if (tag != User && tag != Group) continue;
    const std::string rights = std::string(perm & 4 ? "r" : "-") + (perm & 2 ? "w" : "-");
    entries.push_back(tag == User ? "user " + UserName(id) + " " + rights : "group " + GroupName(id) + " " + rights);
  }
  return entries;
}

// Other processes that have the node open, as "1234 (name)".
std::vector<std::string> Holders(const std::string& node) {
  struct stat target {};
  std::vector<std::string> holders;
  if (::stat(node.c_str(), &target) != 0) return holders;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return holders;
  const std::string self = std::to_string(::getpid());
  while (const dirent* entry = ::readdir(proc.get())) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    const std::string fdFolder = "/proc/" + pid + "/fd";
    std::unique_ptr<DIR, int (*)(DIR*)> fds(::opendir(fdFolder.c_str()), ::closedir);
    if (!fds) continue;
    while (const dirent* fd = ::readdir(fds.get())) {
      struct stat open {};
      if (fd->d_name[0] == '.' || ::stat((fdFolder + "/" + fd->d_name).c_str(), &open) != 0) continue;
      if (open.st_dev == target.st_dev && open.st_ino == target.st_ino && open.st_rdev == target.st_rdev) {
        std::string name;
        std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
        holders.push_back(pid + " (" + name + ")");
        break;
      }
    }
  }
  return holders;
}

std::string InstalledRule() {
  for (const char* folder : RuleFolders) {
    const std::string path = std::string(folder) + "/" + link::UdevRuleName;
    if (::access(path.c_str(), R_OK) == 0) return path;
  }
  return {};
}

// The seat of this login session, from systemd-logind's session file.
std::string SessionSeat(bool& active) {
  active = false;
  const char* session = std::getenv("XDG_SESSION_ID");
  if (session == nullptr || *session == '\0') return {};
  std::ifstream file(std::string("/run/systemd/sessions/") + session);
  std::string line, seat;
  while (std::getline(file, line)) {
    if (line.rfind("SEAT=", 0) == 0) seat = line.substr(5);
    if (line == "ACTIVE=1") active = true;
  }
  return seat;
}

bool InPlugdev() {
  const group* plugdev = ::getgrnam("plugdev");
  if (plugdev == nullptr) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  return ::getegid() == plugdev->gr_gid || std::find(groups.begin(), groups.end(), plugdev->gr_gid) != groups.end();
}

// In the group file, and in this process's groups (not before a new login).
// `needed`: nothing else gives this user the programmer now.
void CheckPlugdev(TFindings& findings, bool needed) {
  const TLevel missing = needed ? TLevel::Fail : TLevel::Warn;
  const group* plugdev = ::getgrnam("plugdev");
  if (plugdev == nullptr) {
    findings.Add(missing, "there is no group plugdev", "sudo groupadd --system plugdev, then add yourself to it");
    return;
  }
  const std::string user = UserName(::getuid());
  bool listed = false;
  for (char** member = plugdev->gr_mem; *member != nullptr; ++member) listed = listed || user == *member;
  if (InPlugdev())
    findings.Add(TLevel::Ok, "this login is in the group plugdev");
  else if (listed)
    findings.Add(missing, user + " is in the group plugdev, but this login is not yet", "log out and in again");
  else
    findings.Add(missing, user + " is not in the group plugdev (needed without a local seat, e.g. over ssh)",
                 "sudo usermod -aG plugdev " + user + ", then log out and in again");
}

struct TProgrammerNode {
  std::string Node;
  std::string Serial;
  bool Usable = false;
  std::string InUse;  // "in use by PID N (name)" when another program holds it
};

void CheckNode(TFindings& findings, const TProgrammerNode& programmer) {
  std::string facts;
  struct stat info {};
  if (::stat(programmer.Node.c_str(), &info) == 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    facts = programmer.Node + ": owner " + UserName(info.st_uid) + ", group " + GroupName(info.st_gid) + ", mode " + mode;
    const std::vector<std::string> acl = AclEntries(programmer.Node);
    facts += acl.empty() ? ", no ACL" : ", ACL:";
    for (const std::string& entry : acl) facts += " " + entry + ";";
  }
  const std::string error = NodeAccessError(programmer.Node);
  const std::string name = "the KVM programmer " + programmer.Serial + " at " + programmer.Node;
  // A node another program has connected is usable once that program has
  // given it back.
  TFinding& finding =
      !programmer.InUse.empty()
          ? findings.Add(TLevel::Fail, name + " is " + programmer.InUse,
                         "wait for that program to finish, or end it, then try again")
      : programmer.Usable
          ? findings.Add(TLevel::Ok, name + " opens for reading and writing")
          : findings.Add(TLevel::Fail,
                         name + " cannot be opened for reading and writing (" + (error.empty() ? "refused" : error) + ")",
                         AccessFix());
  if (!facts.empty()) finding.Notes.push_back(facts);
  for (const std::string& holder : Holders(programmer.Node)) finding.Notes.push_back("also open in process " + holder);
}

std::vector<TProgrammerNode> FindProgrammers(hid::THidDeviceController& controller, int& interfaces) {
  TQtMessagePump pump;
  pump.ProcessMessages();
  interfaces = 0;
  std::vector<TProgrammerNode> programmers;
  controller.SetOnEnumerate(hid::THidEnumerateEvent([&](hid::THidDevice* device, int) {
    ++interfaces;
    hid::THidCaps caps;
    device->GetCaps(caps);
    if (device->Attributes().VendorID == link::ProgrammerVendorID &&
        device->Attributes().ProductID == link::ProgrammerProductID &&
        caps.InputReportByteLength == link::ProgrammerInputReportLength)
      programmers.push_back({device->PnPInfo().DevicePath, hid::ToText(device->GetSerialNumber()),
                             device->HasReadWriteAccess(), device->InUseText()});
    return true;
  }));
  controller.Enumerate();
  return programmers;
}

// The ways in (udev rule, seat, group): each fails only when no programmer is
// usable and nothing else would let this user in.
void CheckWaysIn(TFindings& findings, bool usable) {
  const bool root = ::geteuid() == 0;
  const std::string rule = InstalledRule();
  if (!rule.empty())
    findings.Add(TLevel::Ok, "the udev rule is installed: " + rule);
  else
    findings.Add(usable || root ? TLevel::Warn : TLevel::Fail,
                 std::string("the udev rule ") + link::UdevRuleName + " is not installed", RuleInstall);
  if (root) {
    findings.Add(TLevel::Ok, "running as root, which needs no seat or group (run the doctor as the user who "
                             "programs to check theirs)");
    return;
  }
  bool active = false;
  const std::string seat = SessionSeat(active);
  const bool grouped = InPlugdev();
  if (!seat.empty())
    findings.Add(TLevel::Ok, "this login has the seat " + seat + (active ? " and is active" : ", but is not the active session"));
  else
    findings.Add(usable || grouped ? TLevel::Warn : TLevel::Fail,
                 "this login has no seat, so the rule's uaccess tag gives it no access",
                 "log in at the machine's own screen, or use the group plugdev (below)");
  CheckPlugdev(findings, !usable && seat.empty());
}

int RunDoctor(bool json) {
  TFindings findings;
  int exitCode = ExitOk;
  hid::THidDeviceController controller(hid::platform::MakeLinuxHidPlatform());
  if (!controller.IsBound()) {
    findings.Add(false, "libudev cannot be loaded, so no HID device can be found", "sudo apt-get install libudev1");
    exitCode = ExitNoProgrammer;
  } else {
    findings.Add(true, "libudev is loaded");
    int interfaces = 0;
    const std::vector<TProgrammerNode> programmers = FindProgrammers(controller, interfaces);
    findings.Add(interfaces > 0, std::to_string(interfaces) + " HID interface(s) visible",
                 "load the kernel's hidraw driver (sudo modprobe hidraw) and check ls /dev/hidraw*; in a container "
                 "or sandbox, pass the /dev/hidraw* nodes through");
    findings.Add(!programmers.empty(),
                 programmers.empty() ? "no KVM programmer (0B39:FF03) is plugged in"
                                     : std::to_string(programmers.size()) + " KVM programmer(s) plugged in",
                 "plug the programmer in; if it is plugged in, try another cable or port (lsusb shows 0b39:ff03)");
    bool usable = false;
    for (const TProgrammerNode& programmer : programmers) {
      CheckNode(findings, programmer);
      usable = usable || programmer.Usable;
    }
    CheckWaysIn(findings, usable);
    if (programmers.empty()) exitCode = ExitNoProgrammer;
    else if (findings.AnyFailure()) exitCode = ExitFailed;
  }
  if (json)
    findings.PrintJson(exitCode);
  else
    findings.PrintText();
  return exitCode;
}

}  // namespace

void AddDoctorCommand(CLI::App& app, TCommandAction& action) {
  CLI::App* command = app.add_subcommand("doctor", "Check what stands between you and a usable programmer");
  command->footer(
      "Checks libudev, the visible HID devices, each programmer's device node (owner, mode, ACL, whether it "
      "opens for reading and writing, which other processes hold it), the udev rule, this login's seat and the "
      "group plugdev, and prints each finding: ok, warn (not in order, but it does not stop you now) or FAIL "
      "(it stops you now), with the fix.\n\n"
      "Exit status: 0 nothing stops you (a usable programmer is present), 1 a programmer is present but "
      "something stops you, 3 no programmer is present (or no HID device can be found).");
  auto json = std::make_shared<bool>(false);
  command->add_flag("--json", *json, "Print the findings as one JSON object: {\"findings\": [{\"level\", \"text\", "
                                     "\"fix\", \"notes\"}], \"exit_code\"}");
  command->callback([&action, json] { action = [json] { return RunDoctor(*json); }; });
}

}  // namespace kvm::cli
