// The figures of the umockdev helper, passed to the benchmark through a file.
#pragma once

#include <string>

#include "FigureTable.h"

namespace kvm::bench {

// Writes the rescan times of every run (or the failure) as JSON.
bool WriteUmockdevFigures(const std::string& path, const std::vector<double>& allNewMs,
                          const std::vector<double>& unchangedMs, const std::string& failure);
// Reads such a file into the collector; a missing or broken file is a failure.
void ReadUmockdevFigures(const std::string& path, TFigureCollector& figures);

}  // namespace kvm::bench
