#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/UtilFuncs.h"
#include "app/tw_i18n.h"
#include "search/Masks.h"
#include "search/tw_helper.h"
#include "support/null_platform.h"

namespace {

// --- Names

// A .mo catalog of the given translations, in the file layout gettext reads.
std::string MoCatalog(std::map<std::string, std::string> Entries) {
  Entries[""] = "Content-Type: text/plain; charset=UTF-8\n";
  std::string out;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const auto n = static_cast<uint32_t>(Entries.size());
  const uint32_t originals = 28;
  const uint32_t translations = originals + 8 * n;
  uint32_t data = translations + 8 * n;
  std::string strings;
  std::vector<std::pair<uint32_t, uint32_t>> idTable;
  std::vector<std::pair<uint32_t, uint32_t>> textTable;
  for (const auto& [id, text] : Entries) {
    idTable.emplace_back(static_cast<uint32_t>(id.size()), data + strings.size());
    strings += id + '\0';
  }
  for (const auto& [id, text] : Entries) {
    textTable.emplace_back(static_cast<uint32_t>(text.size()), data + strings.size());
    strings += text + '\0';
  }
  u32(0x950412de);
  u32(0);
  u32(n);
  u32(originals);
  u32(translations);
  u32(0);
  u32(0);
  for (const auto& [len, off] : idTable) u32(len), u32(off);
  for (const auto& [len, off] : textTable) u32(len), u32(off);
  return out + strings;
}

class CatalogPlatform : public TTWNullPlatform {
 public:
  bool ReadWholeFile(const std::string& HostPath, std::string& Data) override {
    auto it = Files.find(HostPath);
    if (it == Files.end()) return false;
    Data = it->second;
    return true;
  }
  std::map<std::string, std::string> Files;
};

class HelperNames : public testing::Test {
 protected:
  void SetUp() override { ResetTranslationLayer(); }
  void TearDown() override { ResetTranslationLayer(); }
};

TEST_F(HelperNames, EnglishWithoutCatalog) {
  CatalogPlatform p;
  ScopedPlatform scoped(p);
  UseLanguage("en");
  TTWHelper h;
  const std::vector<std::string> groups = {
      "Search masks",    "IE/Cookies",          "IE/Cache",
      "IE/History",      "Firefox/Cookies",     "Firefox/Cache",
      "Firefox/History", "Opera/Cookies",       "Opera/Cache",
      "Opera/History",   "Safari/Cookies",      "Safari/Cache",
      "Safari/History",  "Chrome/Cookies",      "Chrome/Cache",
      "Chrome/History",  "Temporary directory", "Recently used documents",
      "Recycle Bin",     "Old Update files",    "System log"};
  ASSERT_EQ(groups.size(), static_cast<size_t>(TTWHelper::GroupCount));
  for (int g = 0; g < TTWHelper::GroupCount; ++g) EXPECT_EQ(h.GetGroupName(g), groups[g]);
  EXPECT_EQ(h.GetKindName(0), "File");
  EXPECT_EQ(h.GetKindName(1), "Directory");
  // Out of range (a damaged entry) gives no text rather than a wild read.
  EXPECT_EQ(h.GetKindName(2), "");
  EXPECT_EQ(h.GetGroupName(21), "");
  EXPECT_EQ(h.GetGroupName(-1), "");
}

TEST_F(HelperNames, LanguageSwitchTranslatesTheOptionWordNotTheBrowser) {
  CatalogPlatform p;
  ScopedPlatform scoped(p);
  p.Files[CatalogFileName("de")] = MoCatalog({{"Cookies", "Kekse"},
                                              {"File", "Datei"},
                                              {"Firefox/", "Feuerfuchs/"},
                                              {"Recycle Bin", "Papierkorb"}});
  UseLanguage("en");
  TTWHelper h;
  EXPECT_EQ(h.GetGroupName(4), "Firefox/Cookies");
  UseLanguage("de");
  h.LoadNames();
  EXPECT_EQ(h.GetGroupName(4), "Firefox/Kekse");
  EXPECT_EQ(h.GetGroupName(13), "Chrome/Kekse");
  EXPECT_EQ(h.GetGroupName(5), "Firefox/Cache");
  EXPECT_EQ(h.GetGroupName(18), "Papierkorb");
  EXPECT_EQ(h.GetKindName(0), "Datei");
  UseLanguage("en");
  h.LoadNames();
  EXPECT_EQ(h.GetGroupName(4), "Firefox/Cookies");
}

// Tests that only need some platform: never the host's.
class HelperTest : public testing::Test {
 protected:
  void SetUp() override { ResetTranslationLayer(); }
  void TearDown() override { ResetTranslationLayer(); }
  TTWNullPlatform FPlatform;  // the program lives in /opt/tidewell
  ScopedPlatform FScoped{FPlatform};
};

// --- Sizes

struct SizeCase {
  int64_t Bytes;
  const char* KB;
  const char* MB;
};

TEST_F(HelperTest, Sizes_TwoDecimalsHalvesToEvenNoTrailingZeros) {
  TTWHelper h;
  h.SetDecimalSeparator(".");
  const SizeCase cases[] = {
      {0, "0", "0"},
      {128, "0.12", "0"},  // 0.125: the half goes to the even 0.12
      {384, "0.38", "0"},  // 0.375 to 0.38
      {1000, "0.98", "0"},
      {1024, "1", "0"},
      {1536, "1.5", "0"},
      {1048576, "1024", "1"},
      {1572864, "1536", "1.5"},
      {5 * 1048576 + 5242, "5125.12", "5"},
      {int64_t{3} << 30, "3145728", "3072"},  // sizes from 2 GiB stay positive
      {(int64_t{4} << 30) + 10, "4194304.01", "4096"},
      {-(int64_t{3} << 30), "-3145728", "-3072"},  // a negative total still formats
      {-5, "0", "0"},                              // no "-0"
      {-1536, "-1.5", "0"},
  };
  for (const SizeCase& c : cases) {
    EXPECT_EQ(h.SizeToKB(c.Bytes), c.KB) << c.Bytes;
    EXPECT_EQ(h.SizeToMB(c.Bytes), c.MB) << c.Bytes;
  }
}

TEST_F(HelperTest, Sizes_UsesTheLocaleSeparator) {
  TTWHelper h;
  h.SetDecimalSeparator(",");
  EXPECT_EQ(h.SizeToKB(1536), "1,5");
  EXPECT_EQ(h.SizeToMB(1572864), "1,5");
  EXPECT_EQ(h.SizeToKB(1048576), "1024");
}

// --- Comparison

TTWListRow Row(std::string Caption, std::vector<std::string> Sub, bool Checked = false) {
  return TTWListRow{std::move(Caption), std::move(Sub), Checked};
}

struct CompareCase {
  TTWListRow A;
  TTWListRow B;
  int Column;
  int Kind;
  bool Descending;
  int Expected;
};

TEST_F(HelperTest, Compare_ItemsByColumnAndKind) {
  TTWHelper h;
  h.SetDecimalSeparator(".");
  const CompareCase cases[] = {
      // Text: strcmp-like difference of the first differing bytes, unsigned.
      {Row("b", {}), Row("a", {}), 0, TW_COLUMN_TEXT, false, 1},
      {Row("a", {}), Row("c", {}), 0, TW_COLUMN_TEXT, false, -2},
      {Row("a", {}), Row("a", {}), 0, TW_COLUMN_TEXT, false, 0},
      {Row("B", {}), Row("a", {}), 0, TW_COLUMN_TEXT, false, 'B' - 'a'},  // case counts
      {Row("ab", {}), Row("a", {}), 0, TW_COLUMN_TEXT, false, 'b'},
      {Row("\xc3\xa9", {}), Row("z", {}), 0, TW_COLUMN_TEXT, false, 0xc3 - 'z'},
      {Row("b", {}), Row("a", {}), 0, TW_COLUMN_TEXT, true, -1},
      // Sub-items by column; a missing one is empty text.
      {Row("x", {"File", "C:\\b"}), Row("y", {"File", "C:\\a"}), 2, TW_COLUMN_TEXT, false, 1},
      {Row("x", {"File"}), Row("y", {"File", "C:\\a"}), 2, TW_COLUMN_TEXT, false, -'C'},
      {Row("x", {}), Row("y", {}), 5, TW_COLUMN_TEXT, false, 0},
      // Numbers: 1, 0 or -1; a text that does not convert is 0.
      {Row("", {"10"}), Row("", {"9.5"}), 1, TW_COLUMN_NUMBER, false, 1},
      {Row("", {"1.5"}), Row("", {""}), 1, TW_COLUMN_NUMBER, false, 1},
      {Row("", {""}), Row("", {"1.5"}), 1, TW_COLUMN_NUMBER, false, -1},
      {Row("", {"0.12"}), Row("", {"0.120"}), 1, TW_COLUMN_NUMBER, false, 0},
      {Row("", {"-3145728"}), Row("", {"0"}), 1, TW_COLUMN_NUMBER, false, -1},
      {Row("", {"abc"}), Row("", {"0"}), 1, TW_COLUMN_NUMBER, false, 0},
      {Row("", {"1.5"}), Row("", {"2"}), 1, TW_COLUMN_NUMBER, true, 1},
      // Check state: ticked rows first when ascending.
      {Row("", {}, false), Row("", {}, true), 0, TW_COLUMN_CHECKED, false, 1},
      {Row("", {}, true), Row("", {}, false), 0, TW_COLUMN_CHECKED, false, -1},
      {Row("", {}, true), Row("", {}, true), 0, TW_COLUMN_CHECKED, false, 0},
      {Row("", {}, false), Row("", {}, true), 0, TW_COLUMN_CHECKED, true, -1},
  };
  for (const CompareCase& c : cases) {
    EXPECT_EQ(h.CompareItems(c.A, c.B, c.Column, c.Kind, c.Descending), c.Expected)
        << "'" << c.A.Caption << "' col " << c.Column << " kind " << c.Kind;
  }
}

TEST_F(HelperTest, Compare_NumbersFollowTheLocaleSeparator) {
  TTWHelper h;
  h.SetDecimalSeparator(",");
  EXPECT_EQ(h.CompareNumbers("1,5", "1,25"), 1);
  EXPECT_EQ(h.CompareNumbers("1,5", "1.75"), 1);  // "1.75" is no number here: 0
  EXPECT_EQ(h.CompareNumbers(" 2 ", "+2"), 0);
  h.SetDecimalSeparator(".");
  // Texts that a number parser might take but that would break a sort order count as 0.
  for (const char* odd : {"nan", "inf", "-inf", "1e999", "+-1", "+", "-", "1.5x", "0x10"})
    EXPECT_EQ(h.CompareNumbers(odd, "0"), 0) << odd;
  EXPECT_EQ(h.CompareNumbers("1e3", "999"), 1);
}

TEST_F(HelperTest, Compare_SortsFoundFileRowsConsistently) {
  TTWHelper h;
  h.SetDecimalSeparator(".");
  std::vector<TTWListRow> rows = {
      Row("", {"File", "C:\\b", "", "nan"}, false), Row("", {"File", "C:\\a", "", "1.5"}, true),
      Row("", {"File", "C:\\c", "", "0.12"}, false), Row("", {"File", "C:\\d", "", "1024"}, true)};
  std::sort(rows.begin(), rows.end(), [&](const TTWListRow& a, const TTWListRow& b) {
    return h.CompareItems(a, b, 4, TW_COLUMN_NUMBER, true) < 0;
  });
  std::vector<std::string> order;
  for (const auto& r : rows) order.push_back(r.SubItems[1]);
  EXPECT_EQ(order, (std::vector<std::string>{"C:\\d", "C:\\a", "C:\\c", "C:\\b"}));
}

// --- Shell services and scroll width

class ShellPlatform : public TTWNullPlatform {
 public:
  std::string GetDriveDisplayName(char Letter) override {
    return std::string("Data (") + Letter + ":)";
  }
  bool ShowProperties(const std::string& Path) override {
    Shown.push_back(Path);
    return true;
  }
  std::vector<std::string> Shown;
};

TEST(HelperShell, GoesThroughThePlatform) {
  ShellPlatform p;
  ScopedPlatform scoped(p);
  EXPECT_TRUE(TTWHelper::ShowProperties("C:\\Temp\\a.tmp"));
  EXPECT_EQ(p.Shown, std::vector<std::string>{"C:\\Temp\\a.tmp"});
  EXPECT_EQ(TTWHelper::GetDriveDisplayName('D'), "Data (D:)");
}

TEST_F(HelperTest, ScrollWidth_GrowsOnlyForWiderText) {
  struct {
    int Text, Current, Expected;
  } cases[] = {
      {100, 0, 110},
      {100, 89, 110},
      {100, 90, 90},
      {100, 200, 200},
      {0, 0, 0},
      {5, -20, 15},
      {2147483647, 0, 2147483647},
      {-2147483647 - 1, 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TTWHelper::GetScrollWidth(c.Text, c.Current), c.Expected)
        << c.Text << " " << c.Current;
}

// --- Mask arrays

TEST_F(HelperTest, Masks_CompileMatchAndFree) {
  TTWArrayMasks masks;
  EXPECT_FALSE(TTWHelper::MatchesAny(masks, "anything"));
  TTWHelper::CreateMasks(masks, {"*.bak", "*"});
  ASSERT_EQ(masks.size(), 2u);
  for (const char* name : {"a.bak", "", "x", "file.txt"})
    EXPECT_TRUE(TTWHelper::MatchesAny(masks, name)) << name;
  TTWHelper::CreateMasks(masks, {"*.bak", "Thumbs.db"});
  EXPECT_TRUE(TTWHelper::MatchesAny(masks, "THUMBS.DB"));
  EXPECT_FALSE(TTWHelper::MatchesAny(masks, "file.txt"));
  TTWHelper::FreeMasks(masks);
  EXPECT_TRUE(masks.empty());
  EXPECT_FALSE(TTWHelper::MatchesAny(masks, "a.bak"));
}

TEST_F(HelperTest, Masks_MalformedTextLeavesTheArrayEmpty) {
  TTWArrayMasks masks;
  TTWHelper::CreateMasks(masks, {"*.old"});
  try {
    TTWHelper::CreateMasks(masks, {"*.tmp", "*.bak", "[]x", "*.log"});
    FAIL();
  } catch (const EMaskException& e) {
    EXPECT_STREQ(e.what(), "'[]x' is an invalid mask at (2)");
  }
  EXPECT_TRUE(masks.empty());
  EXPECT_FALSE(TTWHelper::MatchesAny(masks, "a.tmp"));
}

// --- Command line

struct CommandLineCase {
  std::vector<std::string> Args;
  std::string Path;
  bool AutoRun;
};

TEST_F(HelperTest, CommandLine_Switches) {
  const std::string byDefault = "/opt/tidewell/system.dat";
  const CommandLineCase cases[] = {
      {{}, byDefault, false},
      {{"/f", "C:\\cfg\\new.dat"}, "C:\\cfg\\new.dat", false},
      {{"/f", "rel.dat"}, "rel.dat", false},  // not made absolute
      {{"/f"}, byDefault, false},
      {{"/f", "a.dat", "/f", "b.dat"}, "b.dat", false},
      {{"/f", "a.dat", "/f"}, byDefault, false},  // a trailing "/f" empties the path
      {{"/f", "/autorun"}, "/autorun", false},
      {{"/f", ""}, byDefault, false},
      {{"/autorun"}, byDefault, true},
      {{"/autorun", "/autorun"}, byDefault, true},
      {{"/autorun", "/f", "x.dat"}, "x.dat", true},
      {{"/f", "x.dat", "/autorun"}, "x.dat", true},
      {{"/f", "/f"}, "/f", false},
  };
  for (const CommandLineCase& c : cases) {
    const TTWCommandLine r = TTWHelper::ParseCommandLine(c.Args);
    EXPECT_EQ(r.ConfigPath, c.Path) << testing::PrintToString(c.Args);
    EXPECT_EQ(r.AutoRun, c.AutoRun) << testing::PrintToString(c.Args);
  }
}

TEST_F(HelperTest, CommandLine_RejectsAnythingElseNamingIt) {
  const std::vector<std::vector<std::string>> cases = {
      {"/F", "x.dat"}, {"/AUTORUN"}, {"/autorun", "extra"}, {"-f", "x"}, {""}, {"/autorun "}};
  for (const auto& args : cases) {
    const std::string bad = args.size() > 1 && args[0] == "/autorun" ? args[1] : args[0];
    try {
      TTWHelper::ParseCommandLine(args);
      ADD_FAILURE() << "accepted " << testing::PrintToString(args);
    } catch (const ECommandLineError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Unknown argument \"" + bad + "\". Accepted: /f FILE, /autorun");
    }
  }
}

}  // namespace

