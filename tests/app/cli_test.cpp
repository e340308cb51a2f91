#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "app/cli/tw_cli_text.h"
#include "platform/tw_platform.h"

using namespace twcli;

namespace {

struct TEscapeCase {
  const char* Name;
  std::string In;
  std::string Json;
  std::string Terminal;
};

void PrintTo(const TEscapeCase& C, std::ostream* Os) {
  *Os << C.Name;
}

class CliEscape : public ::testing::TestWithParam<TEscapeCase> {};

TEST_P(CliEscape, JsonAndTerminal) {
  const TEscapeCase& c = GetParam();
  EXPECT_EQ(JsonEscape(c.In), c.Json);
  EXPECT_EQ(TerminalSafe(c.In), c.Terminal);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CliEscape,
    ::testing::Values(
        TEscapeCase{"plain", "C:\\users\\a b.tmp", "C:\\\\users\\\\a b.tmp", "C:\\users\\a b.tmp"},
        TEscapeCase{"quote", "say \"hi\"", "say \\\"hi\\\"", "say \"hi\""},
        TEscapeCase{"controls", std::string("a\tb\nc\x01\x1b[2J", 10), "a\\tb\\nc\\u0001\\u001b[2J",
                    "a\\x09b\\x0ac\\x01\\x1b[2J"},
        TEscapeCase{"nul", std::string("a\0b", 3), "a\\u0000b", "a\\x00b"},
        TEscapeCase{"del", "x\x7fy", "x\\u007fy", "x\\x7fy"},
        TEscapeCase{"utf8", "\xc3\xa9t\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80",
                    "\xc3\xa9t\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80",
                    "\xc3\xa9t\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80"},
        // Code page bytes that are not UTF-8: each becomes its own escape.
        TEscapeCase{"latin1", "caf\xe9.tmp", "caf\\u00e9.tmp", "caf\\xe9.tmp"},
        TEscapeCase{"truncated", "a\xe4\xb8", "a\\u00e4\\u00b8", "a\\xe4\\xb8"},
        TEscapeCase{"overlong slash", "\xc0\xaf", "\\u00c0\\u00af", "\\xc0\\xaf"},
        TEscapeCase{"overlong three", "\xe0\x80\xaf", "\\u00e0\\u0080\\u00af", "\\xe0\\x80\\xaf"},
        TEscapeCase{"surrogate", "\xed\xa0\x80", "\\u00ed\\u00a0\\u0080", "\\xed\\xa0\\x80"},
        TEscapeCase{"above U+10FFFF", "\xf4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080",
                    "\\xf4\\x90\\x80\\x80"},
        TEscapeCase{"lone continuation", "\x80x", "\\u0080x", "\\x80x"},
        // C1 controls drive some terminals; the line separators break JavaScript.
        TEscapeCase{"C1 CSI",
                    "\xc2\x9b"
                    "31m",
                    "\\u009b31m", "\\xc2\\x9b31m"},
        TEscapeCase{"line separator",
                    "a\xe2\x80\xa8"
                    "b",
                    "a\\u2028b",
                    "a\xe2\x80\xa8"
                    "b"}),
    [](const ::testing::TestParamInfo<TEscapeCase>& I) {
      std::string n;
      for (char ch : std::string(I.param.Name))
        n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return n;
    });

TEST(CliEscape, EveryByteGivesValidJsonText) {
  // Whatever the bytes, the escaped text holds no raw control byte and no lone
  // backslash or quote.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string j = JsonEscape(all);
  for (size_t i = 0; i < j.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(j[i]);
    ASSERT_GE(c, 0x20u) << i;
    if (c == '\\') {
      ASSERT_LT(i + 1, j.size());
      ASSERT_NE(std::string("\"\\/bfnrtu").find(j[i + 1]), std::string::npos) << i;
      ++i;
    } else {
      ASSERT_NE(c, '"') << i;
    }
  }
}

// Whether Text is well-formed UTF-8 without C0 controls, DEL or C1 controls: what may
// reach a terminal or a JSON reader as it is.
bool CleanUtf8(const std::string& Text, std::string& Why) {
  for (size_t i = 0; i < Text.size();) {
    uint32_t code = 0;
    size_t n = Utf8Sequence(Text, i, code);
    if (n == 0) {
      Why = "invalid UTF-8 at " + std::to_string(i);
      return false;
    }
    if (code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F)) {
      Why = "control character at " + std::to_string(i);
      return false;
    }
    i += n;
  }
  return true;
}

