// Small timing helpers the benchmark programs share.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

using TClock = std::chrono::steady_clock;

inline double Ms(TClock::duration D) {
  return std::chrono::duration<double, std::milli>(D).count();
}

inline double Median(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  return V.empty() ? 0 : V[V.size() / 2];
}
