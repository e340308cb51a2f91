#include "platform/linux/wine_registry.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/tw_platform.h"
#include "support/sample_prefix.h"

namespace {

using namespace std::string_literals;

const char kParserKey[] = "Software\\Parser Cases\\Esc [x] \"q\" \xC3\xA9";

std::string Bytes(std::initializer_list<int> B) {
  std::string s;
  for (int b : B) s += static_cast<char>(b);
  return s;
}

std::string Range(int N) {
  std::string s;
  for (int i = 0; i < N; ++i) s += static_cast<char>(i);
  return s;
}

TEST(WineRegistry, SampleUserRegDecodesEveryForm) {
  TWineRegistry reg;
  ASSERT_TRUE(reg.LoadText(TSamplePrefix::UserRegText()));
  struct TCase {
    const char* Name;
    uint32_t Type;
    std::string Data;
  };
  const TCase cases[] = {
      {"", REG_SZ, "default\0"s},
      {"quote\"back\\slash", REG_SZ, "C:\\path \"q\"\0"s},
      {"ctrl", REG_SZ,
       "a\tb\nc\x01"
       "7\x1b\0"s},
      {"uni", REG_SZ,
       "\xC3\xA9t\xC3\xA9 \xE4\xB8\xAD"
       "1\0"s},
      {"dword", REG_DWORD, Bytes({0xef, 0xbe, 0xad, 0xde})},
      {"expand", REG_EXPAND_SZ, "%USERPROFILE%\\x\0"s},
      {"multi", REG_MULTI_SZ, "one\0two\0\0"s},
      {"qword", REG_QWORD, Bytes({0xef, 0xcd, 0xab, 0x89, 0x67, 0x45, 0x23, 0x01})},
      {"bin", REG_BINARY, Range(26)},
      {"expand_hex", REG_EXPAND_SZ, "%TEMP%\0"s},
      {"none", REG_NONE, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    uint32_t type = 99;
    std::string data;
    ASSERT_TRUE(reg.QueryValue(kParserKey, c.Name, type, data));
    EXPECT_EQ(type, c.Type);
    EXPECT_EQ(data, c.Data);
  }
  // The #class and #time lines are key options, never values.
  uint32_t type;
  std::string data;
  EXPECT_FALSE(reg.QueryValue(kParserKey, "#class", type, data));
  EXPECT_FALSE(reg.QueryValue(kParserKey, "#time", type, data));

  std::string text;
  EXPECT_TRUE(reg.QueryString("environment", "temp", text));
  EXPECT_EQ(text, "C:\\users\\tester\\Temp");
  EXPECT_TRUE(reg.QueryString(kParserKey, "expand", text));
  EXPECT_EQ(text, "%USERPROFILE%\\x");
  EXPECT_FALSE(reg.QueryString(kParserKey, "dword", text));
  EXPECT_FALSE(reg.QueryString(kParserKey, "multi", text));
}

TEST(WineRegistry, KeysAndNamesCompareWithoutCase) {
  TWineRegistry reg;
  ASSERT_TRUE(reg.LoadText(TSamplePrefix::UserRegText()));
  EXPECT_TRUE(reg.KeyExists(""));
  EXPECT_TRUE(reg.KeyExists("Software"));  // implied by its subkeys
  EXPECT_TRUE(reg.KeyExists("SOFTWARE\\parser cases"));
  EXPECT_TRUE(reg.KeyExists("software\\PARSER CASES\\esc [X] \"Q\" \xC3\x89"));  // É for é
  EXPECT_TRUE(reg.KeyExists("Software\\\\Parser Cases\\"));
  EXPECT_FALSE(reg.KeyExists("Software\\Parser"));
  EXPECT_FALSE(reg.KeyExists("Environment\\TEMP"));
  std::string text;
  EXPECT_TRUE(reg.QueryString(kParserKey, "QUOTE\"BACK\\SLASH", text));
  EXPECT_EQ(text, "C:\\path \"q\"");

  std::vector<std::string> names;
  ASSERT_TRUE(reg.ValueNames("Environment", names));
  EXPECT_EQ(names, (std::vector<std::string>{"TEMP", "TMP"}));
  EXPECT_FALSE(reg.ValueNames("Nowhere", names));
}

TEST(WineRegistry, SampleSystemReg) {
  TWineRegistry reg;
  ASSERT_TRUE(reg.LoadText(TSamplePrefix::SystemRegText()));
  uint32_t type;
  std::string data;
  ASSERT_TRUE(reg.QueryValue("Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                             "ProfilesDirectory", type, data));
  EXPECT_EQ(type, REG_EXPAND_SZ);
  EXPECT_EQ(data, "C:\\users\0"s);
  std::string text;
  EXPECT_TRUE(reg.QueryString("Software\\Wine\\Drives", "D:", text));
  EXPECT_EQ(text, "cdrom");
}

TEST(WineRegistry, RejectsWhatIsNotARegistryFile) {
  const char* bad[] = {
      "",
      "REGEDIT4\n[Environment]\n\"A\"=\"1\"\n",
      "WINE REGISTRY Version 1\n[Environment]\n",
      " WINE REGISTRY Version 2\n",
      "WINE REGISTRY Version 2 \n",
      "WINE REGISTRY Version 2\n#arch=win16\n[Environment]\n\"A\"=\"1\"\n",
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    TWineRegistry reg;
    EXPECT_FALSE(reg.LoadText(text));
    EXPECT_FALSE(reg.KeyExists(""));
    EXPECT_FALSE(reg.KeyExists("Environment"));
  }
  // A failed load also forgets what was loaded before.
  TWineRegistry reg;
  ASSERT_TRUE(reg.LoadText(TSamplePrefix::UserRegText()));
  EXPECT_FALSE(reg.LoadText("nope"));
  EXPECT_FALSE(reg.KeyExists("Environment"));
}

struct TReaderCase {
  const char* What;
  std::string Body;  // after the header line
  const char* Key;
  const char* Value;
  bool Found;
  uint32_t Type;
  std::string Data;
};

TEST(WineRegistry, ReaderCases) {
  const TReaderCase cases[] = {
      {"CRLF line ends", "\r\n[A]\r\n\"v\"=\"x\"\r\n\"w\"=hex:01,\\\r\n  02\r\n", "A", "v", true,
       REG_SZ, "x\0"s},
      {"CRLF continuation", "[A]\r\n\"w\"=hex:01,\\\r\n  02\r\n", "A", "w", true, REG_BINARY,
       "\x01\x02"s},
      {"dword 1 digit", "[A]\n\"v\"=dword:7\n", "A", "v", true, REG_DWORD, Bytes({7, 0, 0, 0})},
      {"dword 3 digits", "[A]\n\"v\"=dword:abc\n", "A", "v", true, REG_DWORD,
       Bytes({0xbc, 0x0a, 0, 0})},
      {"dword 8 digits", "[A]\n\"v\"=dword:12345678\n", "A", "v", true, REG_DWORD,
       Bytes({0x78, 0x56, 0x34, 0x12})},
      {"dword 0x prefix", "[A]\n\"v\"=dword:0x10\n", "A", "v", true, REG_DWORD,
       Bytes({0x10, 0, 0, 0})},
      {"dword over 32 bits keeps the low ones", "[A]\n\"v\"=dword:123456789\n", "A", "v", true,
       REG_DWORD, Bytes({0x89, 0x67, 0x45, 0x23})},
      {"dword no digits", "[A]\n\"v\"=dword:zz\n", "A", "v", true, REG_DWORD, Bytes({0, 0, 0, 0})},
      {"dword trailing text", "[A]\n\"v\"=dword:0000001f ; x\n", "A", "v", true, REG_DWORD,
       Bytes({0x1f, 0, 0, 0})},
      {"blanks around = and commas, trailing comma", "[A]\n\"v\"  =\t hex: 01 , 02 ,03,\n", "A",
       "v", true, REG_BINARY, "\x01\x02\x03"s},
      {"leading blanks on lines", "  [A]\n\t\"v\"=\"x\"\n", "A", "v", true, REG_SZ, "x\0"s},
      {"key blocks merge", "[A]\n\"v\"=\"1\"\n[B]\n[a]\n\"w\"=\"2\"\n", "A", "v", true, REG_SZ,
       "1\0"s},
      {"key blocks merge, later part", "[A]\n\"v\"=\"1\"\n[B]\n[a]\n\"w\"=\"2\"\n", "A", "w", true,
       REG_SZ, "2\0"s},
      {"last value wins", "[A]\n\"v\"=\"1\"\n\"V\"=dword:2\n", "A", "v", true, REG_DWORD,
       Bytes({2, 0, 0, 0})},
      {"#time against bracket seconds", "[A] 1700000000\n#time=1da1b2c3d4e5f60\n\"v\"=\"x\"\n", "A",
       "v", true, REG_SZ, "x\0"s},
      {"octal escape of 3 digits then a digit", "[A]\n\"v\"=\"\\0017\"\n", "A", "v", true, REG_SZ,
       "\x01"
       "7\0"s},
      {"octal escape, shortest", "[A]\n\"v\"=\"\\1x\\377\"\n", "A", "v", true, REG_SZ,
       "\x01x\xC3\xBF\0"s},
      {"hex escape of 4 digits then a hex letter", "[A]\n\"v\"=\"\\x00e9a\"\n", "A", "v", true,
       REG_SZ,
       "\xC3\xA9"
       "a\0"s},
      {"hex escape, shortest", "[A]\n\"v\"=\"\\xe9t\"\n", "A", "v", true, REG_SZ, "\xC3\xA9t\0"s},
      {"\\x without digits", "[A]\n\"v\"=\"\\xg\"\n", "A", "v", true, REG_SZ, "xg\0"s},
      {"other escapes", "[A]\n\"v\"=\"\\a\\b\\f\\r\\v\\[\\]\\q\"\n", "A", "v", true, REG_SZ,
       "\a\b\f\r\v[]q\0"s},
      {"surrogate pair", "[A]\n\"v\"=\"\\xd83d\\xde00\"\n", "A", "v", true, REG_SZ,
       "\xF0\x9F\x98\x80\0"s},
      {"lone surrogate", "[A]\n\"v\"=\"\\xd800x\"\n", "A", "v", true, REG_SZ, "\xEF\xBF\xBDx\0"s},
      {"UTF-8 text and invalid bytes", "[A]\n\"v\"=\"\xC3\xA9\xFF\xC3\"\n", "A", "v", true, REG_SZ,
       "\xC3\xA9\0"s},
      {"odd-length string as hex(1)", "[A]\n\"v\"=hex(1):61,00,62\n", "A", "v", true, REG_SZ, "a"},
      {"short dword", "[A]\n\"v\"=hex(4):ef,be\n", "A", "v", true, REG_DWORD, Bytes({0xef, 0xbe})},
      {"str: form", "[A]\n\"v\"=str:\"x\"\n", "A", "v", true, REG_SZ, "x\0"s},
      {"unknown str type is malformed", "[A]\n\"v\"=str(3):\"x\"\n", "A", "v", true, REG_NONE, ""},
      {"malformed data", "[A]\n\"v\"=word:1\n", "A", "v", true, REG_NONE, ""},
      {"malformed replaces earlier", "[A]\n\"v\"=\"1\"\n\"v\"=hex:zz\n", "A", "v", true, REG_NONE,
       ""},
      {"byte over ff", "[A]\n\"v\"=hex:100\n", "A", "v", true, REG_NONE, ""},
      {"missing closing quote of data", "[A]\n\"v\"=\"abc\n", "A", "v", true, REG_NONE, ""},
      {"missing =", "[A]\n\"v\" \"x\"\n", "A", "v", true, REG_NONE, ""},
      {"continuation at the end of the file", "[A]\n\"v\"=hex:01,\\\n", "A", "v", true, REG_NONE,
       ""},
      {"missing closing quote of a name", "[A]\n\"v\n", "A", "v", false, 0, ""},
      {"value before any key", "\"v\"=\"x\"\n[A]\n", "A", "v", false, 0, ""},
      {"values after a bad key line go nowhere", "[A]\n[B\n\"v\"=\"x\"\n", "A", "v", false, 0, ""},
      {"bad key line makes no key", "[A]\n[B\n", "B", "", false, 0, ""},
      {"unrecognised and comment lines", "[A]\nrubbish\n;\"v\"=\"c\"\n\"v\"=\"x\"\n", "A", "v",
       true, REG_SZ, "x\0"s},
      {"[] is the root", "[]\n@=\"r\"\n", "", "", true, REG_SZ, "r\0"s},
      {"escaped bracket in a key name", "[A\\]b]\n\"v\"=\"x\"\n", "A]b", "v", true, REG_SZ, "x\0"s},
      {"Latin names fold", "[\xC3\xA9t\xC3\xA9]\n\"\xC3\xBF\"=\"x\"\n", "\xC3\x89T\xC3\x89",
       "\xC5\xB8", true, REG_SZ, "x\0"s},
      {"embedded NUL in a string", "[A]\n\"v\"=\"a\\0b\"\n", "A", "v", true, REG_SZ, "a\0b\0"s},
  };
  for (const TReaderCase& c : cases) {
    SCOPED_TRACE(c.What);
    TWineRegistry reg;
    ASSERT_TRUE(reg.LoadText("WINE REGISTRY Version 2\n" + c.Body));
    uint32_t type = 99;
    std::string data;
    ASSERT_EQ(reg.QueryValue(c.Key, c.Value, type, data), c.Found);
    if (!c.Found) continue;
    EXPECT_EQ(type, c.Type);
    EXPECT_EQ(data, c.Data);
  }
}

TEST(WineRegistry, QueryStringStopsAtTheFirstNul) {
  TWineRegistry reg;
  ASSERT_TRUE(reg.LoadText("WINE REGISTRY Version 2\n[A]\n\"v\"=\"a\\0b\"\n"));
  std::string text;
  ASSERT_TRUE(reg.QueryString("A", "v", text));
  EXPECT_EQ(text, "a");
}

// "\Registry\Machine\System\ControlSet001" as REG_LINK data.
std::string LinkLine(const std::string& Target) {
  std::string line = "\"SymbolicLinkValue\"=hex(6):";
  const char* hex = "0123456789abcdef";
  for (size_t i = 0; i < Target.size(); ++i) {
    if (i) line += ',';
    const auto c = static_cast<unsigned char>(Target[i]);
    line += hex[c >> 4];
    line += hex[c & 15];
    line += ",00";
  }
  return line + "\n";
}

TEST(WineRegistry, LinkKeysLeadToTheirTargetAndAreNeverData) {
  const std::string header =
      "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n";
  const std::string body =
      "[System\\\\ControlSet001\\\\Control\\\\Session Manager\\\\Environment]\n"
      "\"TEMP\"=\"C:\\\\t\"\n"
      "[System\\\\CurrentControlSet]\n#time=1\n#link\n" +
      LinkLine("\\Registry\\Machine\\System\\ControlSet001") + "[System\\\\Loop1]\n#link\n" +
      LinkLine("\\REGISTRY\\MACHINE\\System\\Loop2") + "[System\\\\Loop2]\n#link\n" +
      LinkLine("\\Registry\\Machine\\System\\Loop1") + "[System\\\\Elsewhere]\n#link\n" +
      LinkLine("\\Registry\\User\\x") + "[System\\\\NoTarget]\n#link\n\"Other\"=\"x\"\n";
  TWineRegistry reg;
  ASSERT_TRUE(reg.LoadText(header + body));
  std::string text;
  EXPECT_TRUE(reg.QueryString("System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                              "TEMP", text));
  EXPECT_EQ(text, "C:\\t");
  uint32_t type;
  std::string data;
  EXPECT_FALSE(reg.QueryValue("System\\CurrentControlSet", "SymbolicLinkValue", type, data));
  EXPECT_FALSE(reg.KeyExists("System\\Loop1"));
  EXPECT_FALSE(reg.KeyExists("System\\Loop1\\x"));
  EXPECT_FALSE(reg.KeyExists("System\\Elsewhere"));
  EXPECT_FALSE(reg.QueryValue("System\\NoTarget", "Other", type, data));

  // Older files name the root without REGISTRY; without any header, links lead nowhere.
  TWineRegistry old;
  ASSERT_TRUE(
      old.LoadText("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n" + body));
  EXPECT_TRUE(old.KeyExists("System\\CurrentControlSet\\Control"));
  TWineRegistry bare;
  ASSERT_TRUE(bare.LoadText("WINE REGISTRY Version 2\n" + body));
  EXPECT_FALSE(bare.KeyExists("System\\CurrentControlSet\\Control"));
  EXPECT_TRUE(bare.KeyExists("System\\ControlSet001\\Control"));
}

TEST(WineRegistry, HostileInputStaysBounded) {
  // Nesting deeper than the registry allows is refused; so is its values' key.
  std::string deep = "WINE REGISTRY Version 2\n[";
  for (int i = 0; i < 100000; ++i) deep += "a\\\\";
  deep += "]\n\"v\"=\"x\"\n[ok]\n";
  TWineRegistry reg;
  ASSERT_TRUE(reg.LoadText(deep));
  EXPECT_FALSE(reg.KeyExists("a\\a"));
  EXPECT_TRUE(reg.KeyExists("ok"));

  // Within the limit it works and a lookup of the same depth finds it.
  std::string path, file = "WINE REGISTRY Version 2\n[";
  for (int i = 0; i < 512; ++i) {
    file += "k\\\\";
    path += "k\\";
  }
  file += "]\n";
  ASSERT_TRUE(reg.LoadText(file));
  EXPECT_TRUE(reg.KeyExists(path));

  // Lines of nothing but escapes, unterminated quotes and brackets, stray NULs.
  const std::string junk = "WINE REGISTRY Version 2\n[A]\n\"" + std::string(100000, '\\') + "\n[" +
                           std::string(50000, '[') + "\n\"v\"=\"\0\"\n"s +
                           "\"w\"=hex:" + std::string(100000, ',') + "\n";
  ASSERT_TRUE(reg.LoadText(junk));
  uint32_t type;
  std::string data;
  EXPECT_FALSE(reg.QueryValue("A", "v", type, data));  // the bad key line cut it off
}

}  // namespace
