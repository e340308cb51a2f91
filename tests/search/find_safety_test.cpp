// What the finder refuses to collect whole, on the in-memory file system: folders named
// by settings that any program in the system can write.
#include <gtest/gtest.h>

#include <new>

#include "search/find_fixture.h"

namespace {

using TTexts = std::vector<std::string>;

constexpr uint8_t kTemp = 16, kRecent = 17, kIECache = 2, kFirefoxCookies = 4;

struct TUnsafeCase {
  const char* Name;
  int Csidl;         // the special folder to point elsewhere; 0 for the temporary folder
  const char* Path;  // where the system says it is
  TTWSkipReason Reason;
  const char* Profile = "C:\\users\\tester";
  const char* Windows = "C:\\windows";
};

std::string Upper(std::string S) {
  for (char& c : S)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return S;
}

class FindSafetyTest : public FindFixture, public ::testing::WithParamInterface<TUnsafeCase> {
 protected:
  FindSafetyTest() {
    Cfg.Current.Drives.Entries = {{1, 'C'}, {1, 'Y'}};
    Fs.SetDrive('Y', DRIVE_FIXED);
    Fs.OutsideDrives = "Y";
    Fs.TempPath = "C:\\users\\tester\\Temp\\";
    Fs.SetSpecialFolder(CSIDL_RECENT, "C:\\users\\tester\\Recent");
    Fs.SetSpecialFolder(CSIDL_INTERNET_CACHE, "C:\\users\\tester\\INetCache");
    // Something in every folder a bad location could name.
    for (const char* f :
         {"C:\\top.txt", "C:\\windows\\win.ini", "C:\\windows\\Temp\\w.tmp", "C:\\users\\u.txt",
          "C:\\users\\tester\\p.txt", "C:\\users\\tester\\Temp\\t.tmp",
          "C:\\users\\tester\\Recent\\r.lnk", "C:\\users\\tester\\INetCache\\c.dat",
          "C:\\home\\users\\tester\\h.txt", "C:\\sys\\windows\\Temp\\w.tmp", "Y:\\home\\y.txt"})
      Fs.AddFile(f);
    Fs.AddMount("C:\\users\\tester\\Mounted");
    Fs.AddFile("C:\\users\\tester\\Mounted\\m.txt");
    Fs.AddDir("C:\\users\\tester\\Below");
    Fs.AddMount("C:\\users\\tester\\Below\\Mnt");
    Fs.AddFile("C:\\users\\tester\\Below\\Mnt\\Temp\\bm.txt");
    Fs.AddLink("C:\\users\\tester\\TempLink", true);
    Fs.AddFile("C:\\users\\tester\\TempLink\\l.txt");
  }
};

TEST_P(FindSafetyTest, UnsafeLocationIsSkippedWithItsReason) {
  const TUnsafeCase& c = GetParam();
  TTWRecordAdditionalOptions& a = Cfg.Current.AdditionalOptions;
  a.TemporaryDirectory = a.RecentDocuments = 1;
  Cfg.Current.Browsers.InternetExplorer = Cfg.Installed.InternetExplorer = 1;
  Cfg.Current.Browsers.Options = {0, 1, 0};
  Fs.SetSpecialFolder(CSIDL_PROFILE, c.Profile);
  Fs.WindowsDir = c.Windows;
  uint8_t group = kTemp;
  if (c.Csidl == 0) {
    Fs.TempPath = c.Path;
  } else {
    Fs.SetSpecialFolder(c.Csidl, c.Path);
    group = c.Csidl == CSIDL_RECENT ? kRecent : kIECache;
  }
  Run();
  ASSERT_EQ(Skipped.size(), 1u);
  EXPECT_EQ(Skipped[0].Group, group);
  EXPECT_EQ(Upper(Skipped[0].Path), Upper(c.Path));  // in its on-disk spelling
  EXPECT_EQ(SkipReasonId(Skipped[0].Reason), std::string(SkipReasonId(c.Reason)));
  // The other locations are still collected; nothing comes from the refused one.
  const TTexts all = Paths();
  for (const std::string& p : all) {
    const bool expected = p == std::string(c.Windows) + "\\Temp\\w.tmp" ||
                          (group != kTemp && p == "C:\\users\\tester\\Temp\\t.tmp") ||
                          (group != kRecent && p == "C:\\users\\tester\\Recent\\r.lnk") ||
                          (group != kIECache && p == "C:\\users\\tester\\INetCache\\c.dat");
    EXPECT_TRUE(expected) << p;
  }
  EXPECT_EQ(all.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Locations, FindSafetyTest,
    ::testing::Values(
        TUnsafeCase{"TempDriveRoot", 0, "C:\\", TTWSkipReason::DriveRoot},
        TUnsafeCase{"TempProfile", 0, "C:\\users\\tester\\", TTWSkipReason::ProfileFolder},
        TUnsafeCase{"TempProfileOtherCase", 0, "C:\\USERS\\Tester\\", TTWSkipReason::ProfileFolder},
        TUnsafeCase{"TempProfiles", 0, "C:\\users\\", TTWSkipReason::ProfilesFolder},
        TUnsafeCase{"TempWindows", 0, "C:\\windows\\", TTWSkipReason::WindowsFolder},
        TUnsafeCase{"TempRelative", 0, "Temp\\", TTWSkipReason::NotFullPath},
        TUnsafeCase{"TempLink", 0, "C:\\users\\tester\\TempLink\\",
                    TTWSkipReason::LinkOrMountPoint},
        TUnsafeCase{"TempMountPoint", 0, "C:\\users\\tester\\Mounted\\",
                    TTWSkipReason::LinkOrMountPoint},
        TUnsafeCase{"TempBehindMountPoint", 0, "C:\\users\\tester\\Below\\Mnt\\Temp\\",
                    TTWSkipReason::LinkOrMountPoint},
        TUnsafeCase{"RecentOutsideDrive", CSIDL_RECENT, "Y:\\home", TTWSkipReason::OutsideSystem},
        TUnsafeCase{"RecentHoldsProfiles", CSIDL_RECENT, "C:\\home",
                    TTWSkipReason::HoldsProfilesFolder, "C:\\home\\users\\tester"},
        TUnsafeCase{"RecentHoldsProfile", CSIDL_RECENT, "C:\\home\\users",
                    TTWSkipReason::ProfilesFolder, "C:\\home\\users\\tester"},
        TUnsafeCase{"CacheHoldsWindows", CSIDL_INTERNET_CACHE, "C:\\sys",
                    TTWSkipReason::HoldsWindowsFolder, "C:\\users\\tester", "C:\\sys\\windows"},
        TUnsafeCase{"CacheProfile", CSIDL_INTERNET_CACHE, "C:\\users\\tester",
                    TTWSkipReason::ProfileFolder}),
    [](const ::testing::TestParamInfo<TUnsafeCase>& I) { return std::string(I.param.Name); });

TEST_F(FindFixture, NormalLocationsAreAllCollectedWithoutSkips) {
  TTWRecordAdditionalOptions& a = Cfg.Current.AdditionalOptions;
  a.TemporaryDirectory = a.RecentDocuments = a.SystemLog = a.OldUpdateFiles = 1;
  Fs.SetSpecialFolder(CSIDL_PROFILE, "C:\\users\\tester");
  Fs.SetSpecialFolder(CSIDL_RECENT, "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Recent");
  Fs.TempPath = "C:\\users\\tester\\Temp\\";
  Fs.AddFile("C:\\users\\tester\\Temp\\t.tmp");
  Fs.AddFile("C:\\windows\\Temp\\w.tmp");
  Fs.AddFile("C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Recent\\r.lnk");
  Fs.AddFile("C:\\windows\\system32\\WBEM\\Logs\\l.log");
  Fs.AddFile("C:\\windows\\SoftwareDistribution\\Download\\d.cab");
  Run();
  EXPECT_EQ(Paths().size(), 5u);
  EXPECT_TRUE(Skipped.empty());
}

// A temporary folder spelled in another case than the Windows one is the same folder.
TEST_F(FindFixture, TemporaryFolderInAnotherCaseIsWalkedOnce) {
  Cfg.Current.AdditionalOptions.TemporaryDirectory = 1;
  Fs.AddFile("C:\\windows\\temp\\w.tmp");
  Fs.TempPath = "C:\\windows\\temp\\";
  Run();
  EXPECT_EQ(Paths(16), (TTexts{"C:\\windows\\temp\\w.tmp"}));
}

// Running out of memory in one step is said, and the search goes on with the next.
TEST_F(FindFixture, OutOfMemoryInOneStepIsRecordedAndTheSearchGoesOn) {
  struct TStarved : TTWFakeFsPlatform {
    std::string GetTempPath() override { throw std::bad_alloc(); }
  } starved;
  ScopedPlatform scope(starved);
  starved.SetDrive('C', DRIVE_FIXED);
  starved.SetSpecialFolder(CSIDL_RECENT, "C:\\users\\tester\\Recent");
  starved.AddFile("C:\\users\\tester\\Recent\\r.lnk");
  TTWRecordAdditionalOptions& a = Cfg.Current.AdditionalOptions;
  a.TemporaryDirectory = a.RecentDocuments = 1;
  Run();
  EXPECT_EQ(Paths(), (TTexts{"C:\\users\\tester\\Recent\\r.lnk"}));
  ASSERT_EQ(Skipped.size(), 1u);
  EXPECT_EQ(Skipped[0].Group, kTemp);
  EXPECT_EQ(Skipped[0].Reason, TTWSkipReason::OutOfMemory);
}

// profiles.ini is read once, whatever its size, and only so many profiles are taken.
TEST_F(FindFixture, FirefoxProfilesAreReadFromOneOpenFileAndBounded) {
  const std::string roaming = "C:\\users\\tester\\AppData\\Roaming";
  Fs.SetSpecialFolder(CSIDL_APPDATA, roaming);
  Fs.SetSpecialFolder(CSIDL_LOCAL_APPDATA, "C:\\users\\tester\\AppData\\Local");
  Cfg.Current.Browsers.Firefox = Cfg.Installed.Firefox = 1;
  Cfg.Current.Browsers.Options = {1, 0, 0};
  const std::string ini = roaming + "\\Mozilla\\Firefox\\profiles.ini";
  for (int i = 0; i <= 1200; ++i) {
    const std::string name = "p" + std::to_string(i);
    Fs.SetIniValue(ini, "Profile" + std::to_string(i), "Path", name);
    if (i == 0 || i == 999 || i == 1000 || i == 1200)
      Fs.AddFile(roaming + "\\Mozilla\\Firefox\\" + name + "\\cookies.sqlite");
  }
  Fs.AddDir(roaming + "\\Mozilla\\Firefox");
  Run();
  EXPECT_EQ(Fs.IniOpens, 1);
  EXPECT_EQ(Fs.IniReads, 0);
  EXPECT_EQ(Paths(kFirefoxCookies), (TTexts{roaming + "\\Mozilla\\Firefox\\p0\\cookies.sqlite",
                                            roaming + "\\Mozilla\\Firefox\\p999\\cookies.sqlite"}));
}

}  // namespace
