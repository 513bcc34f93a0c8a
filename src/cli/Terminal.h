// The terminal the live lines are drawn on, the same way on every system.
#pragma once

#include <string>

namespace kvm::cli {

// A terminal that understands the erase-line sequence "\r\033[K". A Windows
// console does once asked to (Windows 10 on); older consoles get no live line.
bool IsLiveTerminal(int fd);
// Whether the descriptor is a terminal at all.
bool IsTerminal(int fd);
// Its width in columns; 80 when it does not say.
int TerminalWidth(int fd);
// All of `text`; a broken terminal must not stop the programming, so a
// failed write ends the call quietly.
void WriteToTerminal(int fd, const std::string& text);

}  // namespace kvm::cli
