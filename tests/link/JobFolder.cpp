#include "JobFolder.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kvm::test {

namespace {
void Restore(const char* name, bool had, const std::string& value) {
  if (had)
    ::setenv(name, value.c_str(), 1);
  else
    ::unsetenv(name);
}
}  // namespace

TJobFolder::TJobFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kvmflash-jobs-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern + " failed");
  path_ = pattern;
  if (const char* old = std::getenv("TMPDIR")) hadTmpDir_ = true, oldTmpDir_ = old;
  if (const char* old = std::getenv("XDG_RUNTIME_DIR")) hadRuntimeDir_ = true, oldRuntimeDir_ = old;
  ::setenv("TMPDIR", path_.c_str(), 1);
  ::unsetenv("XDG_RUNTIME_DIR");
}

TJobFolder::~TJobFolder() {
  Restore("TMPDIR", hadTmpDir_, oldTmpDir_);
  Restore("XDG_RUNTIME_DIR", hadRuntimeDir_, oldRuntimeDir_);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TJobFolder::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  const std::string path = path_ + "/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::vector<std::uint8_t> PatternBytes(std::size_t length) {
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  return bytes;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace kvm::test
