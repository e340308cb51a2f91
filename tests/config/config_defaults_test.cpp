#include <gtest/gtest.h>

#include <map>
#include <string>

#include "config/tw_config.h"
#include "config_compare.h"
#include "config_platform.h"

namespace {

std::string Letters(const TTWRecordConfig& R) {
  std::string out;
  for (const TTWDriveEntry& e : R.Drives.Entries) out += e.Letter;
  return out;
}

struct DriveCase {
  const char* Name;
  std::map<char, uint32_t> Types;
  std::string WindowsDir;
  std::string Listed;    // letters with an entry
  std::string Selected;  // letters ticked by default
};

TEST(ConfigDefaults, DrivesListOnlyQualifyingLettersAndTickTheWindowsDrive) {
  const DriveCase cases[] = {
      {"mixed machine",
       {{'A', DRIVE_REMOVABLE},
        {'C', DRIVE_FIXED},
        {'D', DRIVE_CDROM},
        {'E', DRIVE_RAMDISK},
        {'F', DRIVE_UNKNOWN},
        {'N', DRIVE_REMOTE},
        {'Z', DRIVE_FIXED}},
       "C:\\windows",
       "ACNZ",
       "C"},
      {"Windows on a second fixed drive",
       {{'C', DRIVE_FIXED}, {'E', DRIVE_FIXED}},
       "E:\\WINNT",
       "CE",
       "E"},
      {"Windows on a CD-ROM letter",
       {{'C', DRIVE_FIXED}, {'D', DRIVE_CDROM}},
       "D:\\windows",
       "C",
       ""},
      {"Windows on a RAM disk letter",
       {{'C', DRIVE_FIXED}, {'R', DRIVE_RAMDISK}},
       "R:\\windows",
       "C",
       ""},
      {"no Windows directory", {{'C', DRIVE_FIXED}}, "", "C", ""},
      {"no drive at all", {}, "C:\\windows", "", ""},
  };
  for (const DriveCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TConfigPlatform p;
    p.Drives = c.Types;
    p.WindowsDir = c.WindowsDir;
    TConfigMachine m(p);
    TTWConfig config(kConfigFile);
    EXPECT_EQ(Letters(config.Defaults), c.Listed);
    EXPECT_EQ(SelectedDrives(config.Defaults), c.Selected);
    EXPECT_EQ(Letters(config.Current), c.Listed);
    EXPECT_EQ(SelectedDrives(config.Current), c.Selected);
  }
}

TEST(ConfigDefaults, CurrentStartsEqualToDefaults) {
  TConfigPlatform p;
  p.RegisterChrome();
  TConfigMachine m(p, "de_DE");
  TTWConfig config(kConfigFile);
  EXPECT_EQ(config.FileName, kConfigFile);
  EXPECT_EQ(RecordDifference(config.Current, config.Defaults), "");
  EXPECT_EQ(p.Reads, 0) << "creating the settings must not read the file";

  const TTWRecordConfig& d = config.Defaults;
  EXPECT_EQ(d.Language, "de_DE");
  ASSERT_EQ(d.FileSearchMasks.size(), 43u);
  EXPECT_EQ(d.FileSearchMasks.front(), "*.---");
  EXPECT_EQ(d.FileSearchMasks.back(), "Thumbs.db");
  ASSERT_EQ(d.Exceptions.FileMasks.size(), 27u);
  EXPECT_EQ(d.Exceptions.FileMasks.front(), "AUTOEXEC.BAT");
  EXPECT_EQ(d.Exceptions.FileMasks.back(), "WNCCDCTL.log");
  EXPECT_EQ(d.Exceptions.DirectoryMasks, (TStringList{"$hf_mig$", "winsxs"}));
  EXPECT_EQ(d.DeleteFiles.DeleteMethod, 0);
  EXPECT_EQ(d.DeleteFiles.ConformationDialog, 1);
}

TEST(ConfigDefaults, LanguageIsTheOneInEffect) {
  TConfigPlatform p;
  p.Env["LANG"] = "nl_BE.UTF-8";
  TConfigMachine m(p);
  ResetTranslationLayer();  // nothing chosen yet: the environment decides
  TTWConfig detected(kConfigFile);
  EXPECT_EQ(detected.Defaults.Language, "nl_BE");
  UseLanguage("ja");
  TTWConfig chosen(kConfigFile);
  EXPECT_EQ(chosen.Defaults.Language, "ja");
  EXPECT_EQ(chosen.Current.Language, "ja");
}

TEST(ConfigDefaults, BrowserFlagsFollowDetection) {
  TConfigPlatform p;
  p.RegisterFirefox();
  TConfigMachine m(p);
  TTWConfig config(kConfigFile);

  EXPECT_EQ(config.Installed.InternetExplorer, 1);
  EXPECT_EQ(config.Installed.Firefox, 1);
  EXPECT_EQ(config.Installed.Opera, 0);
  EXPECT_EQ(config.Installed.Safari, 0);
  EXPECT_EQ(config.Installed.Chrome, 0);
  for (const TTWRecordConfig* r : {&config.Defaults, &config.Current}) {
    EXPECT_EQ(r->Browsers.InternetExplorer, 1);
    EXPECT_EQ(r->Browsers.Firefox, 1);
    EXPECT_EQ(r->Browsers.Opera, 0);
    EXPECT_EQ(r->Browsers.Safari, 0);
    EXPECT_EQ(r->Browsers.Chrome, 0);
  }
}

TEST(ConfigDefaults, CurrentAndDefaultsAreIndependent) {
  TConfigPlatform p;
  p.Drives['E'] = DRIVE_FIXED;
  TConfigMachine m(p);
  TTWConfig config(kConfigFile);

  config.Current.FileSearchMasks.clear();
  config.Current.Exceptions.FileMasks.push_back("extra");
  config.Current.Exceptions.DirectoryMasks.clear();
  config.Current.Drives.Entries[1].Selected = 1;
  config.Current.Language = "fr";

  EXPECT_EQ(config.Defaults.FileSearchMasks.size(), 43u);
  EXPECT_EQ(config.Defaults.Exceptions.FileMasks.size(), 27u);
  EXPECT_EQ(config.Defaults.Exceptions.DirectoryMasks.size(), 2u);
  EXPECT_EQ(SelectedDrives(config.Defaults), "C");
  EXPECT_EQ(config.Defaults.Language, "de_DE");
}

TEST(ConfigDefaults, FillDefaultsRestoresAChangedRecord) {
  TConfigPlatform p;
  TConfigMachine m(p);
  TTWConfig config(kConfigFile);

  TTWRecordConfig r;
  r.FileSearchMasks = {"x"};
  r.DeleteFiles.DeleteMethod = 2;
  r.AdditionalOptions.SystemLog = 0;
  r.Language = "tr";
  config.FillDefaults(r);
  EXPECT_EQ(RecordDifference(r, config.Defaults), "");
}

// The main window keeps pointers to the drive entries; reading the file must only change
// their flags.
TEST(ConfigDefaults, DriveEntriesStayInPlaceWhenTheFileIsRead) {
  TConfigPlatform p;
  p.Drives['E'] = DRIVE_FIXED;
  TConfigMachine m(p);
  p.Files[kConfigFile] = "<TDW><Drives><Drive>E</Drive></Drives></TDW>";
  TTWConfig config(kConfigFile);
  const TTWDriveEntry* first = &config.Current.Drives.Entries[0];
  const TTWDriveEntry* second = &config.Current.Drives.Entries[1];
  config.Load();
  ASSERT_EQ(config.Current.Drives.Entries.size(), 2u);
  EXPECT_EQ(&config.Current.Drives.Entries[0], first);
  EXPECT_EQ(&config.Current.Drives.Entries[1], second);
  EXPECT_EQ(first->Selected, 0);
  EXPECT_EQ(second->Selected, 1);
}

}  // namespace
