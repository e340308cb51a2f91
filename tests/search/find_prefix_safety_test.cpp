// Locations named by a sample prefix's registry and profiles.ini that must not be
// collected whole, through the host platform.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "config/tw_config.h"
#include "delete/tw_thread_delete.h"
#include "platform/tw_messages.h"
#include "search/tw_files.h"
#include "search/tw_thread_find.h"
#include "support/null_platform.h"
#include "support/sample_prefix.h"

namespace {

using TTexts = std::vector<std::string>;

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

class PrefixSafetyTest : public ::testing::Test {
 protected:
  PrefixSafetyTest() {
    TTWRecordConfig& c = Cfg.Current;
    c.FileSearchMasks.clear();
    c.Exceptions.FileMasks.clear();
    c.Exceptions.DirectoryMasks.clear();
    c.DeleteFiles.ConformationDialog = 0;
    c.Browsers = TTWRecordBrowsers{};
    c.AdditionalOptions = {0, 1, 1, 0, 0, 0};  // temporary folders, recent documents
    c.Drives.Entries = {{1, 'C'}, {1, 'Y'}};
    // A drive that leads outside the prefix, as z: -> / does in a real one.
    Prefix.AddDrive('y', Prefix.Root() + "/ydrive");
    std::filesystem::create_directories(Prefix.Root() + "/ydrive/home/Cache");
    std::ofstream(Prefix.Root() + "/ydrive/home/y.tmp") << "y";
    std::ofstream(Prefix.Root() + "/ydrive/home/Cache/yc.tmp") << "y";
    Prefix.AddFile("C:\\top.tmp");
    Prefix.AddFile("C:\\windows\\temp\\w.tmp");
    Prefix.AddFile("C:\\windows\\win.tmp");
    Prefix.AddFile("C:\\users\\u.tmp");
    Prefix.AddFile("C:\\users\\tester\\p.tmp");
    Prefix.AddFile("C:\\users\\tester\\Temp\\t.tmp");
    Prefix.AddFile("C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Recent\\r.lnk");
  }
  ~PrefixSafetyTest() override { Scope.reset(); }

  void Find() {
    if (!Host) {
      Host = CreateHostPlatform();
      Scope = std::make_unique<ScopedPlatform>(*Host);
    }
    List = std::make_unique<TTWFileList>(Cfg.Current);
    bool finished = false;
    TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam) -> TTWLResult {
      if (Msg == WM_FINDFINISHED) finished = true;
      return 0;
    });
    TTWThreadFind find(List.get(), Cfg, &receiver);
    find.Resume();
    receiver.RunUntil([&] { return finished; });
    Skipped = find.Skipped();
  }
  void DeleteAll() {
    bool finished = false;
    TTWMessageReceiver receiver([&](uint32_t Msg, TTWWParam, TTWLParam) -> TTWLResult {
      if (Msg == WM_DELETEFINISHED) finished = true;
      return 0;
    });
    TTWThreadDelete del(List.get(), Cfg, &receiver);
    del.Resume();
    receiver.RunUntil([&] { return finished; });
  }
  TTexts Paths(int Group = -1) const {
    TTexts out;
    for (int i = 0; i < List->Count(); ++i)
      if (Group < 0 || List->Items(i).Group == Group) out.push_back(List->Items(i).Path);
    std::sort(out.begin(), out.end());
    return out;
  }
  // Rewrites a registry file without the lines that start with one of Names.
  void DropValues(const std::string& File, const TTexts& Names) {
    const std::string host = Prefix.Prefix() + "/" + File;
    std::ifstream in(host);
    std::ostringstream out;
    for (std::string line; std::getline(in, line);) {
      bool drop = false;
      for (const std::string& n : Names) drop = drop || line.rfind(n, 0) == 0;
      if (!drop) out << line << "\n";
    }
    in.close();
    std::ofstream(host, std::ios::trunc) << out.str();
  }

  TSamplePrefix Prefix;
  std::unique_ptr<TTWPlatform> Host;
  std::unique_ptr<ScopedPlatform> Scope;
  TTWConfig Cfg{Prefix.Root() + "/system.dat"};
  std::unique_ptr<TTWFileList> List;
  std::vector<TTWSkippedLocation> Skipped;
};