// Whether Text is the inside of a valid JSON string.
bool JsonStringBody(const std::string& Text, std::string& Why) {
  if (!CleanUtf8(Text, Why)) return false;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '"') {
      Why = "bare quote at " + std::to_string(i);
      return false;
    }
    if (Text[i] != '\\') continue;
    if (++i >= Text.size()) {
      Why = "lone backslash at the end";
      return false;
    }
    if (Text[i] == 'u') {
      for (int k = 1; k <= 4; ++k)
        if (i + k >= Text.size() || !std::isxdigit(static_cast<unsigned char>(Text[i + k]))) {
          Why = "short \\u escape at " + std::to_string(i);
          return false;
        }
      i += 4;
    } else if (std::string("\"\\/bfnrt").find(Text[i]) == std::string::npos) {
      Why = "bad escape at " + std::to_string(i);
      return false;
    }
  }
  return true;
}

// Every byte value and every pair of them, so that each byte is seen alone, as a lead
// byte, as a continuation and after each other byte; and the longer sequences that
// only a lead byte of three or four can start.
TEST(CliEscape, EveryByteSequenceGivesSafeJsonAndTerminalText) {
  auto check = [](const std::string& In) {
    std::string why;
    const std::string j = JsonEscape(In), t = TerminalSafe(In);
    if (!JsonStringBody(j, why)) return "JSON of " + ::testing::PrintToString(In) + ": " + why;
    if (!CleanUtf8(t, why)) return "terminal text of " + ::testing::PrintToString(In) + ": " + why;
    return std::string();
  };
  int failures = 0;
  for (int a = 0; a < 256 && failures < 5; ++a) {
    for (int b = -1; b < 256 && failures < 5; ++b) {
      std::string in(1, static_cast<char>(a));
      if (b >= 0) in += static_cast<char>(b);
      std::string bad = check(in);
      if (!bad.empty()) {
        ADD_FAILURE() << bad;
        ++failures;
      }
    }
  }
  for (int lead : {0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5})
    for (int c = 0x7F; c <= 0xC0; ++c)
      for (int d = 0x7F; d <= 0xC0; d += 0x10) {
        std::string in = {static_cast<char>(lead), static_cast<char>(0x80 | (c & 0x3F)),
                          static_cast<char>(c), static_cast<char>(d)};
        std::string bad = check(in);
        ASSERT_TRUE(bad.empty()) << bad;
      }
}

// The warning line for a settings file that was not read to its end.
TEST(CliText, ReadStopWarningNamesWhereReadingStopped) {
  using K = TTWReadStop;
  const std::string tail = "; the settings after it keep their defaults";
  const struct {
    TTWReadStop Stop;
    std::string Want;
  } cases[] = {
      {{K::None, 0, "", ""}, ""},
      {{K::Element, 3, "Extra", "TDW"},
       "warning: reading /s.dat stopped at line 3: element \"Extra\" is not known in \"TDW\"" +
           tail},
      {{K::Element, 1, "html", ""},
       "warning: reading /s.dat stopped at line 1: element \"html\" is not the settings root "
       "\"TDW\"" +
           tail},
      {{K::Attribute, 9, "Zebra", "Browsers"},
       "warning: reading /s.dat stopped at line 9: attribute \"Zebra\" of \"Browsers\" is not "
       "known" +
           tail},
      {{K::Text, 2, "", "Drives"},
       "warning: reading /s.dat stopped at line 2: text in \"Drives\" outside a drive" + tail},
      {{K::Text, 2, "", "Exceptions"},
       "warning: reading /s.dat stopped at line 2: text in \"Exceptions\" outside a mask" + tail},
      {{K::EndTag, 4, "FileMask", "FileSearchMasks"},
       "warning: reading /s.dat stopped at line 4: end tag \"FileMask\" in \"FileSearchMasks\" "
       "has no start tag" +
           tail},
      {{K::CutOff, 0, "Drives", ""}, "warning: /s.dat ends inside \"Drives\"" + tail},
      // Names come from the file: they never reach the terminal as control characters.
      {{K::Element, 1, "x\x1b]0;pwned\x07", "TDW"},
       "warning: reading /s.dat stopped at line 1: element \"x\\x1b]0;pwned\\x07\" is not "
       "known in \"TDW\"" +
           tail},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Want);
    EXPECT_EQ(ReadStopWarning("/s.dat", c.Stop), c.Want);
  }
  EXPECT_EQ(ReadStopWarning("/a\nb.dat", {K::CutOff, 0, "TDW", ""}),
            "warning: /a\\x0ab.dat ends inside \"TDW\"" + tail);
}

