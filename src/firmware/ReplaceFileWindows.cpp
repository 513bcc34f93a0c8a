// Writing a file whole on Windows: a new file beside it, created exclusively,
// then moved over the old one in one step (MoveFileEx replaces a link planted
// at the path instead of following it). The folder's permissions, which the
// new file inherits, keep it to its user.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/ReplaceFile.h"
#include "firmware/WindowsFiles.h"

namespace kvm::firmware::detail {

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemporaryName(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%lu.%u.%llx", GetCurrentProcessId(), counter++,
                static_cast<unsigned long long>(GetTickCount64()) & 0xFFFFFFull);
  return "." + name + suffix;
}

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

}  // namespace

int ReplaceFileContent(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const std::string folder = FolderOf(path);
  const std::string name = NameOf(path);
  if (name.empty() || name == "." || name == "..")
    return FailWithText(FileUnwritable, path + " does not name a file");

  std::string temporaryPath;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporaryPath = folder + "/" + TemporaryName(name);
    file = CreateFileW(WidePath(temporaryPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE)
    return FailWithWindowsError(FileUnwritable, "create", temporaryPath, GetLastError());

  std::string failedAction;
  DWORD error = 0;
  if (!WriteAll(file, data, size)) {
    failedAction = "write " + temporaryPath;
    error = GetLastError();
  }
  if (!CloseHandle(file) && failedAction.empty()) {
    failedAction = "write " + temporaryPath;
    error = GetLastError();
  }
  if (failedAction.empty() &&
      !MoveFileExW(WidePath(temporaryPath).c_str(), WidePath(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    failedAction = "replace " + path;
    error = GetLastError();
  }
  if (!failedAction.empty()) {
    DeleteFileW(WidePath(temporaryPath).c_str());
    return FailWithText(FileUnwritable, failedAction + ": " + WindowsErrorText(error));
  }
  return ImageOk;
}

}  // namespace kvm::firmware::detail
