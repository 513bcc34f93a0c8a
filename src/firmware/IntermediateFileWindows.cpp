// The intermediate file on Windows: kvmflash\bootsect.d0s in the user's own
// temporary folder (%TEMP%, under the user's profile, closed to other users by
// its permissions). The program's folder is no place for it: "c:\program
// files" is writable only with elevation.
#include <windows.h>

#include "firmware/FirmwareImage.h"
#include "firmware/ImageErrors.h"
#include "firmware/PrivateFolder.h"
#include "firmware/WindowsFiles.h"

namespace kvm::firmware {

namespace {
constexpr const char* IntermediateName = "bootsect.d0s";
}  // namespace

std::string IntermediateFile() { return detail::IntermediateFolder() + "/" + IntermediateName; }

namespace detail {

// Forward slashes, as everywhere in the program; Windows takes both.
std::string IntermediateFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  std::string temporary = (n == 0 || n > MAX_PATH) ? std::string("C:/Windows/Temp") : Utf8(std::wstring(buffer, n));
  for (char& c : temporary)
    if (c == '\\') c = '/';
  while (temporary.size() > 3 && temporary.back() == '/') temporary.pop_back();
  if (temporary.back() != '/') temporary += '/';
  return temporary + "kvmflash";
}

int PreparePrivateFolder(const std::string& folder) {
  const std::wstring wide = WidePath(folder);
  if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return FailWithWindowsError(FileUnwritable, "create folder", folder, GetLastError());
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return FailWithWindowsError(FileUnwritable, "open folder", folder, GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return FailWithText(FileUnwritable, folder + " is not a folder of its own (a link or a file)");
  return ImageOk;
}

}  // namespace detail
}  // namespace kvm::firmware
