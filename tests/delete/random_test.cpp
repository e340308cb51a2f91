#include "delete/tw_random.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/null_platform.h"

namespace {

TEST(RandomTest, KnownSequenceFromASeed) {
  RandomSeed(0x12345678);
  const uint8_t want[] = {0xcb, 0x79, 0xd9, 0xf2, 0xe6, 0xe2, 0x9d, 0xca};
  for (uint8_t w : want) EXPECT_EQ(RandomByte(), w);
  EXPECT_EQ(RandomState(), 0xca4744f0u);
}

TEST(RandomTest, BlockTakesOneStepPerByteAndContinuesTheSequence) {
  RandomSeed(0x12345678);
  std::vector<uint8_t> block(TW_RANDOM_BLOCK_SIZE);
  FillRandomBlock(block.data());
  const uint8_t head[] = {0xcb, 0x79, 0xd9, 0xf2};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(block[i], head[i]);
  RandomSeed(0);
  FillRandomBlock(block.data());
  EXPECT_EQ(block[0], 0x00);  // state 1
  EXPECT_EQ(block[1], 0x08);  // state 0x08088406
  EXPECT_EQ(RandomState(), 0x9979f000u);
  // The next block differs: the state is not reset between blocks.
  std::vector<uint8_t> next(TW_RANDOM_BLOCK_SIZE);
  FillRandomBlock(next.data());
  EXPECT_NE(block, next);
}

class TClockPlatform : public TTWNullPlatform {
 public:
  bool HasCounter = true;
  bool QueryPerformanceCounter(uint64_t& Counter) override {
    Counter = 0xABCDEF0012345678ull;
    return HasCounter;
  }
  uint32_t GetTickCount() override { return 4242; }
};

TEST(RandomTest, RandomizeUsesTheCounterElseTheTickCount) {
  TClockPlatform p;
  ScopedPlatform scope(p);
  Randomize();
  EXPECT_EQ(RandomState(), 0x12345678u);
  p.HasCounter = false;
  Randomize();
  EXPECT_EQ(RandomState(), 4242u);
}

}  // namespace
