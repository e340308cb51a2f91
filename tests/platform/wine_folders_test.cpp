#include "platform/linux/wine_folders.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/tw_platform.h"
#include "support/sample_prefix.h"

namespace {

const char kUserReg[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Environment] 1700000000
#time=1da1b2c3d4e5f60
"TEMP"="C:\\users\\tester\\Temp"
"TMP"="C:\\users\\tester\\Temp"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
#time=1da1b2c3d4e5f60
"AppData"=str(2):"%USERPROFILE%\\AppData\\Roaming"
"Cache"=str(2):"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCache"
"Cookies"=str(2):"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCookies"
"History"=str(2):"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\History"
"Local AppData"=str(2):"%USERPROFILE%\\AppData\\Local"
"Recent"=str(2):"%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Recent"
)";

const char kShellFoldersKey[] =
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders]\n";

using TEnv = std::map<std::string, std::string>;

// A system built from registry texts and a Unix environment.
struct TSystem {
  TWineRegistry Machine, User;
  TEnv Unix;
  TWineSystemInfo Info;

  TSystem(const std::string& SystemReg, const std::string& UserReg, TEnv UnixEnv)
      : Unix(std::move(UnixEnv)) {
    EXPECT_TRUE(Machine.LoadText(SystemReg));
    EXPECT_TRUE(User.LoadText(UserReg));
    Info.Machine = &Machine;
    Info.User = &User;
    Info.UnixEnv = [this](const std::string& Name) {
      const auto it = Unix.find(Name);
      return it == Unix.end() ? std::string() : it->second;
    };
    Info.UserName = WineUserName(Info.UnixEnv);
  }
};

std::string Reg(const std::string& Body) {
  return "WINE REGISTRY Version 2\n" + Body;
}

const TEnv kTesterEnv = {{"USER", "tester"},     {"HOME", "/home/tester"}, {"TMP", "/tmp"},
                         {"TEMP", "/tmp"},       {"PATH", "/usr/bin"},     {"PWD", "/w"},
                         {"LANG", "C.UTF-8"},    {"QT_SCALE", "2"},        {"VK_ICD", "x"},
                         {"USERPROFILE", "/bad"}};

TEST(WineFolders, SamplePrefix) {
  TSystem sys(TSamplePrefix::SystemRegText(), kUserReg, kTesterEnv);
  EXPECT_EQ(sys.Info.UserName, "tester");
  EXPECT_EQ(WineProfileDir(sys.Info), "C:\\users\\tester");
  EXPECT_EQ(WineTempPathRaw(sys.Info), "C:\\users\\tester\\Temp\\");

  const std::string base = "C:\\users\\tester\\AppData\\";
  const std::pair<int, std::string> folders[] = {
      {CSIDL_RECENT, base + "Roaming\\Microsoft\\Windows\\Recent"},
      {CSIDL_APPDATA, base + "Roaming"},
      {CSIDL_LOCAL_APPDATA, base + "Local"},
      {CSIDL_INTERNET_CACHE, base + "Local\\Microsoft\\Windows\\INetCache"},
      {CSIDL_COOKIES, base + "Local\\Microsoft\\Windows\\INetCookies"},
      {CSIDL_HISTORY, base + "Local\\Microsoft\\Windows\\History"},
  };
  for (const auto& [csidl, expected] : folders) {
    SCOPED_TRACE(csidl);
    std::string path;
    ASSERT_TRUE(WineSpecialFolderRaw(sys.Info, csidl, path));
    EXPECT_EQ(path, expected);
    // The same folders come out of the built-in defaults when the registry is silent.
    TSystem bare(Reg(""), Reg(""), kTesterEnv);
    ASSERT_TRUE(WineSpecialFolderRaw(bare.Info, csidl, path));
    EXPECT_EQ(path, expected);
  }
  std::string path = "unchanged";
  EXPECT_FALSE(WineSpecialFolderRaw(sys.Info, 0x05, path));  // CSIDL_PERSONAL: not handled
  EXPECT_EQ(path, "unchanged");
}

