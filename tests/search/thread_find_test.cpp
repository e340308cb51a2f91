#include <gtest/gtest.h>

#include <algorithm>

#include "search/Masks.h"
#include "search/find_fixture.h"

namespace {

using TTexts = std::vector<std::string>;

TTexts Sorted(TTexts V) {
  std::sort(V.begin(), V.end());
  return V;
}

class FindDrivesTest : public FindFixture {
 protected:
  FindDrivesTest() {
    Cfg.Current.AdditionalOptions.FileSearchMasks = 1;
    Cfg.Current.FileSearchMasks = {"*.tmp", "*.bak"};
  }
};

TEST_F(FindDrivesTest, CollectsMatchingFilesButNotProtectedOnesOrDirectories) {
  Fs.AddFile("C:\\a.tmp", 5, FILE_ATTRIBUTE_READONLY);
  Fs.AddFile("C:\\b.tmp", 7, FILE_ATTRIBUTE_HIDDEN);
  Fs.AddFile("C:\\s.tmp", 1, FILE_ATTRIBUTE_SYSTEM);
  Fs.AddFile("C:\\keep.txt", 1);
  Fs.AddFile("C:\\work\\old.BAK", 3);
  Fs.AddDir("C:\\dir.tmp");
  Fs.AddFile("C:\\windows\\winsxs\\x.tmp", 1);
  Run();
  EXPECT_EQ(Sorted(Paths()), Sorted(TTexts{"C:\\b.tmp", "C:\\work\\old.BAK"}));
  const TTWRecordFile* b = Entry("C:\\b.tmp");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Size, 7);
  EXPECT_EQ(b->Kind, TW_KIND_FILE);
  EXPECT_EQ(b->Group, 0);
  EXPECT_TRUE(b->Id == Fs.Find("C:\\b.tmp")->Id);
  // Every directory entered is reported; the excepted one is neither reported nor entered.
  EXPECT_EQ(Sorted(Statuses), Sorted(TTexts{"C:\\work", "C:\\dir.tmp", "C:\\windows"}));
  EXPECT_FALSE(WasEnumerated("C:\\windows\\winsxs"));
  // Full details only for names that match a search mask.
  EXPECT_EQ(Fs.DetailsCalls, 4);
  EXPECT_EQ(Messages.back(), WM_FINDFINISHED);
}

TEST_F(FindDrivesTest, OnlyTickedUsableDrivesAreWalked) {
  Cfg.Current.Drives.Entries = {{1, 'C'}, {0, 'D'}, {1, 'E'}, {1, 'F'}};
  Fs.SetDrive('E', DRIVE_REMOVABLE, false);  // no medium
  Fs.SetDrive('F', DRIVE_REMOVABLE, true);
  Fs.AddFile("C:\\c.tmp");
  Fs.AddFile("D:\\d.tmp");
  Fs.AddFile("E:\\e.tmp");
  Fs.AddFile("F:\\f.tmp");
  Run();
  EXPECT_EQ(Paths(), (TTexts{"C:\\c.tmp", "F:\\f.tmp"}));
}

TEST_F(FindDrivesTest, SwitchedOffOrWithoutMasksFindsNothing) {
  Fs.AddFile("C:\\c.tmp");
  Cfg.Current.AdditionalOptions.FileSearchMasks = 0;
  Run();
  EXPECT_TRUE(Paths().empty());
  Cfg.Current.AdditionalOptions.FileSearchMasks = 1;
  Cfg.Current.FileSearchMasks.clear();
  Run();
  EXPECT_TRUE(Paths().empty());
  EXPECT_TRUE(Fs.Enumerated.empty());
}