// --- Where the settings file lives without "/f"

class InstallPlatform : public TTWNullPlatform {
 public:
  std::string GetProgramFileName() override { return Program; }
  char HostPathDelimiter() override { return Delimiter; }
  bool CanWriteFolder(const std::string& Folder) override {
    Asked.push_back(Folder);
    return Writable;
  }
  std::string GetUserConfigFolder() override { return UserFolder; }
  std::string Program = "/usr/lib/tidewell/tidewell";
  char Delimiter = '/';
  bool Writable = true;
  std::string UserFolder = "/home/u/.config";
  std::vector<std::string> Asked;
};

TEST(HelperSettingsLocation, BesideAWritableProgramElseInTheUserFolder) {
  struct TCase {
    const char* What;
    std::vector<std::string> Args;
    bool Writable;
    const char* UserFolder;
    const char* Path;
    bool InUserFolder;
  };
  const TCase cases[] = {
      {"portable copy", {}, true, "/home/u/.config", "/usr/lib/tidewell/system.dat", false},
      {"installed copy", {}, false, "/home/u/.config", "/home/u/.config/tidewell/system.dat", true},
      {"installed, with /autorun", {"/autorun"}, false, "/x", "/x/tidewell/system.dat", true},
      {"config folder at the root", {}, false, "/", "/tidewell/system.dat", true},
      {"no user folder at all", {}, false, "", "/usr/lib/tidewell/system.dat", false},
      {"/f wins over a read-only folder", {"/f", "my.dat"}, false, "/x", "my.dat", false},
      {"/f wins over a writable folder", {"/f", "/etc/t.dat"}, true, "/x", "/etc/t.dat", false},
      {"a trailing /f is no path", {"/f"}, false, "/x", "/x/tidewell/system.dat", true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    InstallPlatform p;
    ScopedPlatform scoped(p);
    p.Writable = c.Writable;
    p.UserFolder = c.UserFolder;
    const TTWCommandLine r = TTWHelper::ParseCommandLine(c.Args);
    EXPECT_EQ(r.ConfigPath, c.Path);
    EXPECT_EQ(r.ConfigInUserFolder, c.InUserFolder);
    // The program's folder is probed only when no file is named.
    const bool named = std::string(c.Path).find("system.dat") == std::string::npos;
    EXPECT_EQ(p.Asked,
              named ? std::vector<std::string>{} : std::vector<std::string>{"/usr/lib/tidewell/"});
  }
}

TEST(HelperSettingsLocation, WindowsNamesItsFolderItsOwnWay) {
  InstallPlatform p;
  ScopedPlatform scoped(p);
  p.Delimiter = '\\';
  p.Program = "C:\\Program Files\\Tidewell\\tidewell.exe";
  p.UserFolder = "C:\\Users\\u\\AppData\\Roaming";
  p.Writable = false;
  const TTWConfigLocation in = GetDefaultConfigLocation();
  EXPECT_EQ(in.FileName, "C:\\Users\\u\\AppData\\Roaming\\Tidewell\\system.dat");
  EXPECT_TRUE(in.InUserFolder);
  EXPECT_EQ(p.Asked, std::vector<std::string>{"C:\\Program Files\\Tidewell\\"});
  p.Writable = true;
  EXPECT_EQ(GetDefaultConfigLocation().FileName, "C:\\Program Files\\Tidewell\\system.dat");
}
