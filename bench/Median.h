// The median of a series (the mean of the middle two for an even count).
#pragma once

#include <algorithm>
#include <vector>

namespace kvm::bench {

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace kvm::bench