TEST_F(FindDrivesTest, LinksAreNeverEnteredAndFileLinksAreRecordedAsThemselves) {
  TTWFakeFsPlatform::TNode& dirLink = Fs.AddLink("C:\\users\\tester\\Documents", true);
  (void)dirLink;
  Fs.AddFile("C:\\users\\tester\\Documents\\secret.tmp");  // what the link leads to
  Fs.AddLink("C:\\users\\tester\\mnt.tmp", true);          // a mount point
  Fs.AddLink("C:\\users\\tester\\link.tmp", false);
  Run();
  EXPECT_EQ(Paths(), (TTexts{"C:\\users\\tester\\link.tmp"}));
  EXPECT_FALSE(WasEnumerated("C:\\users\\tester\\Documents"));
  EXPECT_EQ(Statuses, (TTexts{"C:\\users", "C:\\users\\tester"}));
}

TEST_F(FindDrivesTest, DeepTreesAreWalkedWithoutRecursion) {
  std::string path = "C:";
  for (int i = 0; i < 2000; ++i) path += "\\d";
  Fs.AddFile(path + "\\deep.tmp");
  Fs.AddFile("C:\\d\\d\\shallow.tmp");
  Run();
  // The walk stops descending at a bound far beyond any real Windows path.
  EXPECT_EQ(Paths(), (TTexts{"C:\\d\\d\\shallow.tmp"}));
  EXPECT_GT(Statuses.size(), 200u);
  EXPECT_LT(Statuses.size(), 2000u);
}

TEST_F(FindDrivesTest, CancelStopsTheWalkSendsAnEmptyStatusAndStillFinishes) {
  for (int i = 0; i < 20; ++i) {
    Fs.AddFile("C:\\dir" + std::to_string(i) + "\\x.tmp");
    Fs.AddFile("C:\\dir" + std::to_string(i) + "\\y.tmp");
  }
  Cfg.Current.Drives.Entries = {{1, 'C'}, {1, 'D'}};
  Fs.AddFile("D:\\first\\d.tmp");
  Fs.AddFile("D:\\second\\d.tmp");
  Run([](TTWThreadFind& T, const std::string& S) {
    if (S == "C:\\dir0") T.Terminate();
  });
  // dir0 still handles its first entry; C: stops; D: still handles its first entry.
  EXPECT_EQ(Statuses, (TTexts{"C:\\dir0", "D:\\first", ""}));
  EXPECT_EQ(Paths(), (TTexts{"C:\\dir0\\x.tmp", "D:\\first\\d.tmp"}));
  EXPECT_EQ(Messages.back(), WM_FINDFINISHED);
}

class FindTreeTest : public FindFixture {
 protected:
  FindTreeTest() { Cfg.Current.AdditionalOptions.SystemLog = 1; }
  const std::string Logs = "C:\\windows\\system32\\WBEM\\Logs";
};

