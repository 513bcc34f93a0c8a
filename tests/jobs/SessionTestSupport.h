// What the session tests share: a recorder of one session's events (with the
// moment each arrived, from any thread) and firmware images of a given number
// of blocks.
#pragma once

#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/SessionEvents.h"

namespace kvm::test {

using TClock = std::chrono::steady_clock;

// Sanitizer builds run several times slower: the session tests' ticks grow
// with them, so that a silent programmer's time-out stays far beyond the
// healthy jobs.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
inline constexpr int SanitizerSlowdown = 5;
#else
inline constexpr int SanitizerSlowdown = 1;
#endif

class TEventLog {
 public:
  void Add(const jobs::TSessionEvent& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({event, TClock::now()});
  }
  struct TEntry {
    jobs::TSessionEvent Event;
    TClock::time_point At;
  };
  std::vector<TEntry> Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    for (const TEntry& entry : Entries())
      if (entry.Event.Kind == jobs::TSessionEventKind::LogLine) lines.push_back(entry.Event.Text);
    return lines;
  }
  // The log lines, one a line, for a failure message.
  std::string Text() const {
    std::string text;
    for (const std::string& line : LogLines()) text += line + "\n";
    return text;
  }
  // The first event of that kind (and text, when given); false when none.
  bool Find(jobs::TSessionEventKind kind, TEntry& found, const std::string& text = {}) const {
    for (const TEntry& entry : Entries())
      if (entry.Event.Kind == kind && (text.empty() || entry.Event.Text == text)) {
        found = entry;
        return true;
      }
    return false;
  }
  bool Has(jobs::TSessionEventKind kind) const {
    TEntry unused;
    return Find(kind, unused);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<TEntry> events_;
};

// An image of `blocks` blocks (48 bytes in block 0, 56 after), its bytes
// depending on `seed` so that no two sessions send the same image.
inline std::vector<std::uint8_t> SessionImage(std::size_t blocks, int seed) {
  std::vector<std::uint8_t> bytes(48 + 56 * (blocks - 1));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed * 31);
  return bytes;
}

inline std::string WriteImage(const QTemporaryDir& folder, const std::string& name,
                              const std::vector<std::uint8_t>& bytes) {
  const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out ? path : std::string();
}

}  // namespace kvm::test
