// Enumeration and lookup over the sample prefix: order, masks, attributes, links, mounts.
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <thread>

#include "linux_test_util.h"
#include "platform/linux/wine_fs.h"

namespace {

using Names = std::vector<std::string>;

class FindTest : public LinuxPlatformTest {
 protected:
  void SetUp() override {
    for (const char* N : {"a.txt", "b.TXT", "A.TXT.bak", "a b.txt", "\xc3\xa9.txt", "README",
                          ".hidden", "x.log", "x.log1", "ab.txt", "a", "$x"})
      Pfx.AddFile(std::string("C:\\t\\") + N);
    for (const char* D : {"S-1-5-21-111-222-333-1001", "S-1-5-21-111-222-333", "$Recycle$"})
      Pfx.AddDir(std::string("C:\\t\\") + D);
  }
};

struct TMaskCase {
  const char* Mask;
  Names Expected;
};

TEST_F(FindTest, MasksMatchLongNamesAsWineDoesInWineOrder) {
  const Names All = {".",
                     "..",
                     "$Recycle$",
                     "$x",
                     ".hidden",
                     "a",
                     "a b.txt",
                     "a.txt",
                     "A.TXT.bak",
                     "ab.txt",
                     "b.TXT",
                     "README",
                     "S-1-5-21-111-222-333",
                     "S-1-5-21-111-222-333-1001",
                     "x.log",
                     "x.log1",
                     "\xc3\xa9.txt"};
  const TMaskCase Cases[] = {
      {"*", All},
      {"*.*", All},
      {"*.", All},  // trailing '.' and '*' are ignored at the end
      {"*.txt", {"a b.txt", "a.txt", "ab.txt", "b.TXT", "\xc3\xa9.txt"}},
      {"*.log", {"x.log"}},                           // no short names, so x.log1 does not match
      {"?.txt", {"a.txt", "b.TXT", "\xc3\xa9.txt"}},  // one character, whatever its width
      {"??.txt", {"ab.txt"}},
      {"S-1-5-21-*-*-*-*", {"S-1-5-21-111-222-333-1001"}},
      {"$*$", {"$Recycle$"}},
      {"a.*", {"a", "a.txt", "A.TXT.bak"}},
      {"*.tx", {}},
      {".*", {".", "..", ".hidden"}},
      {"<", {}},
      {"readme", {"README"}},
      {"\xc3\x89.TXT", {"\xc3\xa9.txt"}},  // case-insensitive beyond ASCII
  };
  for (const TMaskCase& C : Cases)
    EXPECT_EQ(List(std::string("C:\\t\\") + C.Mask), C.Expected) << C.Mask;
}

TEST_F(FindTest, NoMatchAndBadPatternsGiveNoHandle) {
  for (const char* Pattern :
       {"C:\\t\\", "C:\\t\\*.tx", "C:\\missing\\*", "C:\\t\\a.txt\\*", "Q:\\*", "t\\*", ""})
    EXPECT_EQ(P().FindFirst(Pattern, false), nullptr) << Pattern;
  EXPECT_EQ(P().FindFirst("C:\\" + std::string(40000, 'a') + "\\*", false), nullptr);
}

TEST_F(FindTest, ExactSpellingSortsBeforeItsCaseTwin) {
  Pfx.AddFile("C:\\u\\foo");
  Pfx.AddFile("C:\\u\\FOO");
  Pfx.AddFile("C:\\u\\Bar");
  EXPECT_EQ(List("C:\\u\\*"), (Names{".", "..", "Bar", "FOO", "foo"}));
}

TEST_F(FindTest, DriveRootHasNoDotEntries) {
  EXPECT_EQ(List("C:\\*"), (Names{"ProgramData", "t", "users", "windows"}));
  EXPECT_EQ(List("c:/USERS/*"), (Names{".", "..", "Public", "tester"}));
}

TEST_F(FindTest, PathsResolveWithoutRegardToCase) {
  EXPECT_EQ(List("C:\\USERS\\TESTER\\appdata\\local\\microsoft\\WINDOWS\\*"),
            (Names{".", "..", "History", "INetCache", "INetCookies"}));
  TTWFindData D;
  ASSERT_TRUE(P().FindOne("C:\\USERS\\TESTER\\appdata", D));
  EXPECT_EQ(D.Name, "AppData");  // the on-disk spelling
  EXPECT_EQ(D.Attributes, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(D.HasDetails);
  EXPECT_EQ(D.Size, 0u);
  EXPECT_FALSE(P().FindOne("C:\\users\\nobody", D));
  EXPECT_FALSE(P().FindOne("C:\\t\\*.txt", D));
  EXPECT_FALSE(P().FindOne("C:\\", D));
}

TEST_F(FindTest, ExactSpellingWinsOverCaseTwins) {
  Pfx.AddFile("C:\\u\\foo", 1);
  Pfx.AddFile("C:\\u\\FOO", 2);
  TTWFindData D;
  ASSERT_TRUE(P().FindOne("C:\\u\\foo", D));
  EXPECT_EQ(D.Name, "foo");
  EXPECT_EQ(D.Size, 1u);
  ASSERT_TRUE(P().FindOne("C:\\u\\FOO", D));
  EXPECT_EQ(D.Name, "FOO");
  ASSERT_TRUE(P().FindOne("C:\\u\\Foo", D));  // either twin, never a failure
  EXPECT_TRUE(D.Name == "foo" || D.Name == "FOO");
}

struct TAttrCase {
  const char* Name;
  uint32_t Expected;
};

TEST_F(FindTest, AttributesFollowModeDotNamesAndDosAttrib) {
  Pfx.AddFile("C:\\attr\\plain", 0, 0644);
  Pfx.AddFile("C:\\attr\\ro", 0, 0444);
  Pfx.AddFile("C:\\attr\\.dotfile");
  Pfx.AddDir("C:\\attr\\.dotdir");
  Pfx.AddDir("C:\\attr\\rodir", 0555);
  Pfx.AddFifo("C:\\attr\\fifo");
  std::vector<TAttrCase> Cases = {
      {"plain", FILE_ATTRIBUTE_ARCHIVE},
      {"ro", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
      {".dotfile", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
      {".dotdir", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY},
      {"rodir", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY},
      {"fifo", FILE_ATTRIBUTE_ARCHIVE},
  };
  if (Pfx.XattrSupported()) {
    Pfx.AddFile("C:\\attr\\x2", 0, 0644, 0x2);
    Pfx.AddFile("C:\\attr\\x4", 0, 0644, 0x4);
    Pfx.AddFile("C:\\attr\\x26", 0, 0644, 0x26);  // ARCHIVE and others in the xattr are masked
    Cases.push_back({"x2", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE});
    Cases.push_back({"x4", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE});
    Cases.push_back(
        {"x26", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE});
  }
  auto H = P().FindFirst("C:\\attr\\*", false);
  ASSERT_NE(H, nullptr);
  std::map<std::string, TTWFindData> Seen;
  TTWFindData D;
  while (H->Next(D)) Seen[D.Name] = D;
  for (const TAttrCase& C : Cases) {
    ASSERT_TRUE(Seen.count(C.Name)) << C.Name;
    EXPECT_EQ(Seen[C.Name].Attributes, C.Expected) << C.Name;
    EXPECT_TRUE(Seen[C.Name].HasDetails);
    EXPECT_EQ(Seen[C.Name].Id, IdOf(Pfx.HostPath(std::string("C:\\attr\\") + C.Name))) << C.Name;
    TTWFindData One;
    ASSERT_TRUE(P().FindOne(std::string("C:\\attr\\") + C.Name, One));
    EXPECT_EQ(One.Attributes, C.Expected) << C.Name;
  }
}

TEST_F(FindTest, SizesAreWholeAndDirectoriesReportZero) {
  Pfx.AddFile("C:\\s\\big", (5ull << 30) + 10);  // sparse
  Pfx.AddFile("C:\\s\\small", 0, 0644, -1, "hello");
  Pfx.AddDir("C:\\s\\dir");
  TTWFindData D;
  ASSERT_TRUE(P().FindOne("C:\\s\\big", D));
  EXPECT_EQ(D.Size, (5ull << 30) + 10);
  ASSERT_TRUE(P().FindOne("C:\\s\\small", D));
  EXPECT_EQ(D.Size, 5u);
  ASSERT_TRUE(P().FindOne("C:\\s\\dir", D));
  EXPECT_EQ(D.Size, 0u);
}

TEST_F(FindTest, LinksAreReportedAsLinksWithTheirOwnSizeAndId) {
  std::string ToDir = Pfx.AddSymlink("C:\\l\\todir", Pfx.OutsideDir());
  std::string ToFile = Pfx.AddSymlink("C:\\l\\tofile", Pfx.OutsideFile());
  std::string Dangling = Pfx.AddSymlink("C:\\l\\dangling", Pfx.Root() + "/nothing");
  struct TLinkCase {
    const char* Name;
    std::string Host, Target;
    uint32_t Expected;
  } Cases[] = {
      {"todir", ToDir, Pfx.OutsideDir(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT},
      {"tofile", ToFile, Pfx.OutsideFile(), FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE},
      // Listed, unlike Wine, so that it can be cleaned away.
      {"dangling", Dangling, Pfx.Root() + "/nothing",
       FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE},
  };
  for (const auto& C : Cases) {
    TTWFindData D;
    ASSERT_TRUE(P().FindOne(std::string("C:\\l\\") + C.Name, D)) << C.Name;
    EXPECT_EQ(D.Attributes, C.Expected) << C.Name;
    EXPECT_EQ(D.Size, C.Target.size()) << C.Name;
    EXPECT_EQ(D.Id, IdOf(C.Host)) << C.Name;
  }
  EXPECT_EQ(List("C:\\l\\*"), (Names{".", "..", "dangling", "todir", "tofile"}));
}

TEST_F(FindTest, LazyNextFillsNamesAndTypeBitsAndDetailsCompletes) {
  Pfx.AddFile("C:\\z\\.h", 7, 0444);
  Pfx.AddDir("C:\\z\\d");
  Pfx.AddSymlink("C:\\z\\l", Pfx.OutsideDir());
  auto H = P().FindFirst("C:\\z\\*", true);
  ASSERT_NE(H, nullptr);
  TTWFindData D;
  std::map<std::string, uint32_t> Lazy, Full;
  while (H->Next(D)) {
    EXPECT_FALSE(D.HasDetails);
    Lazy[D.Name] = D.Attributes;
    ASSERT_TRUE(H->Details(D));
    EXPECT_TRUE(D.HasDetails);
    Full[D.Name] = D.Attributes;
    if (D.Name == ".h") {
      EXPECT_EQ(D.Size, 7u);
      EXPECT_EQ(D.Id, IdOf(Pfx.HostPath("C:\\z\\.h")));
    }
  }
  EXPECT_EQ(Lazy[".h"], FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Lazy["d"], FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(Lazy["l"], FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_EQ(Full[".h"], FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(Full["d"], FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FindTest, DetailsOfAVanishedEntryFails) {
  std::string Host = Pfx.AddFile("C:\\v\\gone");
  auto H = P().FindFirst("C:\\v\\g*", true);
  ASSERT_NE(H, nullptr);
  TTWFindData D;
  ASSERT_TRUE(H->Next(D));
  ASSERT_EQ(unlink(Host.c_str()), 0);
  EXPECT_FALSE(H->Details(D));
  EXPECT_EQ(D.Name, "gone");
  EXPECT_FALSE(D.HasDetails);
}

TEST_F(FindTest, FindFirstInEntersRealSubfoldersOnly) {
  Pfx.AddFile("C:\\w\\sub\\inner.txt");
  Pfx.AddSymlink("C:\\w\\out", Pfx.OutsideDir());
  auto H = P().FindFirst("C:\\w\\*", true);
  ASSERT_NE(H, nullptr);
  TTWFindData D;
  int Entered = 0;
  while (H->Next(D)) {
    auto Sub = H->FindFirstIn(D, "*.txt", true);
    if (D.Name == "sub") {
      ASSERT_NE(Sub, nullptr);
      TTWFindData In;
      ASSERT_TRUE(Sub->Next(In));
      EXPECT_EQ(In.Name, "inner.txt");
      ++Entered;
    } else {
      EXPECT_EQ(Sub, nullptr) << D.Name;  // ".", "..", and the link to the outside
    }
  }
  EXPECT_EQ(Entered, 1);
  EXPECT_TRUE(Pfx.OutsideIntact());
}

TEST_F(FindTest, FindFirstInRefusesAFolderSwappedAfterListing) {
  for (bool ByLink : {true, false}) {
    SCOPED_TRACE(ByLink ? "swapped for a link" : "swapped for another folder");
    std::string Sub = Pfx.AddDir("C:\\swap\\sub");
    Pfx.AddFile("C:\\swap\\sub\\f");
    auto H = P().FindFirst("C:\\swap\\s*", true);
    ASSERT_NE(H, nullptr);
    TTWFindData D;
    ASSERT_TRUE(H->Next(D));
    ASSERT_EQ(D.Name, "sub");
    ASSERT_EQ(rename(Sub.c_str(), (Sub + ".old").c_str()), 0);
    if (ByLink)
      ASSERT_EQ(symlink(Pfx.OutsideDir().c_str(), Sub.c_str()), 0);
    else
      ASSERT_EQ(mkdir(Sub.c_str(), 0755), 0);
    EXPECT_EQ(H->FindFirstIn(D, "*", true), nullptr);
    ASSERT_TRUE(RemoveHostTree(Pfx.HostPath("C:\\swap")));
  }
  EXPECT_TRUE(Pfx.OutsideIntact());
}

// The lazy descent opens a child with openat2 where the kernel has it and with openat
// plus fstat otherwise (forced here); the walk that records folder ids always takes the
// second. Each way must enter a real folder and refuse a link or a swapped folder.
TEST_F(FindTest, DescentRefusesLinksAndSwapsOnEveryWay) {
  struct TReset {
    ~TReset() { twl::GForceOpenatChain = false; }
  } Reset;
  struct TWay {
    const char* Name;
    bool ForceChain;
    bool Lazy;
  };
  int Round = 0;
  for (const TWay& W : {TWay{"openat2", false, true}, TWay{"openat chain", true, true},
                        TWay{"recording walk", false, false}}) {
    SCOPED_TRACE(W.Name);
    twl::GForceOpenatChain = W.ForceChain;
    const std::string Dir = "C:\\way" + std::to_string(Round++);
    Pfx.AddFile(Dir + "\\sub\\inner.txt");
    std::string Swap = Pfx.AddDir(Dir + "\\swap");
    Pfx.AddSymlink(Dir + "\\out", Pfx.OutsideDir());
    const unsigned Two = twl::GDescentOpenat2Used, Chain = twl::GDescentOpenatUsed;
    auto H = P().FindFirst(Dir + "\\*", W.Lazy);
    ASSERT_NE(H, nullptr);
    TTWFindData D;
    std::map<std::string, bool> Entered;
    while (H->Next(D)) {
      if (D.Name == "swap") {
        ASSERT_EQ(rename(Swap.c_str(), (Swap + ".old").c_str()), 0);
        ASSERT_EQ(mkdir(Swap.c_str(), 0755), 0);
      }
      auto Sub = H->FindFirstIn(D, "*.txt", W.Lazy);
      Entered[D.Name] = Sub != nullptr;
      if (D.Name == "sub" && Sub) {
        TTWFindData In;
        ASSERT_TRUE(Sub->Next(In));
        EXPECT_EQ(In.Name, "inner.txt");
      }
    }
    EXPECT_TRUE(Entered["sub"]);
    EXPECT_FALSE(Entered["out"]);
    EXPECT_FALSE(Entered["swap"]);
    if (W.ForceChain || !W.Lazy) {
      EXPECT_EQ(twl::GDescentOpenat2Used.load(), Two);
    }
    if (!W.Lazy) {
      EXPECT_GT(twl::GDescentOpenatUsed.load(), Chain);
    }
    EXPECT_GT(twl::GDescentOpenat2Used.load() + twl::GDescentOpenatUsed.load(), Two + Chain);
  }
  EXPECT_TRUE(Pfx.OutsideIntact());
}

// The listing order is CompareNames' whatever mix of case, length, punctuation and
// non-ASCII names a folder holds (ASCII names take a faster way to the same order).
TEST_F(FindTest, ListingOrderIsCompareNamesOrder) {
  Names Created = {"b",
                   "B",
                   "a",
                   "A",
                   "ab",
                   "aB",
                   "Ab",
                   "a b",
                   "a.",
                   "a_",
                   "[x",
                   "_x",
                   "~x",
                   "Zz",
                   "z",
                   "e",
                   "E",
                   "ea",
                   "\xc3\xa9",
                   "\xc3\x89",
                   "\xc3\xa9"
                   "a",
                   "eA",
                   "\xff",
                   "a\xff",
                   "A\xc3\xa9",
                   "a\xc3\xa9"
                   "b",
                   "@",
                   "`"};
  for (const std::string& N : Created) Pfx.AddFile("C:\\ord\\" + N);
  Names Expected = Created;
  std::sort(Expected.begin(), Expected.end(), [](const std::string& X, const std::string& Y) {
    return twl::CompareNames(X.data(), X.size(), Y.data(), Y.size()) < 0;
  });
  for (bool Lazy : {true, false}) {
    Names Listed = List("C:\\ord\\*", Lazy);
    Listed.erase(std::remove_if(Listed.begin(), Listed.end(),
                                [](const std::string& N) { return N == "." || N == ".."; }),
                 Listed.end());
    EXPECT_EQ(Listed, Expected) << (Lazy ? "lazy" : "with details");
  }
}

TEST_F(FindTest, ThePrefixItselfIsNeverListed) {
  Pfx.AddDrive('y', Pfx.Root());  // a drive that holds the prefix folder, as z: -> / does
  Names L = List("Y:\\*");
  EXPECT_EQ(std::count(L.begin(), L.end(), "pfx"), 0);
  EXPECT_EQ(std::count(L.begin(), L.end(), "outside"), 1);
  // Nor the host's /dev, /proc and /sys on a drive mapped to "/" (listing only).
  Pfx.AddDrive('w', "/");
  Names Host = List("W:\\*", true);
  EXPECT_FALSE(Host.empty());
  for (const char* Hidden : {"dev", "proc", "sys"})
    EXPECT_EQ(std::count(Host.begin(), Host.end(), Hidden), 0) << Hidden;
}

TEST_F(FindTest, ThreadsShareOnePlatform) {
  // The registry is loaded on first use, from whichever thread comes first.
  TTWPlatform& Shared = P();
  std::vector<std::thread> Threads;
  std::atomic<int> Good{0};
  for (int I = 0; I < 4; ++I)
    Threads.emplace_back([&, I] {
      auto H = Shared.FindFirst("C:\\t\\*.txt", I % 2 == 0);
      TTWFindData D;
      int N = 0;
      while (H && H->Next(D)) ++N;
      if (N == 5 && Shared.RegKeyExists(TTWHive::LocalMachine, "Software\\Wine\\Drives") &&
          Shared.GetDriveType("D:\\") == DRIVE_CDROM)
        ++Good;
    });
  for (std::thread& T : Threads) T.join();
  EXPECT_EQ(Good, 4);
}

TEST_F(FindTest, DeepTreesAndLongPathsWork) {
  // 120 levels of 40-character names: the host path is far beyond PATH_MAX.
  const std::string Comp(40, 'd');
  std::string Win = "C:\\deep";
  Pfx.AddDir(Win);
  int Fd = open(Pfx.HostPath(Win).c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(Fd, 0);
  for (int I = 0; I < 120; ++I) {
    ASSERT_EQ(mkdirat(Fd, Comp.c_str(), 0755), 0);
    int Next = openat(Fd, Comp.c_str(), O_RDONLY | O_DIRECTORY);
    close(Fd);
    ASSERT_GE(Next, 0);
    Fd = Next;
    Win += "\\" + Comp;
  }
  int F = openat(Fd, "leaf.tmp", O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(F, 0);
  close(F);
  close(Fd);
  EXPECT_EQ(List(Win + "\\*.tmp"), (Names{"leaf.tmp"}));
  TTWFindData D;
  EXPECT_TRUE(P().FindOne(Win + "\\leaf.tmp", D));
  // Walk down through FindFirstIn alone.
  auto H = P().FindFirst("C:\\deep\\*", true);
  int Depth = 0;
  while (H) {
    TTWFindData E;
    std::unique_ptr<TTWFindHandle> Sub;
    while (!Sub && H->Next(E))
      if (E.Name == Comp) Sub = H->FindFirstIn(E, "*", true);
    if (!Sub) break;
    H = std::move(Sub);
    ++Depth;
  }
  EXPECT_EQ(Depth, 120);
  EXPECT_TRUE(P().DeleteFile(Win + "\\leaf.tmp", {}));
}

// A mount inside the tree (needs the right to mount; skipped otherwise).
TEST_F(FindTest, MountPointsAreReparsePointsAndNeverEntered) {
  std::string Tmpfs = Pfx.AddDir("C:\\m\\tmpfs");
  std::string Bind = Pfx.AddDir("C:\\m\\bind");
  if (mount("tw-test", Tmpfs.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount here";
  bool Bound = mount(Pfx.OutsideDir().c_str(), Bind.c_str(), nullptr, MS_BIND, nullptr) == 0;
  struct TUnmount {
    std::string A, B;
    ~TUnmount() {
      umount2(A.c_str(), MNT_DETACH);
      if (!B.empty()) umount2(B.c_str(), MNT_DETACH);
    }
  } Guard{Tmpfs, Bound ? Bind : std::string()};

  std::vector<std::string> Mounts = {"tmpfs"};
  if (Bound) Mounts.push_back("bind");  // same file system: only the mount-root bit shows it
  for (const std::string& Name : Mounts) {
    TTWFindData D;
    ASSERT_TRUE(P().FindOne("C:\\m\\" + Name, D));
    EXPECT_EQ(D.Attributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) << Name;
    auto H = P().FindFirst("C:\\m\\" + Name, true);
    ASSERT_NE(H, nullptr);
    ASSERT_TRUE(H->Next(D));
    EXPECT_EQ(H->FindFirstIn(D, "*", true), nullptr) << Name;
    EXPECT_FALSE(P().RemoveDirectory("C:\\m\\" + Name, {})) << Name;
    EXPECT_FALSE(P().DeleteFile("C:\\m\\" + Name + "\\inner.txt", {})) << Name;
    // Nor is anything below it listed: no deletion would reach it.
    EXPECT_EQ(P().FindFirst("C:\\m\\" + Name + "\\*", false), nullptr) << Name;
  }
  EXPECT_TRUE(Pfx.OutsideIntact());
}

}  // namespace
