// The mapping between Unix names and Windows names: characters a Windows name cannot
// hold become Wine's private-use characters, and back.
#include <gtest/gtest.h>

#include "platform/linux/wine_fs.h"

namespace {

using twl::UnixNameOf;
using twl::WinNameOf;

std::string Win(const std::string& Unix) {
  std::string W;
  EXPECT_TRUE(WinNameOf(Unix.data(), Unix.size(), W)) << Unix;
  return W;
}

TEST(WineNames, MappedBothWays) {
  struct TCase {
    const char* Unix;
    const char* Win;
  } cases[] = {
      {"plain.txt", "plain.txt"},
      {"caf\xC3\xA9.tmp", "caf\xC3\xA9.tmp"},
      {"..\\..\\victim.tmp", "..\xEF\x81\x9C..\xEF\x81\x9Cvictim.tmp"},
      {"a:b",
       "a\xEF\x80\xBA"
       "b"},
      {"*?\"<>|", "\xEF\x80\xAA\xEF\x80\xBF\xEF\x80\xA2\xEF\x80\xBC\xEF\x80\xBE\xEF\x81\xBC"},
      {"\xEF\x80\x80", "\xEF\x80\x80"},  // U+F000 itself is no mapped character
      {"\xEF\x81\x9D", "\xEF\x81\x9D"},  // U+F05D (']') neither
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Win(c.Unix), c.Win);
    std::string unix;
    EXPECT_TRUE(UnixNameOf(c.Win, unix)) << c.Win;
    EXPECT_EQ(unix, c.Unix);
  }
}

TEST(WineNames, EveryAsciiCharacterRoundTrips) {
  for (int c = 1; c < 0x80; ++c) {
    if (c == '/') continue;
    const std::string name = std::string("a") + static_cast<char>(c) + "b";
    std::string unix;
    ASSERT_TRUE(UnixNameOf(Win(name), unix)) << c;
    EXPECT_EQ(unix, name) << c;
  }
}

// Names that would collide with a mapped one, and Windows names that can name nothing.
TEST(WineNames, NoNameWhereTheMappingWouldNotBeOneToOne) {
  std::string out;
  for (const char* unix : {"\xEF\x81\x9Ctaken", "x\xEF\x80\xBA", "\xEF\x81\xBC"})
    EXPECT_FALSE(WinNameOf(unix, std::string(unix).size(), out)) << unix;
  for (const char* win : {"a:b", "q?", "x*", "\"", "<", ">", "|", "back\\slash"})
    EXPECT_FALSE(UnixNameOf(win, out)) << win;
}

}  // namespace
