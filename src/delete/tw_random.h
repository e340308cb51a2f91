// The process random generator: one 32-bit linear congruential state shared by the
// whole process, seeded once when the main window is created. Only the shredder draws
// from it, so it is not locked.
#pragma once

#include <cstdint>

inline constexpr uint32_t TW_RANDOM_BLOCK_SIZE = 4096;

void RandomSeed(uint32_t Seed);
uint32_t RandomState();
// Seeds from the low 32 bits of the performance counter, or the tick count when the
// counter is not available.
void Randomize();
// One step: state = state * 134775813 + 1; the byte is the top 8 bits of the new state.
uint8_t RandomByte();
// Fills TW_RANDOM_BLOCK_SIZE (4096) bytes, one step per byte.
void FillRandomBlock(uint8_t* Block);
