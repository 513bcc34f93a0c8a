#include "firmware/WindowsFiles.h"

#include "firmware/ImageErrors.h"

namespace kvm::firmware {

std::wstring WidePath(const std::string& path) {
  if (path.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

std::string WindowsErrorText(DWORD error) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) result.assign(text, length);
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == ' ' ||
                             result.back() == '.'))
    result.pop_back();
  if (result.empty()) result = "system error " + std::to_string(error);
  return result;
}

}  // namespace kvm::firmware

namespace kvm::firmware::detail {

int FailWithWindowsError(int result, const std::string& action, const std::string& path, DWORD error) {
  return FailWithText(result, action + " " + path + ": " + WindowsErrorText(error));
}

}  // namespace kvm::firmware::detail
