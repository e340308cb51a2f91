// A growable memory block for the writer's UTF-16 text. Once sized it never shrinks, and
// every growth adds 1 MiB of headroom, so a document of ordinary size is allocated once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TSmartMemoryStream {
 public:
  static constexpr size_t MemoryDelta = 8192;  // allocation granule of the block
  static constexpr size_t Headroom = 1048576;  // added to every growth request

  // 0 releases the block; a request not above the present capacity changes nothing;
  // anything else becomes request + Headroom, rounded up to a multiple of MemoryDelta.
  void SetCapacity(size_t NewCapacity);
  size_t Capacity() const { return FCapacity; }
  size_t Size() const { return FSize; }
  size_t Position() const { return FPosition; }
  const uint8_t* Memory() const { return FMemory.get(); }

  // Writes Count bytes at the position, growing the block when they do not fit.
  void Write(const void* Buffer, size_t Count);
  void WriteText(const std::u16string& Text);
  // The UTF-16 text written so far, up to its first null unit.
  std::u16string AsText() const;

 private:
  std::unique_ptr<uint8_t[]> FMemory;
  size_t FCapacity = 0;
  size_t FSize = 0;
  size_t FPosition = 0;
};