TEST_F(PrefixSafetyTest, TheSamplePrefixIsCollectedWithoutSkips) {
  Find();
  EXPECT_EQ(Paths(),
            (TTexts{"C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Recent\\r.lnk",
                    "C:\\users\\tester\\Temp\\t.tmp", "C:\\windows\\Temp\\w.tmp"}));
  EXPECT_TRUE(Skipped.empty());
}

struct TRegistryCase {
  const char* Name;
  const char* Value;    // user.reg data for TMP (or, with Recent set, for that folder)
  bool Recent;          // the Recent folder instead of TMP
  const char* Skipped;  // the path reported
  TTWSkipReason Reason;
};

class PrefixRegistryTest : public PrefixSafetyTest,
                           public ::testing::WithParamInterface<TRegistryCase> {};

TEST_P(PrefixRegistryTest, ValueThatLeadsToTooMuchIsSkipped) {
  const TRegistryCase& c = GetParam();
  if (c.Recent)
    Prefix.AddUserValue(kShellFolders, "Recent", c.Value);
  else
    Prefix.AddUserValue("Environment", "TMP", c.Value);
  Find();
  const uint8_t group = c.Recent ? 17 : 16;
  ASSERT_EQ(Skipped.size(), 1u);
  EXPECT_EQ(Skipped[0].Group, group);
  EXPECT_EQ(Skipped[0].Path, c.Skipped);
  EXPECT_EQ(SkipReasonId(Skipped[0].Reason), std::string(SkipReasonId(c.Reason)));
  // Only the locations that were left alone are collected.
  TTexts want = {"C:\\windows\\Temp\\w.tmp"};
  if (group != 17)
    want.insert(want.begin(),
                "C:\\users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Recent\\r.lnk");
  if (group != 16) want.insert(want.end() - 1, "C:\\users\\tester\\Temp\\t.tmp");
  EXPECT_EQ(Paths(), want);
  EXPECT_TRUE(Prefix.OutsideIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Values, PrefixRegistryTest,
    ::testing::Values(
        TRegistryCase{"DriveRootByClimbing", "\"C:\\\\..\\\\..\"", false, "C:\\",
                      TTWSkipReason::DriveRoot},
        TRegistryCase{"Profile", "\"C:\\\\users\\\\tester\"", false, "C:\\users\\tester\\",
                      TTWSkipReason::ProfileFolder},
        TRegistryCase{"ProfilesFolder", "\"C:\\\\USERS\"", false, "C:\\users\\",
                      TTWSkipReason::ProfilesFolder},
        TRegistryCase{"WindowsFolder", "str(2):\"%SystemRoot%\"", false, "C:\\windows\\",
                      TTWSkipReason::WindowsFolder},
        TRegistryCase{"Relative", "\"Temp\"", false, "Temp\\", TTWSkipReason::NotFullPath},
        TRegistryCase{"OutsideDrive", "\"Y:\\\\home\"", false, "Y:\\home\\",
                      TTWSkipReason::OutsideSystem},
        TRegistryCase{"RecentDriveRoot", "\"C:\\\\\"", true, "C:\\", TTWSkipReason::DriveRoot},
        TRegistryCase{"RecentClimbing", "\"C:\\\\windows\\\\..\"", true, "C:\\",
                      TTWSkipReason::DriveRoot},
        TRegistryCase{"RecentProfile", "str(2):\"%USERPROFILE%\"", true, "C:\\users\\tester",
                      TTWSkipReason::ProfileFolder}),
    [](const ::testing::TestParamInfo<TRegistryCase>& I) { return std::string(I.param.Name); });

// With neither TMP nor TEMP anywhere, the temporary folder falls back to the profile.
TEST_F(PrefixSafetyTest, NoTempVariablesFallBackToTheProfileWhichIsSkipped) {
  DropValues("user.reg", {"\"TEMP\"", "\"TMP\""});
  DropValues("system.reg", {"\"TEMP\"", "\"TMP\""});
  Find();
  ASSERT_EQ(Skipped.size(), 1u);
  EXPECT_EQ(Skipped[0].Path, "C:\\users\\tester\\");
  EXPECT_EQ(Skipped[0].Reason, TTWSkipReason::ProfileFolder);
  EXPECT_EQ(Paths(16), (TTexts{"C:\\windows\\Temp\\w.tmp"}));
}

// A Firefox profile folder that profiles.ini puts on a drive outside the prefix.
TEST_F(PrefixSafetyTest, FirefoxCacheOnADriveOutsideIsSkipped) {
  Cfg.Current.AdditionalOptions = {0, 0, 0, 0, 0, 0};
  Cfg.Current.Browsers.Firefox = Cfg.Installed.Firefox = 1;
  Cfg.Current.Browsers.Options = {0, 1, 0};
  Prefix.AddFile("C:\\users\\tester\\AppData\\Roaming\\Mozilla\\Firefox\\profiles.ini", 0, 0644, -1,
                 "[Profile0]\nPath=Y:/home\nIsRelative=0\n");
  Find();
  EXPECT_TRUE(Paths().empty());
  ASSERT_EQ(Skipped.size(), 1u);
  EXPECT_EQ(Skipped[0].Path, "Y:\\home\\Cache");
  EXPECT_EQ(Skipped[0].Reason, TTWSkipReason::OutsideSystem);
}

// A profiles.ini of 20,000 sections is read once, and only so many profiles are taken.
TEST_F(PrefixSafetyTest, FirefoxProfilesIniWithThousandsOfSections) {
  Cfg.Current.AdditionalOptions = {0, 0, 0, 0, 0, 0};
  Cfg.Current.Browsers.Firefox = Cfg.Installed.Firefox = 1;
  Cfg.Current.Browsers.Options = {1, 0, 0};
  const std::string ff = "C:\\users\\tester\\AppData\\Roaming\\Mozilla\\Firefox";
  std::string ini;
  for (int i = 0; i < 20000; ++i)
    ini += "[Profile" + std::to_string(i) + "]\nPath=p" + std::to_string(i) + "\n";
  Prefix.AddFile(ff + "\\profiles.ini", 0, 0644, -1, ini);
  for (const char* p : {"p0", "p999", "p1000", "p19999"})
    Prefix.AddFile(ff + "\\" + p + "\\cookies.sqlite", 1);
  Find();
  EXPECT_EQ(Paths(4), (TTexts{ff + "\\p0\\cookies.sqlite", ff + "\\p999\\cookies.sqlite"}));
}

// The user's TEMP is the Windows Temp folder in the case it has on disk ("temp").
TEST_F(PrefixSafetyTest, WindowsTempInAnotherCaseIsWalkedOnce) {
  Prefix.AddUserValue("Environment", "TMP", "\"C:\\\\windows\\\\TEMP\"");
  Find();
  EXPECT_EQ(Paths(16), (TTexts{"C:\\windows\\temp\\w.tmp"}));
  EXPECT_TRUE(Skipped.empty());
}

// A temporary folder that is a mount point (tmpfs), or lies below one, is not walked:
// none of the methods would delete what it holds. Needs the right to mount.
TEST_F(PrefixSafetyTest, TempOnItsOwnFileSystemIsSkipped) {
  const std::string temp = Prefix.HostPath("C:\\users\\tester\\Temp");
  if (mount("tw-test", temp.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount here";
  struct TUnmount {
    std::string P;
    ~TUnmount() { umount2(P.c_str(), MNT_DETACH); }
  } unmount{temp};
  Prefix.AddFile("C:\\users\\tester\\Temp\\in-mount.tmp", 10);
  Prefix.AddFile("C:\\users\\tester\\Temp\\folder\\inner.tmp", 10);
  for (uint8_t method : {TW_DELETE_REMOVE, TW_DELETE_RECYCLE, TW_DELETE_SHRED}) {
    SCOPED_TRACE(int(method));
    Cfg.Current.DeleteFiles.DeleteMethod = method;
    Find();
    EXPECT_EQ(Paths(16), (TTexts{"C:\\windows\\Temp\\w.tmp"}));
    ASSERT_EQ(Skipped.size(), 1u);
    EXPECT_EQ(Skipped[0].Reason, TTWSkipReason::LinkOrMountPoint);
    DeleteAll();
    EXPECT_EQ(access((temp + "/in-mount.tmp").c_str(), F_OK), 0);
    EXPECT_EQ(access((temp + "/folder/inner.tmp").c_str(), F_OK), 0);
    Prefix.AddFile("C:\\windows\\temp\\w.tmp");
  }
}

}  // namespace
