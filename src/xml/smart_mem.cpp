#include "xml/smart_mem.h"

#include <cstring>
#include <limits>
#include <new>

void TSmartMemoryStream::SetCapacity(size_t NewCapacity) {
  if (NewCapacity == 0) {
    FMemory.reset();
    FCapacity = 0;
    FSize = 0;
    FPosition = 0;
    return;
  }
  if (NewCapacity <= FCapacity) return;
  constexpr size_t kMax = std::numeric_limits<size_t>::max() - Headroom - MemoryDelta;
  if (NewCapacity > kMax) throw std::bad_alloc();
  size_t Wanted = NewCapacity + Headroom;
  Wanted = (Wanted + MemoryDelta - 1) / MemoryDelta * MemoryDelta;
  std::unique_ptr<uint8_t[]> Block(new uint8_t[Wanted]);
  if (FSize > 0) std::memcpy(Block.get(), FMemory.get(), FSize);
  FMemory = std::move(Block);
  FCapacity = Wanted;
}

void TSmartMemoryStream::Write(const void* Buffer, size_t Count) {
  if (Count == 0) return;
  if (Count > std::numeric_limits<size_t>::max() - FPosition) throw std::bad_alloc();
  size_t End = FPosition + Count;
  if (End > FCapacity) SetCapacity(End);
  std::memcpy(FMemory.get() + FPosition, Buffer, Count);
  FPosition = End;
  if (End > FSize) FSize = End;
}

void TSmartMemoryStream::WriteText(const std::u16string& Text) {
  if (Text.empty()) return;
  Write(Text.data(), Text.size() * sizeof(char16_t));
}

std::u16string TSmartMemoryStream::AsText() const {
  std::u16string Result;
  size_t Units = FSize / sizeof(char16_t);
  Result.reserve(Units);
  for (size_t I = 0; I < Units; ++I) {
    char16_t U;
    std::memcpy(&U, FMemory.get() + I * sizeof(char16_t), sizeof U);
    if (U == 0) break;
    Result.push_back(U);
  }
  return Result;
}
