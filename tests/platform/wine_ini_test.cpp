#include "platform/linux/wine_ini.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

const char kIni[] =
    "top=before any section\n"
    "[ Sec ]\n"
    "  KEY  =found\n"
    "spaced   =   padded value   \n"
    "dq=\"quoted value\"\n"
    "sq='single'\n"
    "halfq=\"half\n"
    "mixq=\"mixed'\n"
    "one=\"\n"
    "inline=value ; comment\n"
    "eqsp = = lead eq\n"
    "a=b=c\n"
    "empty=\n"
    "nokeyvalue\n"
    "tab=\tx\t\n"
    "long=abcdefghij\n"
    ";x=y\n"
    "#h=v\n"
    "dup=first\n"
    "dup=second\n"
    "[bracket\n"
    "[Two] ] tail\n"
    "k=two\n"
    "[sec]\n"
    "later=only in the second block\n"
    "[Profile0]\r\n"
    "Path=Profiles/abc.default\r\r\n"
    "\x1A IsRelative=1 \x1A\r\n";

TEST(WineIni, LookupTable) {
  struct TCase {
    const char* Section;
    const char* Key;
    const char* Default;
    size_t N;
    std::string Expected;
  };
  const TCase cases[] = {
      {"sec", "  KEY  ", "d", 2048, "found"},
      {"SEC", "key", "d", 2048, "found"},
      {"Sec", "spaced", "d", 2048, "padded value"},
      {"Sec", "dq", "d", 2048, "quoted value"},
      {"Sec", "sq", "d", 2048, "single"},
      {"Sec", "halfq", "d", 2048, "\"half"},
      {"Sec", "mixq", "d", 2048, "\"mixed'"},
      {"Sec", "one", "d", 2048, "\""},
      {"Sec", "inline", "d", 2048, "value ; comment"},
      {"Sec", "eqsp", "d", 2048, "= lead eq"},
      {"Sec", "a", "d", 2048, "b=c"},
      {"Sec", "empty", "d", 2048, ""},
      {"Sec", "nokeyvalue", "d", 2048, "d"},
      {"Sec", "tab", "d", 2048, "x"},
      {"Sec", "long", "d", 5, "abcd"},
      {"Sec", "long", "d", 1, ""},
      {"Sec", "long", "d", 0, ""},
      {"Sec", "dq", "d", 5, "quot"},
      {"Sec", "dq", "d", 6, "quote"},
      {"Sec", "dq", "d", 7, "quoted"},
      {"Sec", "dq", "d", 14, "quoted value"},
      {"Sec", ";x", "d", 2048, "y"},  // no comments
      {"Sec", "#h", "d", 2048, "v"},
      {"Sec", "dup", "d", 2048, "first"},
      {"Sec", "[bracket", "d", 2048, "d"},  // a key line without '='
      {"Two] ", "k", "d", 2048, "two"},     // the name runs to the last ']'
      {"Sec", "k", "d", 2048, "d"},
      {"Sec", "later", "d", 2048, "d"},  // only the first [sec] is searched
      {"", "top", "d", 2048, "before any section"},
      {"", "key", "d", 2048, "d"},
      {"Profile0", "Path", "", 2048, "Profiles/abc.default"},
      {"Profile0", "IsRelative", "", 2048, "1"},
      {"Profile1", "Path", "", 2048, ""},
      {"Missing", "x", "  dflt  ", 2048, "  dflt"},
      {"Missing", "x", "\"qd\"", 2048, "qd"},
      {"Missing", "x", "'qd'  ", 2048, "qd"},
      {"Missing", "x", "\"", 2048, "\""},
      {"Missing", "x", "default", 4, "def"},
  };
  const TWineIniIndex index(kIni);  // the file read once answers alike
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Section) + "/" + c.Key + " n=" + std::to_string(c.N));
    EXPECT_EQ(WineProfileString(kIni, c.Section, c.Key, c.Default, c.N), c.Expected);
    EXPECT_EQ(index.Get(c.Section, c.Key, c.Default, c.N), c.Expected);
  }
}

TEST(WineIni, EncodingsAndLineBreaks) {
  auto utf16 = [](const std::string& Ascii, bool Big) {
    std::string out = Big ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : Ascii) {
      out += Big ? '\0' : c;
      out += Big ? c : '\0';
    }
    return out;
  };
  const std::string text = "[S]\r\nk=v\xC3\xA9";
  std::string le = utf16("[S]\r\nk=v", false) + "\xE9\x00"s;
  std::string be = utf16("[S]\r\nk=v", true) + "\x00\xE9"s;
  struct TCase {
    const char* What;
    std::string File;
    std::string Expected;
  };
  const TCase cases[] = {
      {"UTF-8 BOM", "\xEF\xBB\xBF" + text, "v\xC3\xA9"},
      {"UTF-16 LE", le, "v\xC3\xA9"},
      {"UTF-16 BE", be, "v\xC3\xA9"},
      {"no BOM", text, "v\xC3\xA9"},
      {"CR only", "[S]\rk=v", "v"},
      {"empty file", "", "dflt"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_EQ(WineProfileString(c.File, "s", "K", "dflt"), c.Expected);
    EXPECT_EQ(TWineIniIndex(c.File).Get("s", "K", "dflt"), c.Expected);
  }
}

TEST(WineIni, TruncationKeepsWholeUtf8Characters) {
  // "é" is two bytes; a buffer with room for only its first byte gets neither.
  EXPECT_EQ(WineProfileString("[S]\nk=a\xC3\xA9", "S", "k", "", 3), "a");
  EXPECT_EQ(WineProfileString("[S]\nk=a\xC3\xA9", "S", "k", "", 4), "a\xC3\xA9");
}

TEST(WineIni, HostileInputIsHarmless) {
  std::string big(1 << 20, '[');
  big += "\n" + std::string(1 << 20, '=') + "\n\0\0=\0\n"s;
  EXPECT_EQ(WineProfileString(big, "S", "k", "d"), "d");
  EXPECT_EQ(WineProfileString("\xFF\xFE\x00\xD8"s, "S", "k", "d"), "d");  // lone surrogate
  EXPECT_EQ(WineProfileString("[S]\nk=a\0b"s, "S", "k", "d"), "a");
}

// Thousands of sections are indexed once; each question is then a lookup.
TEST(WineIni, IndexOfManySections) {
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "[Profile" + std::to_string(i) + "]\nPath=p" + std::to_string(i) + "\nIsRelative=1\n";
  text += "[Profile7]\nPath=duplicate\n";
  const TWineIniIndex index(text);
  for (int i = 0; i < 20000; ++i)
    ASSERT_EQ(index.Get("profile" + std::to_string(i), "PATH", ""), "p" + std::to_string(i));
  EXPECT_EQ(index.Get("Profile20000", "Path", "none"), "none");
}

}  // namespace