TEST(WineFolders, EnvironmentOfANewProcess) {
  TSystem sys(TSamplePrefix::SystemRegText(), kUserReg, kTesterEnv);
  const std::pair<const char*, const char*> vars[] = {
      {"SystemRoot", "C:\\windows"},
      {"SYSTEMDRIVE", "C:"},
      {"windir", "C:\\windows"},
      {"TEMP", "C:\\users\\tester\\Temp"},  // HKCU over HKLM over the Unix TEMP
      {"tmp", "C:\\users\\tester\\Temp"},
      {"USERPROFILE", "C:\\users\\tester"},  // not the Unix one
      {"USERNAME", "tester"},
      {"ALLUSERSPROFILE", "C:\\ProgramData"},
      {"ProgramData", "C:\\ProgramData"},
      {"PUBLIC", "C:\\users\\Public"},
      {"LANG", "C.UTF-8"},
      {"HOME", ""},
      {"PWD", ""},
      {"PATH", ""},
      {"QT_SCALE", ""},
      {"VK_ICD", ""},
      {"NOSUCH", ""},
  };
  for (const auto& [name, expected] : vars) {
    SCOPED_TRACE(name);
    EXPECT_EQ(WineEnvironmentVariable(sys.Info, name), expected);
  }
}

TEST(WineFolders, EnvironmentBuildOrder) {
  const std::string machine =
      Reg("[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment]\n"
          "\"PATH\"=str(2):\"%SystemRoot%\\\\system32\"\n"
          "\"A\"=\"machine\"\n"
          "\"B\"=\"machine\"\n"
          "\"C\"=\"machine\"\n"
          "\"Ref\"=str(2):\"%A%-%undefined%\"\n"
          "\"Dword\"=dword:1\n");
  const std::string user =
      Reg("[Environment]\n"
          "\"B\"=\"user\"\n"
          "\"C\"=\"user\"\n"
          "\"PATH\"=\"C:\\\\u\"\n"
          "\"UseA\"=str(2):\"%B%+%a%\"\n"
          "[Volatile Environment]\n"
          "\"C\"=\"volatile\"\n"
          "\"USERPROFILE\"=\"C:\\\\elsewhere\"\n");
  TSystem sys(machine, user,
              {{"USER", "tester"},
               {"HOME", "/h"},
               {"A", "unix"},
               {"U", "unix"},
               {"WINEPATH", "C:\\wp"},
               {"WINETEMP", "C:\\wt"}});
  const std::pair<const char*, const char*> vars[] = {
      {"U", "unix"},
      {"A", "machine"},
      {"B", "user"},
      {"C", "volatile"},
      {"Ref", "machine-%undefined%"},
      {"UseA", "user+machine"},
      {"PATH", "C:\\wp;C:\\windows\\system32;C:\\u"},
      {"TEMP", "C:\\wt"},  // WINETEMP stands in for TEMP
      {"Dword", ""},       // only strings make variables
      {"USERPROFILE", "C:\\elsewhere"},
  };
  for (const auto& [name, expected] : vars) {
    SCOPED_TRACE(name);
    EXPECT_EQ(WineEnvironmentVariable(sys.Info, name), expected);
  }
  // TMP is unset: GetTempPath takes TEMP.
  EXPECT_EQ(WineTempPathRaw(sys.Info), "C:\\wt\\");
  // The special folders still take the profile from ProfileList, not USERPROFILE.
  std::string path;
  ASSERT_TRUE(WineSpecialFolderRaw(sys.Info, CSIDL_APPDATA, path));
  EXPECT_EQ(path, "C:\\users\\tester\\AppData\\Roaming");
}

