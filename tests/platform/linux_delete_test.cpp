// Deletion, removal, overwriting and the trash over the sample prefix, with the races and
// links that must never reach anything outside.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "linux_test_util.h"
#include "platform/linux/wine_delete.h"
#include "platform/linux/wine_fs.h"

namespace {

std::string ReadHost(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

std::vector<std::string> DirNames(const std::string& Path) {
  std::vector<std::string> Out;
  if (DIR* D = opendir(Path.c_str())) {
    while (dirent* E = readdir(D))
      if (strcmp(E->d_name, ".") != 0 && strcmp(E->d_name, "..") != 0) Out.push_back(E->d_name);
    closedir(D);
  }
  std::sort(Out.begin(), Out.end());
  return Out;
}

// Runs each test once over openat2 and once over the descriptor chain.
class DeleteTest : public LinuxPlatformTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override { twl::GForceOpenatChain = GetParam(); }
  void TearDown() override { twl::GForceOpenatChain = false; }
};

INSTANTIATE_TEST_SUITE_P(Resolvers, DeleteTest, ::testing::Values(false, true),
                         [](const auto& I) { return I.param ? "OpenatChain" : "Openat2"; });

TEST_P(DeleteTest, TheSeamSelectsTheResolver) {
  Pfx.AddFile("C:\\t\\f");
  unsigned Chain = twl::GOpenatChainUsed, Two = twl::GOpenat2Used;
  EXPECT_TRUE(P().DeleteFile("C:\\t\\f", {}));
  if (GetParam())
    EXPECT_GT(twl::GOpenatChainUsed.load(), Chain);
  else
    EXPECT_TRUE(twl::GOpenat2Used.load() > Two || twl::GOpenatChainUsed.load() > Chain);
}

TEST_P(DeleteTest, DeleteFileActsOnlyOnFilesAndLinks) {
  std::string Plain = Pfx.AddFile("C:\\t\\plain.tmp");
  std::string Mixed = Pfx.AddFile("C:\\t\\Mixed.TMP");
  std::string Ro = Pfx.AddFile("C:\\t\\ro.tmp", 0, 0444);
  std::string Dir = Pfx.AddDir("C:\\t\\dir");
  std::string Fifo = Pfx.AddFifo("C:\\t\\fifo");
  std::string ToFile = Pfx.AddSymlink("C:\\t\\tofile", Pfx.OutsideFile());
  std::string ToDir = Pfx.AddSymlink("C:\\t\\todir", Pfx.OutsideDir());
  std::string Dangling = Pfx.AddSymlink("C:\\t\\dangling", "/nonexistent/x");
  struct {
    const char* Path;
    std::string Host;
    bool Removed;
  } Cases[] = {
      {"C:\\t\\plain.tmp", Plain, true}, {"c:\\T\\mixed.tmp", Mixed, true},  // any case reaches it
      {"C:\\t\\ro.tmp", Ro, false},                                          // read-only, as Wine
      {"C:\\t\\dir", Dir, false},        {"C:\\t\\fifo", Fifo, false},       // only files and links
      {"C:\\t\\tofile", ToFile, true},  // the link, not its target
      {"C:\\t\\todir", ToDir, true},     {"C:\\t\\dangling", Dangling, true},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(P().DeleteFile(C.Path, {}), C.Removed) << C.Path;
    EXPECT_EQ(Exists(C.Host), !C.Removed) << C.Path;
  }
  EXPECT_FALSE(P().DeleteFile("C:\\t\\missing", {}));
  EXPECT_FALSE(P().DeleteFile("C:\\", {}));
  EXPECT_TRUE(Pfx.OutsideIntact());
}

TEST_P(DeleteTest, RemoveDirectoryActsOnlyOnEmptyRealDirectories) {
  std::string Empty = Pfx.AddDir("C:\\t\\empty");
  std::string Ro = Pfx.AddDir("C:\\t\\rodir", 0555);
  Pfx.AddFile("C:\\t\\full\\x");
  std::string Link = Pfx.AddSymlink("C:\\t\\link", Pfx.OutsideDir());
  std::string File = Pfx.AddFile("C:\\t\\file");
  EXPECT_TRUE(P().RemoveDirectory("C:\\t\\EMPTY", {}));
  EXPECT_FALSE(Exists(Empty));
  EXPECT_TRUE(P().RemoveDirectory("C:\\t\\rodir", {}));
  EXPECT_FALSE(Exists(Ro));
  EXPECT_FALSE(P().RemoveDirectory("C:\\t\\full", {}));
  EXPECT_FALSE(P().RemoveDirectory("C:\\t\\link", {}));
  EXPECT_TRUE(Exists(Link));
  EXPECT_FALSE(P().RemoveDirectory("C:\\t\\file", {}));
  EXPECT_TRUE(Exists(File));
  EXPECT_FALSE(P().RemoveDirectory("C:\\t\\missing", {}));
  EXPECT_TRUE(Pfx.OutsideIntact());
}

TEST_P(DeleteTest, ExpectedIdentityMustMatch) {
  std::string F = Pfx.AddFile("C:\\t\\f");
  std::string D = Pfx.AddDir("C:\\t\\d");
  const TTWFileId Other{IdOf(F).Dev, IdOf(F).Ino + 12345};
  EXPECT_FALSE(P().DeleteFile("C:\\t\\f", Other));
  EXPECT_FALSE(P().RemoveDirectory("C:\\t\\d", Other));
  std::unique_ptr<TTWFile> File;
  EXPECT_EQ(P().OpenForOverwrite("C:\\t\\f", Other, File), TTWOpenResult::Failed);
  EXPECT_NE(P().MoveToRecycleBin("C:\\t\\f", false, Other), 0);
  EXPECT_TRUE(Exists(F) && Exists(D));
  EXPECT_TRUE(P().DeleteFile("C:\\t\\f", IdOf(F)));
  EXPECT_TRUE(P().RemoveDirectory("C:\\t\\d", IdOf(D)));
}

// Found, then swapped for a link to the outside (or another file) before the action.
TEST_P(DeleteTest, AnObjectSwappedAfterFindingIsRefused) {
  enum TOp { Delete, Overwrite, Trash };
  for (TOp Op : {Delete, Overwrite, Trash}) {
    for (bool ByLink : {true, false}) {
      SCOPED_TRACE(std::to_string(Op) + (ByLink ? " link" : " file"));
      std::string Host = Pfx.AddFile("C:\\t\\victim.tmp", 0, 0644, -1, "old");
      TTWFindData D;
      ASSERT_TRUE(P().FindOne("C:\\t\\victim.tmp", D));
      // The newcomer is made before the old file goes, so it cannot reuse its inode. (A
      // reused inode would pass the identity check, but the services still act only on
      // the link itself or on the newcomer, never on anything outside.)
      const std::string Tmp = Pfx.HostPath("C:\\t\\newcomer");
      if (ByLink)
        ASSERT_EQ(symlink(Pfx.OutsideFile().c_str(), Tmp.c_str()), 0);
      else
        Pfx.AddFile("C:\\t\\newcomer", 0, 0644, -1, "new");
      ASSERT_EQ(rename(Tmp.c_str(), Host.c_str()), 0);
      std::unique_ptr<TTWFile> File;
      switch (Op) {
        case Delete:
          EXPECT_FALSE(P().DeleteFile("C:\\t\\victim.tmp", D.Id));
          break;
        case Overwrite:
          EXPECT_EQ(P().OpenForOverwrite("C:\\t\\victim.tmp", D.Id, File), TTWOpenResult::Failed);
          EXPECT_EQ(File, nullptr);
          break;
        case Trash:
          EXPECT_NE(P().MoveToRecycleBin("C:\\t\\victim.tmp", false, D.Id), 0);
          break;
      }
      EXPECT_TRUE(Exists(Host));
      ASSERT_EQ(unlink(Host.c_str()), 0);
    }
  }
  EXPECT_TRUE(Pfx.OutsideIntact());
  EXPECT_TRUE(DirNames(Pfx.TrashDir() + "/info").empty());
}

// The profile folder linked to the outside, as real prefixes link Documents to $HOME.
TEST_P(DeleteTest, PathsThroughALinkedFolderAreRefused) {
  std::string Docs = Pfx.HostPath("C:\\users\\tester\\Documents");
  ASSERT_EQ(rmdir(Docs.c_str()), 0);
  ASSERT_EQ(symlink(Pfx.Outside().c_str(), Docs.c_str()), 0);
  const std::string In = "C:\\users\\tester\\Documents\\canary.txt";
  const std::string InDir = "C:\\users\\tester\\Documents\\dir";
  std::unique_ptr<TTWFile> File;
  EXPECT_FALSE(P().DeleteFile(In, {}));
  EXPECT_FALSE(P().DeleteFile("C:\\users\\tester\\documents\\canary.txt", {}));
  EXPECT_FALSE(P().RemoveDirectory(InDir, {}));
  EXPECT_EQ(P().OpenForOverwrite(In, {}, File), TTWOpenResult::Failed);
  EXPECT_NE(P().MoveToRecycleBin(In, false, {}), 0);
  EXPECT_EQ(P().FindFirst("C:\\users\\tester\\Documents\\*", true), nullptr);
  TTWFindData D;
  EXPECT_FALSE(P().FindOne(In, D));
  ASSERT_TRUE(P().FindOne("C:\\users\\tester\\Documents", D));
  EXPECT_TRUE(D.Attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_TRUE(P().DeleteFile("C:\\users\\tester\\Documents", D.Id));  // the link itself
  EXPECT_TRUE(Pfx.OutsideIntact());
}

// --- Overwriting

TEST_P(DeleteTest, OpenForOverwriteOpensOnlyLonelyWritableRegularFiles) {
  Pfx.AddFile("C:\\o\\plain", 10);
  Pfx.AddFile("C:\\o\\ro", 10, 0444);
  Pfx.AddFifo("C:\\o\\fifo");  // no reader: an open for writing would block without O_NONBLOCK
  Pfx.AddDir("C:\\o\\dir");
  Pfx.AddSymlink("C:\\o\\link", Pfx.OutsideFile());
  Pfx.AddHardLink("C:\\o\\twin", Pfx.OutsideFile());
  struct {
    const char* Path;
    TTWOpenResult Expected;
  } Cases[] = {
      {"C:\\o\\plain", TTWOpenResult::Opened},    {"C:\\o\\PLAIN", TTWOpenResult::Opened},
      {"C:\\o\\ro", TTWOpenResult::Failed},       {"C:\\o\\fifo", TTWOpenResult::Failed},
      {"C:\\o\\dir", TTWOpenResult::Failed},      {"C:\\o\\missing", TTWOpenResult::Failed},
      {"C:\\o\\link", TTWOpenResult::RemoveOnly}, {"C:\\o\\twin", TTWOpenResult::RemoveOnly},
  };
  Pfx.RecordOutside();  // the hard link changed the canary's link count
  for (const auto& C : Cases) {
    std::unique_ptr<TTWFile> File;
    EXPECT_EQ(P().OpenForOverwrite(C.Path, {}, File), C.Expected) << C.Path;
    EXPECT_EQ(File != nullptr, C.Expected == TTWOpenResult::Opened) << C.Path;
  }
  EXPECT_TRUE(Pfx.OutsideIntact());
}

TEST_P(DeleteTest, AFileInUseIsNotOpened) {
  std::string Host = Pfx.AddFile("C:\\o\\busy", 10);
  int Other = open(Host.c_str(), O_RDONLY);
  ASSERT_GE(Other, 0);
  ASSERT_EQ(flock(Other, LOCK_EX), 0);
  std::unique_ptr<TTWFile> File;
  EXPECT_EQ(P().OpenForOverwrite("C:\\o\\busy", {}, File), TTWOpenResult::Failed);
  close(Other);
  EXPECT_EQ(P().OpenForOverwrite("C:\\o\\busy", IdOf(Host), File), TTWOpenResult::Opened);
  // And while we hold it, nobody else gets it.
  std::unique_ptr<TTWFile> Second;
  EXPECT_EQ(P().OpenForOverwrite("C:\\o\\busy", {}, Second), TTWOpenResult::Failed);
}

TEST_P(DeleteTest, WritePiecesRepeatsTheBlockOverTheWholeFile) {
  struct {
    uint32_t BlockSize;
    uint64_t Size;
  } Cases[] = {{4096, 10000}, {16, 16 * 300 + 5}, {7, 3}, {4096, 0}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::to_string(C.BlockSize) + "/" + std::to_string(C.Size));
    std::string Host = Pfx.AddFile("C:\\o\\shred", C.Size);
    std::unique_ptr<TTWFile> File;
    ASSERT_EQ(P().OpenForOverwrite("C:\\o\\shred", {}, File), TTWOpenResult::Opened);
    std::vector<uint8_t> Block(C.BlockSize);
    for (size_t I = 0; I < Block.size(); ++I) Block[I] = static_cast<uint8_t>(I * 7 + 1);
    uint64_t Size = 0;
    ASSERT_TRUE(File->GetSize(Size));
    EXPECT_EQ(Size, C.Size);
    for (int Pass = 0; Pass < 2; ++Pass) {
      ASSERT_TRUE(File->Seek(0));
      EXPECT_EQ(File->WritePieces(Block.data(), C.BlockSize, Size), Size);
      EXPECT_TRUE(File->Flush());
    }
    File.reset();
    std::string Got = ReadHost(Host);
    ASSERT_EQ(Got.size(), C.Size);  // the length never changes
    for (size_t I = 0; I < Got.size(); ++I)
      ASSERT_EQ(static_cast<uint8_t>(Got[I]), Block[I % C.BlockSize]) << "at " << I;
    ASSERT_EQ(unlink(Host.c_str()), 0);
  }
}

// --- The trash

class TrashTest : public LinuxPlatformTest {
 protected:
  std::string Info(const std::string& Name) { return ReadHost(Pfx.TrashDir() + "/info/" + Name); }
  std::vector<std::string> Files() { return DirNames(Pfx.TrashDir() + "/files"); }
  std::vector<std::string> Infos() { return DirNames(Pfx.TrashDir() + "/info"); }
};

TEST_F(TrashTest, AFileMovesWithItsInfoWrittenFirst) {
  std::string Host = Pfx.AddFile("C:\\t\\Junk.tmp", 0, 0444, -1, "data");  // read-only is fine
  ASSERT_EQ(P().MoveToRecycleBin("c:\\T\\junk.TMP", false, IdOf(Host)), 0);
  EXPECT_FALSE(Exists(Host));
  EXPECT_EQ(Files(), (std::vector<std::string>{"Junk.tmp"}));
  EXPECT_EQ(ReadHost(Pfx.TrashDir() + "/files/Junk.tmp"), "data");
  std::string Text = Info("Junk.tmp.trashinfo");
  std::regex Form(
      "\\[Trash Info\\]\nPath=(.*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
  std::smatch M;
  ASSERT_TRUE(std::regex_match(Text, M, Form)) << Text;
  // Through dosdevices, in the on-disk spelling.
  EXPECT_EQ(M[1].str(), Pfx.Prefix() + "/dosdevices/c:/t/Junk.tmp");
}

TEST_F(TrashTest, OddBytesInNamesArePercentEncoded) {
  const std::string Name = "a b%+\n#\xff\xc3\xa9[x].txt";
  std::string Host = Pfx.AddFile("C:\\t\\" + Name);
  ASSERT_EQ(P().MoveToRecycleBin("C:\\t\\" + Name, false, {}), 0);
  EXPECT_EQ(Files(), (std::vector<std::string>{Name}));
  std::string Text = Info(Name + ".trashinfo");
  EXPECT_NE(Text.find("/c:/t/a%20b%25%2B%0A%23%FF%C3%A9%5Bx%5D.txt\n"), std::string::npos) << Text;
  EXPECT_EQ(twl::TrashPathEncode("/a:b/c^&`{}|'<>\\\"~"),
            "/a:b/c%5E%26%60%7B%7D%7C%27%3C%3E%5C%22~");
}

TEST_F(TrashTest, CollisionsNeverOverwrite) {
  // The same name twice, a stale info file, and an orphan in files/.
  Pfx.AddFile("C:\\t\\a\\same.tmp", 0, 0644, -1, "one");
  Pfx.AddFile("C:\\t\\b\\same.tmp", 0, 0644, -1, "two");
  ASSERT_EQ(P().MoveToRecycleBin("C:\\t\\a\\same.tmp", false, {}), 0);
  ASSERT_EQ(P().MoveToRecycleBin("C:\\t\\b\\same.tmp", false, {}), 0);
  std::vector<std::string> F = Files();
  ASSERT_EQ(F.size(), 2u);
  EXPECT_EQ(F[0], "same.tmp");
  EXPECT_TRUE(std::regex_match(F[1], std::regex("same\\.tmp-[0-9a-f]{8}"))) << F[1];
  EXPECT_EQ(ReadHost(Pfx.TrashDir() + "/files/" + F[1]), "two");
  EXPECT_EQ(Infos(), (std::vector<std::string>{F[1] + ".trashinfo", F[0] + ".trashinfo"}));

  std::string Stale = Pfx.TrashDir() + "/info/stale.tmp.trashinfo";
  std::string Orphan = Pfx.TrashDir() + "/files/orphan.tmp";
  std::ofstream(Stale) << "keep me";
  std::ofstream(Orphan) << "keep me too";
  Pfx.AddFile("C:\\t\\stale.tmp");
  Pfx.AddFile("C:\\t\\orphan.tmp");
  EXPECT_EQ(P().MoveToRecycleBin("C:\\t\\stale.tmp", false, {}), 0);
  EXPECT_EQ(P().MoveToRecycleBin("C:\\t\\orphan.tmp", false, {}), 0);
  EXPECT_EQ(ReadHost(Stale), "keep me");
  EXPECT_EQ(ReadHost(Orphan), "keep me too");
  EXPECT_FALSE(Exists(Pfx.TrashDir() + "/info/orphan.tmp.trashinfo"));  // removed after EEXIST
  EXPECT_EQ(Files().size(), 5u);
  EXPECT_EQ(Infos().size(), 5u);  // four items and the stale one
}

TEST_F(TrashTest, DirectoriesMustBeEmpty) {
  std::string Empty = Pfx.AddDir("C:\\t\\empty");
  std::string Full = Pfx.AddDir("C:\\t\\full");
  Pfx.AddFile("C:\\t\\full\\x");
  EXPECT_EQ(P().MoveToRecycleBin("C:\\t\\full", true, {}), 0x91);
  EXPECT_TRUE(Exists(Full + "/x"));
  EXPECT_EQ(P().MoveToRecycleBin("C:\\t\\empty", true, IdOf(Empty)), 0);
  EXPECT_FALSE(Exists(Empty));
  EXPECT_EQ(Files(), (std::vector<std::string>{"empty"}));
  EXPECT_NE(P().MoveToRecycleBin("C:\\t\\full\\x", true, {}), 0);  // not a directory
  EXPECT_NE(P().MoveToRecycleBin("C:\\t\\full", false, {}), 0);    // not a file
  EXPECT_EQ(P().MoveToRecycleBin("C:\\t\\missing", false, {}), 2);
  EXPECT_NE(P().MoveToRecycleBin("C:\\nothere\\x", false, {}), 0);
  EXPECT_EQ(Infos(), (std::vector<std::string>{"empty.trashinfo"}));
}

TEST_F(TrashTest, ALinkGoesToTheTrashAsALink) {
  std::string Link = Pfx.AddSymlink("C:\\t\\link", Pfx.OutsideFile());
  ASSERT_EQ(P().MoveToRecycleBin("C:\\t\\link", false, {}), 0);
  struct stat St;
  ASSERT_EQ(lstat((Pfx.TrashDir() + "/files/link").c_str(), &St), 0);
  EXPECT_TRUE(S_ISLNK(St.st_mode));
  EXPECT_TRUE(Pfx.OutsideIntact());
}

// A trash that cannot take the item: the item stays, nothing is left half-done.
TEST_F(TrashTest, FailureLeavesTheItemInPlace) {
  struct {
    const char* What;
    void (*Break)(TSamplePrefix&);
  } Cases[] = {
      {"files/ is a plain file",
       [](TSamplePrefix& X) { std::ofstream(X.TrashDir() + "/files") << "x"; }},
      {"info/ is a link to the outside",
       [](TSamplePrefix& X) {
         ASSERT_EQ(symlink(X.OutsideDir().c_str(), (X.TrashDir() + "/info").c_str()), 0);
       }},
      {"files/ is a link to the outside",
       [](TSamplePrefix& X) {
         ASSERT_EQ(symlink(X.OutsideDir().c_str(), (X.TrashDir() + "/files").c_str()), 0);
       }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    RemoveHostTree(Pfx.TrashDir());
    ASSERT_EQ(mkdir(Pfx.TrashDir().c_str(), 0700), 0);
    C.Break(Pfx);
    std::string Host = Pfx.AddFile("C:\\t\\keep.tmp", 0, 0644, -1, "keep");
    EXPECT_NE(P().MoveToRecycleBin("C:\\t\\keep.tmp", false, {}), 0);
    EXPECT_EQ(ReadHost(Host), "keep");
    EXPECT_TRUE(DirNames(Pfx.TrashDir() + "/info").empty() ||
                DirNames(Pfx.TrashDir() + "/info") == DirNames(Pfx.OutsideDir()));
  }
  EXPECT_TRUE(Pfx.OutsideIntact());
}

TEST_F(TrashTest, ReadOnlyInfoFolderFails) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ASSERT_EQ(mkdir(Pfx.TrashDir().c_str(), 0700), 0);
  ASSERT_EQ(mkdir((Pfx.TrashDir() + "/info").c_str(), 0500), 0);
  std::string Host = Pfx.AddFile("C:\\t\\keep.tmp");
  EXPECT_NE(P().MoveToRecycleBin("C:\\t\\keep.tmp", false, {}), 0);
  EXPECT_TRUE(Exists(Host));
}

// The trash on another file system: the rename fails with EXDEV, and there is no copy and
// no permanent delete instead.
TEST_F(TrashTest, ATrashOnAnotherFileSystemRefuses) {
  struct stat Shm, Here;
  if (stat("/dev/shm", &Shm) != 0 || stat(Pfx.Root().c_str(), &Here) != 0 ||
      Shm.st_dev == Here.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  char Tmpl[] = "/dev/shm/tw-trash-XXXXXX";
  ASSERT_NE(mkdtemp(Tmpl), nullptr);
  std::string Xdg = Tmpl;
  setenv("XDG_DATA_HOME", Xdg.c_str(), 1);  // the fixture restores it
  std::string Host = Pfx.AddFile("C:\\t\\keep.tmp", 0, 0644, -1, "keep");
  EXPECT_EQ(P().MoveToRecycleBin("C:\\t\\keep.tmp", false, {}), 0x11);
  EXPECT_EQ(ReadHost(Host), "keep");
  EXPECT_TRUE(DirNames(Xdg + "/Trash/info").empty());
  EXPECT_TRUE(DirNames(Xdg + "/Trash/files").empty());
  RemoveHostTree(Xdg);
}

TEST(TrashDir, HomeTrashFollowsXdgDataHomeOnlyWhenAbsolute) {
  EXPECT_EQ(twl::HomeTrashDir("/x/share", "/home/u"), "/x/share/Trash");
  EXPECT_EQ(twl::HomeTrashDir("rel", "/home/u"), "/home/u/.local/share/Trash");
  EXPECT_EQ(twl::HomeTrashDir(nullptr, "/home/u"), "/home/u/.local/share/Trash");
  EXPECT_EQ(twl::HomeTrashDir(nullptr, nullptr), "");
  EXPECT_EQ(twl::HomeTrashDir("", "relhome"), "");
}

}  // namespace
