// The outputs that are refused on Windows: the same as on POSIX systems, with
// the file's identity (volume serial number and file index) in place of
// device and inode.
#include <windows.h>

#include "cli/OutputRefusal.h"
#include "firmware/WindowsText.h"

namespace kvm::cli {

namespace {

using firmware::WidePath;
using firmware::WindowsErrorText;

struct TIdentity {
  DWORD Volume = 0;
  DWORD IndexHigh = 0;
  DWORD IndexLow = 0;
  bool operator==(const TIdentity&) const = default;
};

// The identity of the file at path (through links when follow), or false.
bool IdentityOf(const std::string& path, bool follow, TIdentity& identity, DWORD& fileType) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  const HANDLE handle = CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  fileType = GetFileType(handle);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = fileType == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  if (known) identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return known;
}

const char* KindOf(DWORD fileType) {
  if (fileType == FILE_TYPE_CHAR) return "a character device";
  if (fileType == FILE_TYPE_PIPE) return "a pipe";
  return "not a regular file";
}

}  // namespace

std::string OutputRefusal(const std::string& output, const std::string& input) {
  TIdentity in;
  DWORD inType = 0;
  const bool inputKnown = !input.empty() && IdentityOf(input, true, in, inType);
  const DWORD attributes = GetFileAttributesW(WidePath(output).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    TIdentity out;
    DWORD outType = 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (inputKnown && IdentityOf(output, true, out, outType) && out == in)
        return "it is a link to the input " + input;
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      return "it exists and is a folder";
    } else if (!IdentityOf(output, false, out, outType)) {
      if (outType != FILE_TYPE_DISK && outType != FILE_TYPE_UNKNOWN)
        return std::string("it exists and is ") + KindOf(outType);
      return "open: " + WindowsErrorText(GetLastError());
    } else if (inputKnown && out == in) {
      return "it is the input file " + input;
    }
  } else if (const DWORD err = GetLastError(); err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) {
    return "look it up: " + WindowsErrorText(err);
  }
  return {};
}

}  // namespace kvm::cli
