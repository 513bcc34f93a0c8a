// Files and folders for the firmware image tests.
#pragma once

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace kvm::firmware::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder, removed with everything in it at the end of the test.
class TTempFolder {
 public:
  TTempFolder() {
#ifdef _WIN32
    // No mkdtemp: a new name until one is free (create_directory refuses an existing one).
    for (unsigned attempt = 0; attempt < 1000 && path_.empty(); ++attempt) {
      const auto candidate = std::filesystem::temp_directory_path() /
                             ("kvmflash-test-" + std::to_string(std::rand()) + "-" + std::to_string(attempt));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) path_ = candidate.generic_string();
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "kvmflash-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
#endif
  }
  ~TTempFolder() {
    std::error_code ignored;
    // Give back write permission first, in case a test took it away.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file of the given length whose bytes past `head` are a hole: big images
// without writing them.
inline void WriteSparse(const std::string& path, const Bytes& head, std::int64_t length) {
  WriteBytes(path, head);
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(length));
}

#ifndef _WIN32
inline mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return st.st_mode;
}
#endif

// Chip type codes as they stand in the header.
inline constexpr std::uint16_t Chip28 = 0x001C;
inline constexpr std::uint16_t Chip56 = 0x0038;
inline constexpr std::uint16_t Chip300 = 0x012C;

inline Bytes MakeContainer(std::uint16_t chipCode, std::uint8_t keyOffsetByte, std::uint8_t stepByte,
                           const Bytes& keyArea, const Bytes& payload) {
  Bytes bytes{static_cast<std::uint8_t>(chipCode >> 8), static_cast<std::uint8_t>(chipCode),
              keyOffsetByte, stepByte};
  for (std::size_t i = 0; i < 12; ++i) bytes.push_back(i < keyArea.size() ? keyArea[i] : 0);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

// Sets an environment variable for one test and puts the old value back.
class TScopedEnvironment {
 public:
  TScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~TScopedEnvironment() { Set(old_); }
  TScopedEnvironment(const TScopedEnvironment&) = delete;
  TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
#ifdef _WIN32
    ::_putenv_s(name_, value ? value->c_str() : "");  // an empty value removes it
#else
    if (value) ::setenv(name_, value->c_str(), 1);
    else ::unsetenv(name_);
#endif
  }
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace kvm::firmware::test
