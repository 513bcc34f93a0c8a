// The command line's explanation of a refused container.
#pragma once

#include <optional>
#include <string>

#include "core/Target.h"
#include "firmware/ContainerHeader.h"

namespace kvm::cli {

// The container format's public side, as the commands use it.
using firmware::BuildContainer;
using firmware::CheckScrambleKey;
using firmware::ContainerHeaderLength;
using firmware::DefaultChipType;
using firmware::LastKeyOffset;
using firmware::ParseContainerHeader;
using firmware::TContainerHeader;
using firmware::TScrambleKey;

// Why a container was refused (a result of UnscrambleContainer), explained by
// its header where it has one. Uses the file operation's recorded detail, so
// call it right after the refusal.
std::string ContainerRefusal(int result, const std::optional<TContainerHeader>& header, TTarget target);

}  // namespace kvm::cli
