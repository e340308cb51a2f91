#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/UtilFuncs.h"
#include "app/globals.h"
#include "app/tw_ini_text.h"
#include "platform/tw_platform.h"

namespace {

namespace fs = std::filesystem;

// The stored form: every line inverted, the lines joined with Sep.
std::string Store(const std::vector<std::string>& Lines, const std::string& Sep = "\r\n") {
  std::string Out;
  for (size_t I = 0; I < Lines.size(); ++I) {
    if (I) Out += Sep;
    Out += InvertText(Lines[I]);
  }
  return Out;
}

struct TBrandingCase {
  const char* Name;
  std::string Stored;
  std::string Version;
  std::string SkinName;
  std::string HomePage;
};

std::string Plain(const std::vector<std::string>& Lines, const std::string& Sep = "\r\n") {
  std::string Out;
  for (size_t I = 0; I < Lines.size(); ++I) Out += (I ? Sep : "") + Lines[I];
  return Out;
}

const std::string kSkin = TW_DEFAULT_SKIN_NAME;

std::vector<TBrandingCase> Cases() {
  return {
      {"HeaderAndOneKey", Store({"[SYSTEM]", "Version=2.5"}), "2.5", kSkin, ""},
      {"OtherLetterCase", Store({"[system]", "vErSiOn=1", "SKINNAME=Dusk"}), "1", "Dusk", ""},
      {"BlanksDropped", Store({"  [ SYSTEM ]  ", " \t Version \t=  3.0 beta \t"}), "3.0 beta",
       kSkin, ""},
      {"KeyBeforeFirstSection", Store({"Version=0.9", "[SYSTEM]", "SkinName=A"}), "", "A", ""},
      {"NoLineBreaksIsOneLine", InvertText("[SYSTEM]Version=1"), "", kSkin, ""},
      {"NotInverted", Plain({"[SYSTEM]", "Version=1", "HelpHomePageLink=x"}), "", kSkin, ""},
      {"CrAloneAndLfAlone",
       Store({"[SYSTEM]", "Version=4"}, "\r") + "\n" + InvertText("SkinName=B"), "4", "B", ""},
      {"FirstOccurrenceCounts", Store({"[SYSTEM]", "Version=1", "version=2"}), "1", kSkin, ""},
      {"SectionNamedTwiceIsOne",
       Store({"[SYSTEM]", "Version=1", "[Other]", "Version=9", "[SYSTEM]", "SkinName=C"}), "1", "C",
       ""},
      {"CommentsAndEmptyLines",
       Store({"", "; Version=0", "[SYSTEM]", ";Version=0", "", "Version=5"}), "5", kSkin, ""},
      {"ValuesAsTheyStand", Store({"[SYSTEM]", "Version=\"6\"", "HelpHomePageLink=a=b;c"}), "\"6\"",
       kSkin, "a=b;c"},
      {"OtherSectionOnly", Store({"[OTHER]", "Version=1"}), "", kSkin, ""},
      {"EmptyFile", "", "", kSkin, ""},
      {"NulEndsTheText",
       Store({"[SYSTEM]", "Version=1"}) + std::string(1, '\0') + "\r\n" +
           InvertText("SkinName=After"),
       "1", kSkin, ""},
      {"LineBeyondBoundSkipped",
       Store({"[SYSTEM]", "HelpHomePageLink=" + std::string(TW_MAX_INI_LINE, 'x'), "Version=7"}),
       "7", kSkin, ""},
      {"BracketAlone", Store({"[", "Version=1", "]", "[SYSTEM", "Version=2"}), "", kSkin, ""},
      {"EmptyKeyName", Store({"[SYSTEM]", "=x", "Version="}), "", kSkin, ""},
      {"BinaryNoise", std::string("\xff\xfe\x80\x01\r\r\n\n\x7f[]=\x9f", 13), "", kSkin, ""},
  };
}

class BrandingParse : public ::testing::TestWithParam<TBrandingCase> {};

TEST_P(BrandingParse, Values) {
  const TBrandingCase& C = GetParam();
  TGlobalVars V = ParseBrandingText(C.Stored);
  EXPECT_EQ(V.Version, C.Version);
  EXPECT_EQ(V.SkinName, C.SkinName);
  EXPECT_EQ(V.HelpHomePageLink, C.HomePage);
  EXPECT_EQ(V.Copyright, "");
  EXPECT_EQ(V.HelpSupportLink, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, BrandingParse, ::testing::ValuesIn(Cases()),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(Branding, ReadsAllNineKeys) {
  TGlobalVars V = ParseBrandingText(Store({
      "[SYSTEM]",
      "Version=1.2",
      "Copyright=Holder",
      "SkinName=Night",
      "HelpContectLink=c",
      "HelpHowTosTutorialVideosLink=h",
      "HelpHomePageLink=p",
      "HelpMoreFreeToolsLink=m",
      "HelpCheckForUpdatesLink=u",
      "HelpSupportLink=mailto:s@example.org",
  }));
  EXPECT_EQ(V.Version, "1.2");
  EXPECT_EQ(V.Copyright, "Holder");
  EXPECT_EQ(V.SkinName, "Night");
  EXPECT_EQ(V.HelpContectLink, "c");
  EXPECT_EQ(V.HelpHowTosTutorialVideosLink, "h");
  EXPECT_EQ(V.HelpHomePageLink, "p");
  EXPECT_EQ(V.HelpMoreFreeToolsLink, "m");
  EXPECT_EQ(V.HelpCheckForUpdatesLink, "u");
  EXPECT_EQ(V.HelpSupportLink, "mailto:s@example.org");
}

TEST(Branding, FormatTextTakesAnyTemplate) {
  EXPECT_EQ(FormatText("Copyright %d %s", {"2030", "Me"}), "Copyright 2030 Me");
  EXPECT_EQ(FormatText("%s %s", {"Tidewell", ""}), "Tidewell ");
  // Hostile templates: no argument is read that was not given, nothing else interpreted.
  EXPECT_EQ(FormatText("%s %s %s %n %x %%", {"a"}), "a %s %s %n %x %");
  EXPECT_EQ(FormatText("100%", {"a"}), "100%");
  EXPECT_EQ(OpenErrorText("/p/lamecore.dll", "No such file or directory"),
            "Cannot open file \"/p/lamecore.dll\". No such file or directory");
}

// The stored files of a deployer: read through the host platform as the program does.
class BrandingFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() /
          ("tw_branding_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    File = (Dir / "lamecore.dll").string();
  }
  void TearDown() override { fs::remove_all(Dir); }
  void Write(const std::string& Data) {
    std::ofstream(File, std::ios::binary | std::ios::trunc) << Data;
  }
  fs::path Dir;
  std::string File;
};

TEST_F(BrandingFile, ReadsTheStoredFile) {
  Write(Store({"[SYSTEM]", "Version=9.9", "Copyright=X"}));
  TGlobalVars V;
  std::string Why;
  ASSERT_TRUE(ReadBrandingFile(File, V, Why)) << Why;
  EXPECT_EQ(V.Version, "9.9");
  EXPECT_EQ(V.Copyright, "X");
}

TEST_F(BrandingFile, OurShippedFileParses) {
  // The file that the build places next to the programs, made from data/branding.ini.
  const char* Src = std::getenv("TW_SOURCE_DIR");
  if (!Src) GTEST_SKIP() << "TW_SOURCE_DIR not set";
  std::ifstream In(fs::path(Src) / "data" / "branding.ini", std::ios::binary);
  ASSERT_TRUE(In);
  std::vector<std::string> Lines;
  for (std::string L; std::getline(In, L);) Lines.push_back(L);
  TGlobalVars V = ParseBrandingText(Store(Lines));
  EXPECT_EQ(V.Version, "@PROJECT_VERSION@");  // filled in by the build
  EXPECT_EQ(V.SkinName, kSkin);
  EXPECT_FALSE(V.HelpHomePageLink.empty());
  EXPECT_FALSE(V.HelpSupportLink.empty());
  EXPECT_FALSE(V.Copyright.empty());
}

TEST_F(BrandingFile, TheBuiltFileBesideTheProgramIsOurs) {
  // The build's tool stored data/branding.ini beside the test programs as lamecore.dll.
  const std::string Built = GetBrandingFileName();
  if (!fs::exists(Built)) GTEST_SKIP() << Built << " not built";
  TGlobalVars V;
  std::string Why;
  ASSERT_TRUE(ReadBrandingFile(Built, V, Why)) << Why;
  EXPECT_FALSE(V.Version.empty());
  EXPECT_EQ(V.Version.find('@'), std::string::npos);  // the version was filled in
  EXPECT_EQ(V.SkinName, kSkin);
  EXPECT_EQ(V.HelpHomePageLink.rfind("https://", 0), 0u);
  EXPECT_FALSE(V.HelpSupportLink.empty());
}

TEST_F(BrandingFile, UnreadableFilesGiveTheReasonAndTheDefaults) {
  struct TCase {
    const char* Name;
    std::function<void(const std::string&)> Make;
  };
  const TCase HostileCases[] = {
      {"missing", [](const std::string&) {}},
      {"folder", [](const std::string& P) { fs::create_directory(P); }},
      {"fifo", [](const std::string& P) { ASSERT_EQ(mkfifo(P.c_str(), 0600), 0); }},
      {"huge",
       [](const std::string& P) {
         std::ofstream(P, std::ios::binary) << Store({"[SYSTEM]", "Version=1"});
         fs::resize_file(P, 512u * 1024 * 1024);  // sparse: costs no disk
       }},
      {"one byte too many",
       [](const std::string& P) {
         std::ofstream(P, std::ios::binary) << std::string(TW_MAX_BRANDING_FILE + 1, 'a');
       }},
  };
  for (const TCase& C : HostileCases) {
    SCOPED_TRACE(C.Name);
    fs::remove_all(File);
    C.Make(File);
    TGlobalVars V;
    V.Version = "stale";
    std::string Why;
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadBrandingFile(File, V, Why));
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));  // no hang
    EXPECT_FALSE(Why.empty());
    EXPECT_EQ(V.Version, "");
    EXPECT_EQ(V.SkinName, kSkin);
  }
}

TEST_F(BrandingFile, FileAtTheBoundIsRead) {
  std::string Data = Store({"[SYSTEM]", "Version=1", ""});
  Data += std::string(TW_MAX_BRANDING_FILE - Data.size(), InvertText(" ")[0]);
  Write(Data);
  TGlobalVars V;
  std::string Why;
  ASSERT_TRUE(ReadBrandingFile(File, V, Why)) << Why;
  EXPECT_EQ(V.Version, "1");
}

TEST(Branding, FileNameIsNextToTheProgram) {
  const std::string Name = GetBrandingFileName();
  const std::string Exe = Platform().GetProgramFileName();
  EXPECT_EQ(Name, Exe.substr(0, Exe.find_last_of('/') + 1) + "lamecore.dll");
}

}  // namespace