TEST(CliText, TailFitKeepsTheEndWithoutSplittingCharacters) {
  EXPECT_EQ(TailFit("C:\\short", 20), "C:\\short");
  EXPECT_EQ(TailFit("C:\\a\\very\\long\\path", 10), "...ng\\path");
  // "é" is two bytes: the cut moves past its continuation byte instead of splitting it.
  EXPECT_EQ(TailFit("abcdefgh\xc3\xa9xyz", 8), "...\xc3\xa9xyz");
  EXPECT_EQ(TailFit("abcdefgh\xc3\xa9xyz", 7), "...xyz");
  EXPECT_EQ(TailFit("abcdef", 2), "..");
}

struct TArgsCase {
  std::vector<std::string> Args;
  TCommand Command;
  bool Json;
  std::string ConfigSuffix;  // the end of the settings path ('/' is the host's separator)
};

TEST(CliArgs, AcceptedForms) {
  const std::vector<TArgsCase> cases = {
      {{"preview"}, TCommand::Preview, false, "/system.dat"},
      {{"clean", "--json"}, TCommand::Clean, true, "/system.dat"},
      {{"--json", "settings"}, TCommand::Settings, true, "/system.dat"},
      {{"/f", "my.dat", "preview"}, TCommand::Preview, false, "my.dat"},
      {{"preview", "/f", "a.dat", "/f", "b.dat"}, TCommand::Preview, false, "b.dat"},
      // "/f" takes the next argument whatever it is, as the desktop program does.
      {{"/f", "clean", "preview"}, TCommand::Preview, false, "clean"},
      {{"preview", "/f"}, TCommand::Preview, false, "/system.dat"},
      {{"/autorun", "clean"}, TCommand::Clean, false, "/system.dat"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Args));
    TCliOptions o = ParseCli(c.Args);
    EXPECT_EQ(o.Command, c.Command);
    EXPECT_EQ(o.Json, c.Json);
    const std::string& p = o.Core.ConfigPath;
    std::string suffix = c.ConfigSuffix;
    if (suffix[0] == '/') suffix[0] = Platform().HostPathDelimiter();
    ASSERT_GE(p.size(), suffix.size());
    EXPECT_EQ(p.substr(p.size() - suffix.size()), suffix);
  }
}

TEST(CliArgs, RejectedForms) {
  const std::vector<std::vector<std::string>> cases = {
      {},                          // no command
      {"--json"},                  // still no command
      {"previw"},                  // misspelt
      {"preview", "clean"},        // two commands
      {"/F", "x.dat", "preview"},  // switches are case-sensitive
      {"preview", "--jsn"},        // unknown option
      {"/f", "preview"},           // the command was taken as the path
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_THROW(ParseCli(args), ECommandLineError);
  }
}

TEST(CliArgs, HelpNeedsNoCommand) {
  EXPECT_TRUE(ParseCli({"--help"}).Help);
  EXPECT_TRUE(ParseCli({"-h", "preview"}).Help);
}

TEST(CliArgs, MessageNamesTheArgument) {
  try {
    ParseCli({"preview", "bogus"});
    FAIL();
  } catch (const ECommandLineError& e) {
    EXPECT_NE(std::string(e.what()).find("'bogus'"), std::string::npos) << e.what();
  }
}

}  // namespace
