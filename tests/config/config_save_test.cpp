#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "config/tw_config.h"
#include "config_compare.h"
#include "config_platform.h"

namespace {

const char* const kDefaultFile[] = {
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
    "<TDW Version=\"1.0.0\" Language=\"de_DE\">",
    "  <FileSearchMasks>",
    "    <FileMask>*.---</FileMask>",
    "    <FileMask>*.$$$</FileMask>",
    "    <FileMask>*.??~</FileMask>",
    "    <FileMask>*.?~?</FileMask>",
    "    <FileMask>*._mp</FileMask>",
    "    <FileMask>*.~*</FileMask>",
    "    <FileMask>*.001</FileMask>",
    "    <FileMask>*.002</FileMask>",
    "    <FileMask>*.alt</FileMask>",
    "    <FileMask>*.bak</FileMask>",
    "    <FileMask>*.cb</FileMask>",
    "    <FileMask>*.cln</FileMask>",
    "    <FileMask>*.cor</FileMask>",
    "    <FileMask>*.cpy</FileMask>",
    "    <FileMask>*.dmp</FileMask>",
    "    <FileMask>*.err</FileMask>",
    "    <FileMask>*.fix</FileMask>",
    "    <FileMask>*.fts</FileMask>",
    "    <FileMask>*.gid</FileMask>",
    "    <FileMask>*.nav</FileMask>",
    "    <FileMask>*.old</FileMask>",
    "    <FileMask>*.prv</FileMask>",
    "    <FileMask>*.qdk</FileMask>",
    "    <FileMask>*.sc0</FileMask>",
    "    <FileMask>*.sik</FileMask>",
    "    <FileMask>*.syd</FileMask>",
    "    <FileMask>*.tmp</FileMask>",
    "    <FileMask>*.ubk</FileMask>",
    "    <FileMask>*.umb</FileMask>",
    "    <FileMask>*.ump</FileMask>",
    "    <FileMask>*~.*</FileMask>",
    "    <FileMask>~*.*</FileMask>",
    "    <FileMask>0???????.nch</FileMask>",
    "    <FileMask>bootlog.txt</FileMask>",
    "    <FileMask>chkdsk.chk</FileMask>",
    "    <FileMask>Deleted Items.dbx</FileMask>",
    "    <FileMask>drwtsn32.log</FileMask>",
    "    <FileMask>file*.chk</FileMask>",
    "    <FileMask>modem.log</FileMask>",
    "    <FileMask>mscreate.dir</FileMask>",
    "    <FileMask>scandisk.log</FileMask>",
    "    <FileMask>swapfile.*</FileMask>",
    "    <FileMask>Thumbs.db</FileMask>",
    "  </FileSearchMasks>",
    "  <Exceptions>",
    "    <FileMask>AUTOEXEC.BAT</FileMask>",
    "    <FileMask>boot.ini</FileMask>",
    "    <FileMask>CONFIG.SYS</FileMask>",
    "    <FileMask>DATA.BAK</FileMask>",
    "    <FileMask>Data.sav</FileMask>",
    "    <FileMask>EDB.chk</FileMask>",
    "    <FileMask>INFO2</FileMask>",
    "    <FileMask>INSTAL.log</FileMask>",
    "    <FileMask>INSTALL.log</FileMask>",
    "    <FileMask>IO.SYS</FileMask>",
    "    <FileMask>MSDOS.SYS</FileMask>",
    "    <FileMask>MSFORMS.exd</FileMask>",
    "    <FileMask>NTGRDT.log</FileMask>",
    "    <FileMask>OPA??.bak</FileMask>",
    "    <FileMask>REFEDIT.EXD</FileMask>",
    "    <FileMask>Script.bak</FileMask>",
    "    <FileMask>SETUP LOG File.log</FileMask>",
    "    <FileMask>System.bak</FileMask>",
    "    <FileMask>System.old</FileMask>",
    "    <FileMask>UNINSTAL.log</FileMask>",
    "    <FileMask>UNINSTALL.log</FileMask>",
    "    <FileMask>UNPATCH.bak</FileMask>",
    "    <FileMask>User.old</FileMask>",
    "    <FileMask>WBEMESS.log</FileMask>",
    "    <FileMask>Win.bak</FileMask>",
    "    <FileMask>Win.old</FileMask>",
    "    <FileMask>WNCCDCTL.log</FileMask>",
    "    <DirectoryMask>$hf_mig$</DirectoryMask>",
    "    <DirectoryMask>winsxs</DirectoryMask>",
    "  </Exceptions>",
    "  <DeleteFiles ConformationDialog=\"1\"/>",
    "  <Browsers InternetExplorer=\"1\" Firefox=\"0\" Opera=\"0\" Safari=\"0\" Chrome=\"1\">",
    "    <Options Cookies=\"1\" Cache=\"1\" History=\"1\"/>",
    "  </Browsers>",
    ("  <AdditionalOptions FileSearchMasks=\"1\" TemporaryDirectory=\"1\" RecentDocuments=\"1\" "
     "RecycleBin=\"1\" OldUpdateFiles=\"1\" SystemLog=\"1\"/>"),
    "  <Drives>",
    "    <Drive>C</Drive>",
    "  </Drives>",
    "</TDW>",
};

// Splits at CR LF; every line, the last included, must end with one.
std::vector<std::string> Lines(const std::string& Text, bool& AllCrLf) {
  std::vector<std::string> out;
  AllCrLf = true;
  size_t pos = 0;
  while (pos < Text.size()) {
    size_t lf = Text.find('\n', pos);
    if (lf == std::string::npos) {
      AllCrLf = false;
      out.push_back(Text.substr(pos));
      break;
    }
    if (lf == pos || Text[lf - 1] != '\r') AllCrLf = false;
    out.push_back(Text.substr(pos, lf - pos - (lf > pos && Text[lf - 1] == '\r' ? 1 : 0)));
    pos = lf + 1;
  }
  return out;
}

class ConfigSave : public ::testing::Test {
 protected:
  ConfigSave() {
    P.RegisterChrome();
    P.Drives['E'] = DRIVE_FIXED;
  }
  std::string Saved(TTWConfig& C) {
    C.Save();
    return P.Files[kConfigFile];
  }
  TConfigPlatform P;
  TConfigMachine M{P, "de_DE"};
};

TEST_F(ConfigSave, DefaultsGiveTheKnownFileLineByLine) {
  TTWConfig config(kConfigFile);
  std::string text = Saved(config);
  bool crlf = false;
  std::vector<std::string> lines = Lines(text, crlf);
  EXPECT_TRUE(crlf) << "every line must end with CR LF";
  const size_t expected = sizeof kDefaultFile / sizeof kDefaultFile[0];
  ASSERT_EQ(lines.size(), expected);
  for (size_t i = 0; i < expected; ++i) EXPECT_EQ(lines[i], kDefaultFile[i]) << "line " << i + 1;
  EXPECT_NE(text[0], '\xEF') << "no byte order mark";
  EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST_F(ConfigSave, DeleteMethodChoosesTheAttributes) {
  const struct {
    uint8_t Method;
    const char* Line;
  } cases[] = {
      {0, "  <DeleteFiles ConformationDialog=\"1\"/>"},
      {1, "  <DeleteFiles MoveToRecycleBin=\"1\" ConformationDialog=\"1\"/>"},
      {2, "  <DeleteFiles Shred=\"1\" ConformationDialog=\"1\"/>"},
      {7, "  <DeleteFiles ConformationDialog=\"1\"/>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.Method));
    TTWConfig config(kConfigFile);
    config.Current.DeleteFiles.DeleteMethod = c.Method;
    bool crlf = false;
    std::vector<std::string> lines = Lines(Saved(config), crlf);
    ASSERT_GT(lines.size(), 78u);
    EXPECT_EQ(lines[78], c.Line);
  }
}

TEST_F(ConfigSave, FlagsAreWrittenAsTheirByteAndEmptyElementsShrink) {
  TTWConfig config(kConfigFile);
  TTWRecordConfig& c = config.Current;
  c.FileSearchMasks.clear();
  c.Exceptions.FileMasks.clear();
  c.Exceptions.DirectoryMasks = {"tmp"};
  c.DeleteFiles.ConformationDialog = 0;
  c.Browsers.Opera = 2;
  c.Browsers.Options.Cache = 255;
  c.AdditionalOptions.RecycleBin = 0;
  for (TTWDriveEntry& e : c.Drives.Entries) e.Selected = 0;
  bool crlf = false;
  std::vector<std::string> lines = Lines(Saved(config), crlf);
  const std::vector<std::string> expected = {
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
      "<TDW Version=\"1.0.0\" Language=\"de_DE\">",
      "  <FileSearchMasks/>",
      "  <Exceptions>",
      "    <DirectoryMask>tmp</DirectoryMask>",
      "  </Exceptions>",
      "  <DeleteFiles ConformationDialog=\"0\"/>",
      "  <Browsers InternetExplorer=\"1\" Firefox=\"0\" Opera=\"2\" Safari=\"0\" Chrome=\"1\">",
      "    <Options Cookies=\"1\" Cache=\"255\" History=\"1\"/>",
      "  </Browsers>",
      "  <AdditionalOptions FileSearchMasks=\"1\" TemporaryDirectory=\"1\" RecentDocuments=\"1\" "
      "RecycleBin=\"0\" OldUpdateFiles=\"1\" SystemLog=\"1\"/>",
      "  <Drives/>",
      "</TDW>",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(crlf);
}

TEST_F(ConfigSave, MarkupCharactersAreEscapedAndReadBack) {
  TTWConfig config(kConfigFile);
  config.Current.FileSearchMasks = {"a&b<c>d'e\"f"};
  config.Current.Language = "x\"&<y";
  std::string text = Saved(config);
  EXPECT_NE(text.find("    <FileMask>a&amp;b&lt;c>d'e\"f</FileMask>\r\n"), std::string::npos);
  EXPECT_NE(text.find("<TDW Version=\"1.0.0\" Language=\"x&quot;&amp;&lt;y\">"), std::string::npos);

  TTWConfig again(kConfigFile);
  again.Load();
  EXPECT_EQ(again.Current.FileSearchMasks, (TStringList{"a&b<c>d'e\"f"}));
  EXPECT_EQ(again.Current.Language, "x\"&<y");
}

TEST_F(ConfigSave, AFailedWriteKeepsThePreviousFile) {
  P.Files[kConfigFile] = "previous";
  P.FailReplace = true;
  TTWConfig config(kConfigFile);
  config.Save();
  EXPECT_EQ(P.Replaces, 1);
  EXPECT_EQ(P.Files[kConfigFile], "previous");
}

// The default file in the user's settings folder has its folder made just before it is
// written; a file named otherwise never does.
TEST_F(ConfigSave, OnlyAFileThatAsksHasItsFolderMade) {
  TTWConfig named(kConfigFile);
  named.Save();
  EXPECT_TRUE(P.FoldersMade.empty());
  const std::string inUser = "/home/u/.config/tidewell/system.dat";
  TTWConfig config(inUser, true);
  config.Save();
  EXPECT_EQ(P.FoldersMade,
            (std::vector<std::pair<std::string, int>>{{"/home/u/.config/tidewell", 1}}));
  EXPECT_EQ(P.Replaces, 2);
  EXPECT_EQ(P.Files[inUser], P.Files[kConfigFile]);
}

// The writer's text ends at a NUL; such a setting must not cut the file short.
TEST_F(ConfigSave, ANulInASettingNeverWritesAShortenedFile) {
  P.Files[kConfigFile] = "previous";
  TTWConfig config(kConfigFile);
  config.Current.FileSearchMasks.insert(config.Current.FileSearchMasks.begin() + 1,
                                        std::string("a\0b", 3));
  config.Save();
  const std::string& text = P.Files[kConfigFile];
  bool kept = text == "previous";
  bool whole = text.size() > 8 && text.compare(text.size() - 8, 8, "</TDW>\r\n") == 0;
  EXPECT_TRUE(kept || whole) << text;
}

// --- On a real folder, through the host's file services.

class THostFilesPlatform : public TConfigPlatform {
 public:
  THostFilesPlatform() : Host(CreateHostPlatform()) {}
  bool ReadWholeFile(const std::string& Path, std::string& Data) override {
    return Host->ReadWholeFile(Path, Data);
  }
  bool ReplaceFile(const std::string& Path, const std::string& Data) override {
    return Host->ReplaceFile(Path, Data);
  }
  std::unique_ptr<TTWPlatform> Host;
};

class ConfigSaveOnDisk : public ::testing::Test {
 protected:
  ConfigSaveOnDisk() {
    // A folder of its own, made with create_directory alone so that it builds anywhere.
    std::random_device rd;
    for (int i = 0; i < 100 && Dir.empty(); ++i) {
      std::filesystem::path p =
          std::filesystem::temp_directory_path() / ("tw_config_" + std::to_string(rd()));
      std::error_code ec;
      if (std::filesystem::create_directory(p, ec)) Dir = p.string();
    }
  }
  ~ConfigSaveOnDisk() override {
    std::error_code ec;
    if (!Dir.empty()) std::filesystem::remove_all(Dir, ec);
  }
  std::vector<std::string> Entries() {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(Dir))
      out.push_back(e.path().filename().string());
    return out;
  }
  THostFilesPlatform P;
  TConfigMachine M{P, "de_DE"};
  std::string Dir;
};

TEST_F(ConfigSaveOnDisk, SaveReplacesTheFileAndLeavesNothingElse) {
  ASSERT_FALSE(Dir.empty());
  std::string path = Dir + "/system.dat";
  {
    std::ofstream old(path, std::ios::binary);
    old << "old content that is longer than nothing";
  }
  TTWConfig config(path);
  config.Current.FileSearchMasks = {"*.one", "*.two"};
  config.Current.DeleteFiles.DeleteMethod = 2;
  config.Save();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"system.dat"}));

  TTWConfig again(path);
  again.Load();
  EXPECT_EQ(RecordDifference(again.Current, config.Current), "");
}

TEST_F(ConfigSaveOnDisk, AnUnwritableTargetKeepsWhatIsThere) {
  ASSERT_FALSE(Dir.empty());
  // The target is a folder with content: it cannot be replaced by a file.
  std::string path = Dir + "/system.dat";
  std::filesystem::create_directory(path);
  { std::ofstream(path + "/keep") << "x"; }
  TTWConfig config(path);
  config.Save();
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_TRUE(std::filesystem::exists(path + "/keep"));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"system.dat"}));

  // And a missing folder: nothing is created, nothing is reported.
  TTWConfig nowhere(Dir + "/missing/system.dat");
  nowhere.Save();
  EXPECT_FALSE(std::filesystem::exists(Dir + "/missing"));
}

}  // namespace
