// The live line on standard error while the programmer is driven: block n of
// N, the elapsed time and the status line's text. Drawn only on a terminal.
#pragma once

#include <string>

namespace kvm::cli {

struct TProgressState {
  int Position = 0;
  int Maximum = 0;  // 0 until a job has cut its image into blocks
  std::string Elapsed;
  std::string Status;
  friend bool operator==(const TProgressState&, const TProgressState&) = default;
};

// The line as drawn, cut to `width` columns (counting bytes; no terminal
// control characters).
std::string FormatProgressLine(const TProgressState& state, int width);

class TProgressLine {
 public:
  // Draws on fd only when it is a terminal.
  explicit TProgressLine(int fd);
  TProgressLine(const TProgressLine&) = delete;
  TProgressLine& operator=(const TProgressLine&) = delete;

  bool Active() const { return active_; }
  // Redraws when anything shown changed.
  void Update(const TProgressState& state);
  // Takes the line off the screen, so that other output starts at column 0.
  void Hide();
  // Puts the line back after other output.
  void Show();

 private:
  void Draw();
  int Width() const;

  int fd_;
  bool active_;
  bool shown_ = false;
  TProgressState state_;
  std::string drawn_;
};

}  // namespace kvm::cli
