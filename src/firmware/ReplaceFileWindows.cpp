// Writing a file whole on Windows: a new file beside it, created exclusively,
// then moved over the old one in one step (MoveFileEx replaces a link planted
// at the path instead of following it). The folder's permissions, which the
// new file inherits, keep it to its user; Windows has no mode bits to keep.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "firmware/PathParts.h"
#include "firmware/ReplaceFile.h"
#include "firmware/WindowsText.h"

namespace kvm::firmware {

namespace {

// A short name: the file's own name may already be as long as the file
// system allows. CREATE_NEW makes a clash harmless.
std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  char name[48];
  std::snprintf(name, sizeof name, ".kvmflash-%lx-%x", GetCurrentProcessId(),
                counter++ ^ (static_cast<unsigned>(GetTickCount64()) & 0xFFF000u));
  return name;
}

// All of the bytes, in pieces WriteFile can count.
bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const DWORD chunk = size - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size - done);
    DWORD written = 0;
    if (!WriteFile(file, data + done, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    done += written;
  }
  return true;
}

bool Fail(std::string& error, const std::string& action, DWORD err) {
  error = action + ": " + WindowsErrorText(err);
  return false;
}

}  // namespace

bool ReplaceFileContent(const std::string& path, const std::uint8_t* data, std::size_t size, TNewFileMode,
                 std::string& error) {
  const std::string name = NameOf(path);
  if (name.empty() || name == "." || name == "..") {
    error = "not a file name (it names a folder)";
    return false;
  }
  const std::string folder = FolderOf(path);
  std::string temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = folder + "/" + TemporaryName();
    file = CreateFileW(WidePath(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return Fail(error, "create a new file in " + folder, GetLastError());

  std::string failed;
  DWORD err = 0;
  if (!WriteAll(file, data, size)) {
    failed = "write into " + temporary;
    err = GetLastError();
  }
  if (!CloseHandle(file) && failed.empty()) {
    failed = "write into " + temporary;
    err = GetLastError();
  }
  if (failed.empty() && !MoveFileExW(WidePath(temporary).c_str(), WidePath(path).c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failed = "replace " + path;
    err = GetLastError();
  }
  if (!failed.empty()) {
    DeleteFileW(WidePath(temporary).c_str());
    return Fail(error, failed, err);
  }
  return true;
}

}  // namespace kvm::firmware
