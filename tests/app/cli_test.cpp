#include <gtest/gtest.h>

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
