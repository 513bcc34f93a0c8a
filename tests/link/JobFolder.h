// A private folder for a job test's firmware files. The intermediate file of
// the jobs goes there too (TMPDIR), so tests running side by side never share it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvm::test {

class TJobFolder {
 public:
  TJobFolder();
  ~TJobFolder();
  TJobFolder(const TJobFolder&) = delete;
  TJobFolder& operator=(const TJobFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Writes the bytes to a file of that name in the folder; returns its path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::string path_;
  std::string oldTmpDir_, oldRuntimeDir_;
  bool hadTmpDir_ = false, hadRuntimeDir_ = false;
};

// Bytes 0, 7, 14, ... (mod 256): no two neighbouring blocks look alike.
std::vector<std::uint8_t> PatternBytes(std::size_t length);
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

}  // namespace kvm::test
