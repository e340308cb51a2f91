#include <gtest/gtest.h>

#include <algorithm>

#include "search/find_fixture.h"

namespace {

using TTexts = std::vector<std::string>;

TTexts Sorted(TTexts V) {
  std::sort(V.begin(), V.end());
  return V;
}

const std::string kRoaming = "C:\\users\\tester\\AppData\\Roaming";
const std::string kLocal = "C:\\users\\tester\\AppData\\Local";

class FindBrowsersTest : public FindFixture {
 protected:
  FindBrowsersTest() {
    Fs.SetSpecialFolder(CSIDL_APPDATA, kRoaming);
    Fs.SetSpecialFolder(CSIDL_LOCAL_APPDATA, kLocal);
    Fs.AddDir(kRoaming);
    Fs.AddDir(kLocal);
  }
  void Enable(TTWBool TTWRecordBrowsers::*Setting, TTWBool TTWInstalledBrowsers::*Installed) {
    Cfg.Current.Browsers.*Setting = 1;
    Cfg.Installed.*Installed = 1;
  }
};

TEST_F(FindBrowsersTest, InternetExplorerFoldersAsWholeTrees) {
  Enable(&TTWRecordBrowsers::InternetExplorer, &TTWInstalledBrowsers::InternetExplorer);
  Fs.SetSpecialFolder(CSIDL_COOKIES, "C:\\ie\\cookies");
  Fs.SetSpecialFolder(CSIDL_INTERNET_CACHE, "C:\\ie\\cache");
  Fs.SetSpecialFolder(CSIDL_HISTORY, "C:\\IE\\HISTORY");  // the long form fixes the case
  Fs.AddFile("C:\\ie\\Cookies\\a.txt");
  Fs.AddFile("C:\\ie\\Cache\\X1\\b.htm");
  Fs.AddFile("C:\\ie\\History\\h.dat");
  Run();
  EXPECT_EQ(Paths(1), (TTexts{"C:\\ie\\Cookies\\a.txt"}));
  EXPECT_EQ(Paths(2), (TTexts{"C:\\ie\\Cache\\X1", "C:\\ie\\Cache\\X1\\b.htm"}));
  EXPECT_EQ(Paths(3), (TTexts{"C:\\ie\\History\\h.dat"}));
}

TEST_F(FindBrowsersTest, NothingWithoutTheInstalledFlagOrSetting) {
  Cfg.Current.Browsers = {1, 1, 1, 1, 1, {1, 1, 1}};
  Cfg.Installed = TTWInstalledBrowsers{};
  Fs.SetSpecialFolder(CSIDL_COOKIES, "C:\\ie\\cookies");
  Fs.AddFile("C:\\ie\\cookies\\a.txt");
  Fs.AddFile(kLocal + "\\Google\\Chrome\\User Data\\Default\\Cookies");
  Run();
  EXPECT_TRUE(Paths().empty());
  Cfg.Current.Browsers = TTWRecordBrowsers{};
  Cfg.Installed = {1, 1, 1, 1, 1};
  Run();
  EXPECT_TRUE(Paths().empty());
}

TEST_F(FindBrowsersTest, FirefoxProfilesRelativeAndAbsoluteUpToTheFirstGap) {
  Enable(&TTWRecordBrowsers::Firefox, &TTWInstalledBrowsers::Firefox);
  Cfg.Current.Drives.Entries = {{1, 'C'}, {1, 'D'}};
  const std::string ini = kRoaming + "\\Mozilla\\Firefox\\profiles.ini";
  Fs.SetIniValue(ini, "Profile0", "Path", "Profiles/abc.default");
  Fs.SetIniValue(ini, "Profile0", "IsRelative", "1");
  Fs.SetIniValue(ini, "Profile1", "Path", "D:/ff/prof");
  Fs.SetIniValue(ini, "Profile1", "IsRelative", "0x0");
  Fs.SetIniValue(ini, "Profile3", "Path", "Profiles/after.gap");
  const std::string rel = kRoaming + "\\Mozilla\\Firefox\\Profiles\\abc.default";
  const std::string relLocal = kLocal + "\\Mozilla\\Firefox\\Profiles\\abc.default";
  Fs.AddFile(rel + "\\cookies.sqlite");
  Fs.AddFile(rel + "\\places.sqlite");
  Fs.AddFile(rel + "\\Cache\\roaming-cache-not-taken");
  Fs.AddFile(relLocal + "\\Cache\\c1");
  Fs.AddFile(relLocal + "\\OfflineCache\\o1");
  Fs.AddFile("D:\\ff\\prof\\cookies.txt");
  Fs.AddFile("D:\\ff\\prof\\formhistory.sqlite");
  Fs.AddFile("D:\\ff\\prof\\Cache\\c2");
  Fs.AddFile(kRoaming + "\\Mozilla\\Firefox\\Profiles\\after.gap\\cookies.sqlite");
  Run();
  EXPECT_EQ(Sorted(Paths(4)),
            Sorted(TTexts{rel + "\\cookies.sqlite", "D:\\ff\\prof\\cookies.txt"}));
  EXPECT_EQ(Sorted(Paths(5)),
            Sorted(TTexts{relLocal + "\\Cache\\c1", relLocal + "\\OfflineCache\\o1",
                          "D:\\ff\\prof\\Cache\\c2"}));
  EXPECT_EQ(Sorted(Paths(6)),
            Sorted(TTexts{rel + "\\places.sqlite", "D:\\ff\\prof\\formhistory.sqlite"}));

  // The absolute profile is taken only when its drive is ticked.
  Cfg.Current.Drives.Entries = {{1, 'C'}, {0, 'D'}};
  Run();
  for (const std::string& p : Paths()) EXPECT_NE(p[0], 'D') << p;
}

TEST_F(FindBrowsersTest, FirefoxProfilePathsThatClimbOutAreRefused) {
  Enable(&TTWRecordBrowsers::Firefox, &TTWInstalledBrowsers::Firefox);
  const std::string ini = kRoaming + "\\Mozilla\\Firefox\\profiles.ini";
  Fs.SetIniValue(ini, "Profile0", "Path", "../../../../../../Windows");
  Fs.SetIniValue(ini, "Profile1", "Path", "Profiles/ok");
  Fs.AddFile("C:\\Windows\\cookies.txt");
  Fs.AddFile(kRoaming + "\\Mozilla\\Firefox\\Profiles\\ok\\cookies.txt");
  Run();
  EXPECT_EQ(Paths(), (TTexts{kRoaming + "\\Mozilla\\Firefox\\Profiles\\ok\\cookies.txt"}));
}

TEST_F(FindBrowsersTest, OperaBothLayoutsSafariAndChrome) {
  Enable(&TTWRecordBrowsers::Opera, &TTWInstalledBrowsers::Opera);
  Enable(&TTWRecordBrowsers::Safari, &TTWInstalledBrowsers::Safari);
  Enable(&TTWRecordBrowsers::Chrome, &TTWInstalledBrowsers::Chrome);
  const std::string opera = kRoaming + "\\Opera\\Opera";
  const std::string operaLocal = kLocal + "\\Opera\\Opera";
  Fs.AddFile(opera + "\\cookies4.dat");
  Fs.AddFile(opera + "\\global_history.dat");
  Fs.AddFile(opera + "\\profile\\cookies4.dat");
  Fs.AddFile(opera + "\\profile\\global.dat");
  Fs.AddFile(operaLocal + "\\cache4\\o1");
  Fs.AddFile(operaLocal + "\\profile\\cache\\o2");
  const std::string safari = kRoaming + "\\Apple Computer\\Safari";
  Fs.AddFile(safari + "\\Cookies\\Cookies.plist");
  Fs.AddFile(safari + "\\History.plist");
  Fs.AddFile(kLocal + "\\Apple Computer\\Safari\\Cache.db");
  const std::string chrome = kLocal + "\\Google\\Chrome\\User Data\\Default";
  Fs.AddFile(chrome + "\\Cookies");
  Fs.AddFile(chrome + "\\History");
  Fs.AddFile(chrome + "\\History Index 2010-01");
  Fs.AddDir(chrome + "\\History Provider Cache");  // a folder, not taken
  Fs.AddFile(chrome + "\\Bookmarks");
  Fs.AddFile(chrome + "\\Cache\\data_0");
  Run();
  EXPECT_EQ(Sorted(Paths(7)),
            Sorted(TTexts{opera + "\\cookies4.dat", opera + "\\profile\\cookies4.dat"}));
  EXPECT_EQ(Sorted(Paths(8)),
            Sorted(TTexts{operaLocal + "\\cache4\\o1", operaLocal + "\\profile\\cache\\o2"}));
  EXPECT_EQ(Sorted(Paths(9)),
            Sorted(TTexts{opera + "\\global_history.dat", opera + "\\profile\\global.dat"}));
  EXPECT_EQ(Paths(10), (TTexts{safari + "\\Cookies\\Cookies.plist"}));
  EXPECT_EQ(Paths(11), (TTexts{kLocal + "\\Apple Computer\\Safari\\Cache.db"}));
  EXPECT_EQ(Paths(12), (TTexts{safari + "\\History.plist"}));
  EXPECT_EQ(Paths(13), (TTexts{chrome + "\\Cookies"}));
  EXPECT_EQ(Paths(14), (TTexts{chrome + "\\Cache\\data_0"}));
  EXPECT_EQ(Sorted(Paths(15)),
            Sorted(TTexts{chrome + "\\History", chrome + "\\History Index 2010-01"}));
}

TEST_F(FindBrowsersTest, CacheExceptionAndCacheOptionStopEveryCache) {
  Enable(&TTWRecordBrowsers::Firefox, &TTWInstalledBrowsers::Firefox);
  Enable(&TTWRecordBrowsers::Opera, &TTWInstalledBrowsers::Opera);
  Enable(&TTWRecordBrowsers::Chrome, &TTWInstalledBrowsers::Chrome);
  const std::string ini = kRoaming + "\\Mozilla\\Firefox\\profiles.ini";
  Fs.SetIniValue(ini, "Profile0", "Path", "p");
  Fs.AddFile(kLocal + "\\Mozilla\\Firefox\\p\\Cache\\c");
  Fs.AddFile(kRoaming + "\\Mozilla\\Firefox\\p\\cookies.txt");
  Fs.AddFile(kLocal + "\\Opera\\Opera\\cache\\c");
  Fs.AddFile(kLocal + "\\Google\\Chrome\\User Data\\Default\\Cache\\c");
  Fs.AddFile(kLocal + "\\Google\\Chrome\\User Data\\Default\\History");
  for (int variant = 0; variant < 2; ++variant) {
    Cfg.Current.Exceptions.DirectoryMasks = {variant == 0 ? "cache" : "nothing"};
    Cfg.Current.Browsers.Options.Cache = variant == 0 ? 1 : 0;
    Run();
    EXPECT_TRUE(Paths(5).empty() && Paths(8).empty() && Paths(14).empty()) << variant;
    EXPECT_EQ(Paths(4).size(), 1u);
    EXPECT_EQ(Paths(15).size(), 1u);
  }
}

class FindSystemTest : public FindFixture {
 protected:
  void Only(TTWBool TTWRecordAdditionalOptions::*Option) {
    Cfg.Current.AdditionalOptions.*Option = 1;
  }
};

TEST_F(FindSystemTest, TemporaryFoldersWalkedOnceWhenTheyAreTheSame) {
  Only(&TTWRecordAdditionalOptions::TemporaryDirectory);
  Fs.AddFile("C:\\windows\\Temp\\w.tmp");
  Fs.AddFile("C:\\users\\tester\\Temp\\u.tmp");
  Fs.TempPath = "C:\\WINDOWS\\TEMP\\";  // the long form makes it equal to the Windows one
  Run();
  EXPECT_EQ(Paths(16), (TTexts{"C:\\windows\\Temp\\w.tmp"}));
  Fs.TempPath = "C:\\users\\tester\\Temp\\";
  Run();
  EXPECT_EQ(Paths(16), (TTexts{"C:\\users\\tester\\Temp\\u.tmp", "C:\\windows\\Temp\\w.tmp"}));
}

TEST_F(FindSystemTest, RecentDocumentsAndSystemLog) {
  Only(&TTWRecordAdditionalOptions::RecentDocuments);
  Only(&TTWRecordAdditionalOptions::SystemLog);
  Fs.SetSpecialFolder(CSIDL_RECENT, "C:\\users\\tester\\Recent");
  Fs.AddFile("C:\\users\\tester\\Recent\\a.lnk");
  Fs.AddFile("C:\\windows\\system32\\WBEM\\Logs\\wmi.log");
  Run();
  EXPECT_EQ(Paths(17), (TTexts{"C:\\users\\tester\\Recent\\a.lnk"}));
  EXPECT_EQ(Paths(20), (TTexts{"C:\\windows\\system32\\WBEM\\Logs\\wmi.log"}));
  // With the Windows drive unticked the log is not taken.
  Cfg.Current.Drives.Entries = {{0, 'C'}};
  Run();
  EXPECT_TRUE(Paths().empty());
}

TEST_F(FindSystemTest, RecycleBinFolders) {
  Only(&TTWRecordAdditionalOptions::RecycleBin);
  Cfg.Current.Drives.Entries = {{1, 'C'}, {1, 'D'}, {1, 'E'}};
  Fs.SetDrive('E', DRIVE_REMOVABLE);
  Fs.AddFile("C:\\Recycled\\INFO2");
  Fs.AddFile("C:\\Recycled\\Dc1.txt");
  Fs.AddFile("D:\\Recycled\\Dc2.txt");  // no INFO2: not a recycle folder
  Fs.AddFile("C:\\Recycler\\S-1-5-21-1-2-3-1000\\Dc3.txt");
  Fs.AddFile("C:\\Recycler\\S-1-5-18\\Dc4.txt");
  Fs.AddFile("D:\\$Recycle.Bin\\S-1-5-21-11-22-33-1001\\$R1.txt");
  Fs.AddLink("D:\\$Recycle.Bin\\S-1-5-21-9-9-9-9", true);
  Fs.AddFile("D:\\$Recycle.Bin\\S-1-5-21-9-9-9-9\\outside.txt");
  Fs.AddFile("E:\\Recycled\\INFO2");
  Fs.AddFile("E:\\Recycled\\De.txt");
  Run();
  EXPECT_EQ(Sorted(Paths(18)),
            Sorted(TTexts{"C:\\Recycled\\Dc1.txt", "C:\\Recycler\\S-1-5-21-1-2-3-1000\\Dc3.txt",
                          "D:\\$Recycle.Bin\\S-1-5-21-11-22-33-1001\\$R1.txt"}));
  // Moving to the Recycle Bin and emptying it in one run is never done.
  Cfg.Current.DeleteFiles.DeleteMethod = 1;
  Run();
  EXPECT_TRUE(Paths().empty());
}

TEST_F(FindSystemTest, OldUpdateFiles) {
  Only(&TTWRecordAdditionalOptions::OldUpdateFiles);
  Fs.AddFile("C:\\windows\\$NtUninstallKB123456$\\spuninst.exe", 9);
  Fs.AddFile("C:\\windows\\$hf_mig$\\KB1\\x.dll");
  Fs.AddFile("C:\\windows\\$file$", 1);
  Fs.AddLink("C:\\windows\\$link$", true);
  Fs.AddFile("C:\\windows\\$link$\\outside.txt");
  Fs.AddFile("C:\\windows\\SoftwareDistribution\\Download\\abc\\u.cab");
  Run();
  EXPECT_EQ(Paths(19), (TTexts{"C:\\windows\\$NtUninstallKB123456$",
                               "C:\\windows\\$NtUninstallKB123456$\\spuninst.exe",
                               "C:\\windows\\SoftwareDistribution\\Download\\abc",
                               "C:\\windows\\SoftwareDistribution\\Download\\abc\\u.cab"}));
  EXPECT_EQ(Entry("C:\\windows\\$NtUninstallKB123456$")->Kind, TW_KIND_DIRECTORY);
}

TEST_F(FindSystemTest, NoTickedDriveFindsNothingAnywhere) {
  Cfg.Current.AdditionalOptions = {1, 1, 1, 1, 1, 1};
  Cfg.Current.FileSearchMasks = {"*"};
  Cfg.Current.Browsers = {1, 1, 1, 1, 1, {1, 1, 1}};
  Cfg.Installed = {1, 1, 1, 1, 1};
  Cfg.Current.Drives.Entries = {{0, 'C'}, {0, 'D'}};
  Fs.SetSpecialFolder(CSIDL_APPDATA, kRoaming);
  Fs.SetSpecialFolder(CSIDL_LOCAL_APPDATA, kLocal);
  Fs.SetSpecialFolder(CSIDL_COOKIES, "C:\\ie\\cookies");
  Fs.SetSpecialFolder(CSIDL_RECENT, "C:\\users\\tester\\Recent");
  Fs.AddFile("C:\\ie\\cookies\\a.txt");
  Fs.AddFile("C:\\users\\tester\\Recent\\a.lnk");
  Fs.AddFile("C:\\windows\\Temp\\t.tmp");
  Fs.AddFile("C:\\Recycled\\INFO2");
  Fs.AddFile("C:\\Recycled\\x");
  Fs.AddFile(kLocal + "\\Google\\Chrome\\User Data\\Default\\Cookies");
  Run();
  EXPECT_TRUE(Paths().empty());
}

}  // namespace
