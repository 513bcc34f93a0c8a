// The container format's public side, as the commands use it.
#pragma once

#include "firmware/ContainerHeader.h"

namespace kvm::cli {

using firmware::BuildContainer;
using firmware::CheckScrambleKey;
using firmware::ContainerHeaderLength;
using firmware::DefaultChipType;
using firmware::LastKeyOffset;
using firmware::ParseContainerHeader;
using firmware::TContainerHeader;
using firmware::TScrambleKey;

}  // namespace kvm::cli