TEST_F(FindTreeTest, DirectoryComesBeforeItsContents) {
  Fs.AddFile(Logs + "\\sub\\inner.log", 4);
  Fs.AddFile(Logs + "\\top.log", 2, FILE_ATTRIBUTE_HIDDEN);
  Fs.AddFile(Logs + "\\ro.log", 2, FILE_ATTRIBUTE_READONLY);
  Fs.AddDir(Logs + "\\hidden", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  Fs.AddFile(Logs + "\\hidden\\h.log", 1);
  Fs.AddLink(Logs + "\\link", true);
  Fs.AddFile(Logs + "\\link\\outside.log", 1);
  Run();
  EXPECT_EQ(Sorted(Paths(20)),
            Sorted(TTexts{Logs + "\\sub", Logs + "\\sub\\inner.log", Logs + "\\top.log",
                          Logs + "\\hidden", Logs + "\\hidden\\h.log", Logs + "\\link"}));
  EXPECT_LT(IndexOf(Logs + "\\sub"), IndexOf(Logs + "\\sub\\inner.log"));
  EXPECT_LT(IndexOf(Logs + "\\hidden"), IndexOf(Logs + "\\hidden\\h.log"));
  EXPECT_EQ(Entry(Logs + "\\sub")->Kind, TW_KIND_DIRECTORY);
  EXPECT_TRUE(Entry(Logs + "\\sub")->Id == Fs.Find(Logs + "\\sub")->Id);
  EXPECT_EQ(Entry(Logs + "\\sub\\inner.log")->Size, 4);
  EXPECT_EQ(Sorted(Statuses), Sorted(TTexts{Logs + "\\sub", Logs + "\\hidden"}));
  // A link to a folder is listed as the link itself (a file entry, removed as a link)
  // and never entered; a mount point is neither.
  EXPECT_EQ(Entry(Logs + "\\link")->Kind, TW_KIND_FILE);
  EXPECT_TRUE(Entry(Logs + "\\link")->Id == Fs.Find(Logs + "\\link")->Id);
  EXPECT_FALSE(WasEnumerated(Logs + "\\link"));
}

TEST_F(FindTreeTest, MountPointsInsideAreNeitherListedNorEntered) {
  Fs.AddMount(Logs + "\\mnt");
  Fs.AddFile(Logs + "\\mnt\\other.log", 1);
  Fs.AddFile(Logs + "\\a.log", 1);
  Run();
  EXPECT_EQ(Paths(20), (TTexts{Logs + "\\a.log"}));
  EXPECT_FALSE(WasEnumerated(Logs + "\\mnt"));
}

TEST_F(FindTreeTest, EntriesArriveTickedOnlyWithoutTheReviewDialog) {
  Fs.AddFile(Logs + "\\a.log");
  Cfg.Current.DeleteFiles.ConformationDialog = 1;
  Run();
  ASSERT_EQ(List->Count(), 1);
  EXPECT_FALSE(List->Items(0).Checked);
  Cfg.Current.DeleteFiles.ConformationDialog = 0;
  Run();
  ASSERT_EQ(List->Count(), 1);
  EXPECT_TRUE(List->Items(0).Checked);
}

TEST_F(FindTreeTest, MalformedMaskFailsConstruction) {
  Cfg.Current.Exceptions.DirectoryMasks = {"ok", "[z-a"};
  TTWFileList list(Cfg.Current);
  TTWMessageReceiver receiver;
  EXPECT_THROW(TTWThreadFind(&list, Cfg, &receiver), EMaskException);
}

struct TCheckCase {
  const char* Path;
  bool CheckDrive;
  bool Expected;
};

TEST_F(FindFixture, CheckPathRules) {
  Cfg.Current.Exceptions.DirectoryMasks = {"Temp*", "C:"};
  Cfg.Current.Drives.Entries = {{1, 'C'}, {0, 'D'}};
  TTWFileList list(Cfg.Current);
  TTWMessageReceiver receiver;
  TTWThreadFind find(&list, Cfg, &receiver);
  const TCheckCase cases[] = {
      {"", true, false},
      {"", false, false},
      {"C:\\Users\\x", true, true},
      {"C:\\Users\\x\\", true, true},
      {"c:\\Users\\x", true, false},  // the letter is compared exactly
      {"c:\\Users\\x", false, true},
      {"D:\\Users", true, false},  // drive not ticked
      {"D:\\Users", false, true},
      {"C:\\Windows\\Temp", true, false},
      {"C:\\TEMPORARY\\x", true, false},  // masks ignore ASCII case
      {"C:\\x\\temp\\y", true, false},    // any component
      {"C:\\x\\notTemp", true, true},
      {"C:", true, true},  // the drive part is never tested
      {"\\Cache", false, true},
      {"\\Temp", false, false},
      {"\\User Data\\Default\\Cache", false, true},
  };
  for (const TCheckCase& c : cases) {
    EXPECT_EQ(find.CheckPath(c.Path, c.CheckDrive), c.Expected)
        << c.Path << " CheckDrive=" << c.CheckDrive;
  }
  Cfg.Current.Drives.Entries.clear();
  EXPECT_FALSE(find.CheckPath("C:\\Users", false));
}

}  // namespace
