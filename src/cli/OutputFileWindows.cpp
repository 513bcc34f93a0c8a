// The output file on Windows: the same refusals as on POSIX systems, with the
// file's identity (volume serial number and file index) in place of device
// and inode. The new file inherits the folder's permissions; Windows has no
// mode bits to keep.
#include <windows.h>

#include <cstdio>
#include <random>

#include "cli/OutputFile.h"
#include "firmware/WindowsFiles.h"

namespace kvm::cli {

namespace {

using firmware::detail::WidePath;
using firmware::detail::WindowsErrorText;

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

// A fixed, short name: the output's own name may already be as long as the
// file system allows.
std::string TemporaryName() {
  static std::mt19937 random{std::random_device{}()};
  char name[32];
  std::snprintf(name, sizeof name, ".kvmflash-%08x", static_cast<unsigned>(random()));
  return name;
}

bool WriteAll(HANDLE file, const std::vector<std::uint8_t>& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const std::size_t left = data.size() - done;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file, data.data() + done, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

bool WriteOutputFile(const std::string& output, const std::string& input, const std::vector<std::uint8_t>& data,
                     std::string& error) {
  const auto fail = [&](const std::string& what) {
    error = "write " + output + ": " + what + "; nothing was written";
    return false;
  };
  const auto failError = [&](const std::string& what, DWORD err) { return fail(what + ": " + WindowsErrorText(err)); };
  if (output.empty()) {
    error = "the output file name is empty";
    return false;
  }
  const std::string name = NameOf(output);
  if (name.empty() || name == "." || name == "..") return fail("not a file name (it names a folder)");

  TIdentity in;
  DWORD inType = 0;
  const bool inputKnown = !input.empty() && IdentityOf(input, true, in, inType);
  const DWORD attributes = GetFileAttributesW(WidePath(output).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    TIdentity out;
    DWORD outType = 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (inputKnown && IdentityOf(output, true, out, outType) && out == in)
        return fail("it is a link to the input " + input);
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      return fail("it exists and is a folder");
    } else if (!IdentityOf(output, false, out, outType)) {
      if (outType != FILE_TYPE_DISK && outType != FILE_TYPE_UNKNOWN)
        return fail(std::string("it exists and is ") + KindOf(outType));
      return failError("open", GetLastError());
    } else if (inputKnown && out == in) {
      return fail("it is the input file " + input);
    }
  } else if (const DWORD err = GetLastError(); err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) {
    return failError("look it up", err);
  }

  const std::string folder = FolderOf(output);
  std::string temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = folder + "/" + TemporaryName();
    file = CreateFileW(WidePath(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return failError("create a new file in " + folder, GetLastError());
  std::string failed;
  DWORD err = 0;
  if (!WriteAll(file, data)) {
    failed = "write into " + temporary;
    err = GetLastError();
  }
  if (!CloseHandle(file) && failed.empty()) {
    failed = "write into " + temporary;
    err = GetLastError();
  }
  if (failed.empty() && !MoveFileExW(WidePath(temporary).c_str(), WidePath(output).c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failed = "replace it";
    err = GetLastError();
  }
  if (!failed.empty()) {
    DeleteFileW(WidePath(temporary).c_str());
    return failError(failed, err);
  }
  return true;
}

}  // namespace kvm::cli
