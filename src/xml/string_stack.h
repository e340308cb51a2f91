// A bounded stack of strings: the top apart, up to 255 more below it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class TStringStack {
 public:
  static constexpr int32_t MaxEntries = 256;

  void Push(const std::u16string& S);
  void Pop();
  void Clear();
  bool IsEmpty() const { return Count == 0; }

  // Slot k (1-based) holds the k-th string from the bottom; the last slot stays unused
  // because the newest string lives in Top.
  std::array<std::u16string, MaxEntries> Items;
  int32_t Count = 0;
  std::u16string Top;
};
