// Exit status of kvmflash-cli.
#pragma once

namespace kvm::cli {

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;        // a job failed, or a file was refused or unreadable
inline constexpr int ExitUsage = 2;         // unknown option, missing argument
inline constexpr int ExitNoProgrammer = 3;  // no programmer connected within the wait
inline constexpr int ExitInterrupted = 4;   // Ctrl-C

}  // namespace kvm::cli
