#include "delete/tw_random.h"

#include "platform/tw_platform.h"

namespace {
uint32_t GState = 0;
}

void RandomSeed(uint32_t Seed) {
  GState = Seed;
}

uint32_t RandomState() {
  return GState;
}

void Randomize() {
  uint64_t counter = 0;
  if (Platform().QueryPerformanceCounter(counter)) {
    RandomSeed(static_cast<uint32_t>(counter));
  } else {
    RandomSeed(Platform().GetTickCount());
  }
}

uint8_t RandomByte() {
  GState = GState * 134775813u + 1u;
  return static_cast<uint8_t>(GState >> 24);
}

void FillRandomBlock(uint8_t* Block) {
  uint32_t state = GState;
  for (uint32_t i = 0; i < TW_RANDOM_BLOCK_SIZE; ++i) {
    state = state * 134775813u + 1u;
    Block[i] = static_cast<uint8_t>(state >> 24);
  }
  GState = state;
}