TEST(WineFolders, TempPathChoice) {
  struct TCase {
    const char* What;
    std::string UserReg;
    TEnv Unix;
    const char* Expected;
  };
  const TEnv id = {{"USER", "u"}, {"HOME", "/h"}};
  const TCase cases[] = {
      {"TMP first", Reg("[Environment]\n\"TMP\"=\"C:\\\\a\\\\\"\n\"TEMP\"=\"C:\\\\b\"\n"), id,
       "C:\\a\\"},
      {"then TEMP", Reg("[Environment]\n\"TEMP\"=\"C:\\\\b\"\n"), id, "C:\\b\\"},
      {"empty TMP counts as unset", Reg("[Environment]\n\"TMP\"=\"\"\n\"TEMP\"=\"C:\\\\b\"\n"), id,
       "C:\\b\\"},
      {"then USERPROFILE", Reg(""), id, "C:\\users\\u\\"},
      {"Unix TMP never counts",
       Reg(""),
       {{"USER", "u"}, {"HOME", "/h"}, {"TMP", "/tmp"}},
       "C:\\users\\u\\"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TSystem sys(Reg(""), c.UserReg, c.Unix);
    EXPECT_EQ(WineTempPathRaw(sys.Info), c.Expected);
  }
}

TEST(WineFolders, SpecialFolderSources) {
  const std::string profileList =
      "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList]\n"
      "\"ProfilesDirectory\"=str(2):\"%SystemDrive%\\\\Profiles\\\\\"\n"
      "\"Public\"=\"D:\\\\Pub\"\n"
      "\"ProgramData\"=\"D:\\\\PD\"\n";
  const std::string commonAppData =
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders]\n"
      "\"Common AppData\"=\"E:\\\\CAD\"\n";
  struct TCase {
    const char* What;
    std::string Machine;  // besides the ProfileList
    std::string User;
    const char* Expected;  // CSIDL_APPDATA
  };
  const TCase cases[] = {
      {"HKCU first", std::string(kShellFoldersKey) + "\"AppData\"=\"C:\\\\m\"\n",
       std::string(kShellFoldersKey) + "\"AppData\"=\"C:\\\\u\\\\\"\n", "C:\\u"},
      {"then HKLM", std::string(kShellFoldersKey) + "\"AppData\"=\"C:\\\\m\"\n",
       std::string(kShellFoldersKey) + "\"AppData\"=dword:1\n", "C:\\m"},
      {"empty HKCU text does not count",
       std::string(kShellFoldersKey) + "\"AppData\"=\"C:\\\\m\"\n",
       std::string(kShellFoldersKey) + "\"AppData\"=\"\"\n", "C:\\m"},
      {"default from ProfilesDirectory", "", "", "C:\\Profiles\\u\\AppData\\Roaming"},
      {"ALLUSERSPROFILE", "",
       std::string(kShellFoldersKey) + "\"AppData\"=str(2):\"%ALLUSERSPROFILE%\\\\x\"\n",
       "D:\\Pub\\x"},
      {"PUBLIC", "", std::string(kShellFoldersKey) + "\"AppData\"=str(2):\"%public%\\\\x\"\n",
       "D:\\Pub\\x"},
      {"ProgramData from ProfileList", "",
       std::string(kShellFoldersKey) + "\"AppData\"=str(2):\"%ProgramData%\\\\x\"\n", "D:\\PD\\x"},
      {"ProgramData from Common AppData", commonAppData,
       std::string(kShellFoldersKey) + "\"AppData\"=str(2):\"%ProgramData%\\\\x\"\n", "E:\\CAD\\x"},
      {"SystemDrive", "", std::string(kShellFoldersKey) + "\"AppData\"=\"%SystemDrive%\\\\x\"\n",
       "C:\\x"},
      {"other variable", "", std::string(kShellFoldersKey) + "\"AppData\"=\"%windir%\\\\x\"\n",
       "C:\\windows\\x"},
      {"only a leading variable is expanded", "",
       std::string(kShellFoldersKey) + "\"AppData\"=\"C:\\\\%windir%\"\n", "C:\\%windir%"},
      {"root keeps its backslash", "", std::string(kShellFoldersKey) + "\"AppData\"=\"D:\\\\\"\n",
       "D:\\"},
      {"self-reference ends", "",
       "[Environment]\n\"X\"=str(2):\"%X%\"\n" + std::string(kShellFoldersKey) +
           "\"AppData\"=\"%X%\"\n",
       "%X%"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TSystem sys(Reg(profileList + c.Machine), Reg(c.User), {{"USER", "u"}, {"HOME", "/h"}});
    std::string path;
    ASSERT_TRUE(WineSpecialFolderRaw(sys.Info, CSIDL_APPDATA, path));
    EXPECT_EQ(path, c.Expected);
  }
}

TEST(WineFolders, Expansion) {
  TSystem sys(TSamplePrefix::SystemRegText(), kUserReg,
              {{"USER", "tester"}, {"HOME", "/h"}, {"Mixed", "m"}});
  const std::pair<const char*, const char*> cases[] = {
      {"%SystemRoot%\\x", "C:\\windows\\x"},
      {"%systemroot%%SYSTEMDRIVE%", "C:\\windowsC:"},
      {"%undefined%\\x", "%undefined%\\x"},
      {"%undefined%SystemDrive%", "%undefinedC:"},
      {"100%", "100%"},
      {"%%", "%%"},
      {"a%%SystemDrive%", "a%C:"},
      {"%Mixed%", "m"},
      {"plain", "plain"},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(WineExpand(sys.Info, text), expected);
  }
  // A value that doubles itself at every level stays within the environment's limit:
  // the longer value does not fit the block, so the one before it stays.
  std::string user = "[Environment]\n\"A\"=\"" + std::string(30000, 'a') + "\"\n";
  std::string volatileEnv = "[Volatile Environment]\n\"A\"=str(2):\"%A%%A%%A%\"\n";
  TSystem big(Reg(""), Reg(user + volatileEnv), {{"USER", "u"}, {"HOME", "/h"}});
  EXPECT_EQ(WineEnvironmentVariable(big.Info, "A").size(), 30000u);
  EXPECT_LE(WineEnvironmentSize(big.Info), 32767u + 1024u);
}

// Many values that each expand to the longest value: the block holds what fits (the
// process's own variables beside it), values that come first stay, and building it costs
// about the file's size, not the values' count times the longest value.
TEST(WineFolders, EnvironmentBlockIsBounded) {
  std::string machine =
      "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment]\n"
      "\"B\"=\"" +
      std::string(16000, 'b') + "\"\n";
  std::string user = "[Environment]\n\"TEMP\"=\"C:\\\\users\\\\u\\\\Temp\"\n";
  for (int i = 0; i < 2000; ++i) user += "\"V" + std::to_string(i) + "\"=str(2):\"%B%%B%%B%\"\n";
  TSystem sys(Reg(machine), Reg(user), {{"USER", "u"}, {"HOME", "/h"}});
  EXPECT_LE(WineEnvironmentSize(sys.Info), 32767u + 1024u);
  EXPECT_EQ(WineEnvironmentVariable(sys.Info, "TEMP"), "C:\\users\\u\\Temp");
  EXPECT_EQ(WineEnvironmentVariable(sys.Info, "B").size(), 16000u);
  EXPECT_EQ(WineEnvironmentVariable(sys.Info, "V1999"), "");
  EXPECT_EQ(WineEnvironmentVariable(sys.Info, "SystemRoot"), "C:\\windows");
  EXPECT_EQ(WineEnvironmentVariable(sys.Info, "USERPROFILE"), "C:\\users\\u");
}

// Values that each expand to just more than the block could take are dropped one by one;
// what they may produce together is bounded too, so a file of thousands costs little.
TEST(WineFolders, ExpansionWorkIsBounded) {
  std::string machine =
      "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment]\n"
      "\"B\"=\"" +
      std::string(20000, 'b') + "\"\n";
  std::string user = "[Environment]\n";
  for (int i = 0; i < 20000; ++i) user += "\"V" + std::to_string(i) + "\"=str(2):\"%B%\"\n";
  user += "\"ZZ\"=str(2):\"%SystemDrive%\\\\x\"\n";
  TSystem sys(Reg(machine), Reg(user), {{"USER", "u"}, {"HOME", "/h"}});
  EXPECT_EQ(WineEnvironmentVariable(sys.Info, "V0"), "");
  EXPECT_EQ(WineEnvironmentVariable(sys.Info, "V19999"), "");
  EXPECT_EQ(WineEnvironmentVariable(sys.Info, "B").size(), 20000u);
  EXPECT_LE(WineEnvironmentSize(sys.Info), 32767u + 1024u);
}

TEST(WineFolders, UserName) {
  struct TCase {
    TEnv Unix;
    const char* Expected;  // nullptr: from the password database
  };
  const TCase cases[] = {
      {{{"USER", "tester"}, {"HOME", "/h"}}, "tester"},
      {{{"USER", "dom\\who"}, {"HOME", "/h"}}, "who"},
      {{{"USER", "a/b/c"}, {"HOME", "/h"}}, "c"},
      {{{"USER", "no-such-user-x"}}, nullptr},
      {{{"HOME", "/h"}, {"LOGNAME", "no-such-user-x"}}, nullptr},
  };
  for (const TCase& c : cases) {
    const std::string name = WineUserName([&](const std::string& N) {
      const auto it = c.Unix.find(N);
      return it == c.Unix.end() ? std::string() : it->second;
    });
    if (c.Expected) {
      EXPECT_EQ(name, c.Expected);
    } else {
      EXPECT_FALSE(name.empty());
      EXPECT_EQ(name.find_first_of("/\\"), std::string::npos);
      EXPECT_NE(name, "no-such-user-x");
    }
  }
}

}  // namespace
