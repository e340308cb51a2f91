// Deletion, removal, overwriting and the trash over the sample prefix, with the races and
// links that must never reach anything outside.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "delete/tw_random.h"
#include "delete/tw_thread_delete.h"
#include "linux_test_util.h"
#include "platform/linux/wine_delete.h"
#include "platform/linux/wine_fs.h"
#include "support/null_platform.h"

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

// A lock on a host file held in this process through a descriptor of its own, as SQLite
// and the browsers lock their databases.
struct TLock {
  enum TKind { Posix, PosixRead, Ofd, Flock };
  TLock(const std::string& Host, TKind Kind) : Fd(open(Host.c_str(), O_RDWR)) {
    struct flock L;
    memset(&L, 0, sizeof L);
    L.l_type = Kind == PosixRead ? F_RDLCK : F_WRLCK;
    L.l_whence = SEEK_SET;
    L.l_start = Kind == Posix ? 0 : 0;
    L.l_len = Kind == Posix ? 1 : 0;  // SQLite locks single bytes
    if (Kind == Flock)
      Held = Fd >= 0 && flock(Fd, LOCK_EX) == 0;
    else
      Held = Fd >= 0 && fcntl(Fd, Kind == Ofd ? F_OFD_SETLK : F_SETLK, &L) == 0;
  }
  ~TLock() {
    if (Fd >= 0) close(Fd);
  }
  int Fd;
  bool Held = false;
};

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

// A file of the canary bind-mounted over a junk file, and folders mounted over empty
// folders: nothing may be written, moved or removed, and a mounted file is not listed.
TEST_P(DeleteTest, NothingThatIsAMountPointIsTouched) {
  if (!PrivateMountNamespace()) GTEST_SKIP() << "mounting is not allowed here";
  const std::string Junk = Pfx.AddFile("C:\\windows\\junk.tmp", 0, 0644, -1, "junk");
  const std::string Empty = Pfx.Outside() + "/empty";
  ASSERT_EQ(mkdir(Empty.c_str(), 0755), 0);
  Pfx.RecordOutside();
  TTestMount File(Pfx.OutsideFile(), Junk);
  TTestMount Bound(Empty, Pfx.AddDir("C:\\windows\\bound"));
  TTestMount Tmpfs("", Pfx.AddDir("C:\\windows\\tmpfs"));
  ASSERT_TRUE(File.Mounted() && Bound.Mounted() && Tmpfs.Mounted());

  for (const char* Dir : {"C:\\windows\\bound", "C:\\windows\\tmpfs"}) {
    SCOPED_TRACE(Dir);
    EXPECT_FALSE(P().RemoveDirectory(Dir, {}));
    EXPECT_NE(P().MoveToRecycleBin(Dir, true, {}), 0);
  }
  std::unique_ptr<TTWFile> F;
  EXPECT_EQ(P().OpenForOverwrite("C:\\windows\\junk.tmp", {}, F), TTWOpenResult::Failed);
  EXPECT_EQ(F, nullptr);
  EXPECT_FALSE(P().DeleteFile("C:\\windows\\junk.tmp", {}));
  EXPECT_NE(P().MoveToRecycleBin("C:\\windows\\junk.tmp", false, {}), 0);
  // Through the shredder as a run drives it, too.
  {
    ScopedPlatform Scope(P());
    EXPECT_NE(TTWThreadDelete::ShredEntry("C:\\windows\\junk.tmp", false, {}), 0);
  }

  // Listed neither eagerly nor lazily as a file; looked up, it is a reparse point.
  for (bool Lazy : {false, true}) {
    auto H = P().FindFirst("C:\\windows\\*", Lazy);
    ASSERT_NE(H, nullptr);
    TTWFindData D;
    bool Listed = false;
    while (H->Next(D))
      if (D.Name == "junk.tmp") Listed = Lazy ? H->Details(D) : true;
    EXPECT_FALSE(Listed) << (Lazy ? "lazy" : "eager");
  }
  TTWFindData D;
  ASSERT_TRUE(P().FindOne("C:\\windows\\junk.tmp", D));
  EXPECT_EQ(D.Attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_TRUE(Pfx.OutsideIntact());
}

// A file or folder in use elsewhere is neither written, moved nor removed; once it is
// free, it goes.
TEST_P(DeleteTest, ObjectsInUseElsewhereAreLeftAlone) {
  enum TOp { Delete, Overwrite, Trash };
  struct {
    const char* What;
    std::function<std::unique_ptr<void, void (*)(void*)>(const std::string&)> Hold;
  } Ways[] = {
      {"open in another process",
       [](const std::string& H) {
         auto* X = new TOtherProcessHold(H, TOtherProcessHold::OpenFd);
         EXPECT_TRUE(X->Holding());
         return std::unique_ptr<void, void (*)(void*)>(
             X, [](void* V) { delete static_cast<TOtherProcessHold*>(V); });
       }},
      {"mapped by another process",
       [](const std::string& H) {
         auto* X = new TOtherProcessHold(H, TOtherProcessHold::Mapping);
         EXPECT_TRUE(X->Holding());
         return std::unique_ptr<void, void (*)(void*)>(
             X, [](void* V) { delete static_cast<TOtherProcessHold*>(V); });
       }},
  };
  const TLock::TKind Locks[] = {TLock::Posix, TLock::PosixRead, TLock::Ofd, TLock::Flock};
  for (TOp Op : {Delete, Overwrite, Trash}) {
    auto Act = [&](const std::string& Path) {
      std::unique_ptr<TTWFile> F;
      switch (Op) {
        case Delete:
          return P().DeleteFile(Path, {});
        case Overwrite:
          return P().OpenForOverwrite(Path, {}, F) == TTWOpenResult::Opened;
        case Trash:
          return P().MoveToRecycleBin(Path, false, {}) == 0;
      }
      return false;
    };
    for (const auto& W : Ways) {
      SCOPED_TRACE(std::string(W.What) + " op " + std::to_string(Op));
      const std::string Host = Pfx.AddFile("C:\\u\\places.sqlite", 0, 0644, -1, "live");
      auto Hold = W.Hold(Host);
      EXPECT_FALSE(Act("C:\\u\\places.sqlite"));
      EXPECT_EQ(ReadHost(Host), "live");
      Hold.reset();
      EXPECT_TRUE(Act("C:\\u\\places.sqlite"));
      unlink(Host.c_str());
    }
    for (TLock::TKind K : Locks) {
      SCOPED_TRACE("lock " + std::to_string(K) + " op " + std::to_string(Op));
      const std::string Host = Pfx.AddFile("C:\\u\\cookies.sqlite", 0, 0644, -1, "live");
      {
        TLock L(Host, K);
        ASSERT_TRUE(L.Held);
        EXPECT_FALSE(Act("C:\\u\\cookies.sqlite"));
        EXPECT_EQ(ReadHost(Host), "live");
      }
      EXPECT_TRUE(Act("C:\\u\\cookies.sqlite"));
      unlink(Host.c_str());
    }
  }
  // A folder that another process works in.
  const std::string Dir = Pfx.AddDir("C:\\u\\cwd");
  {
    TOtherProcessHold H(Dir, TOtherProcessHold::WorkingFolder);
    ASSERT_TRUE(H.Holding());
    EXPECT_FALSE(P().RemoveDirectory("C:\\u\\cwd", {}));
    EXPECT_NE(P().MoveToRecycleBin("C:\\u\\cwd", true, {}), 0);
    EXPECT_TRUE(Exists(Dir));
  }
  EXPECT_TRUE(P().RemoveDirectory("C:\\u\\cwd", {}));
}

TEST(OpenFiles, TheScanSeesOtherProcessesButNotThisOne) {
  char Tmpl[] = "/tmp/tw-open-XXXXXX";
  int Fd = mkstemp(Tmpl);
  ASSERT_GE(Fd, 0);
  struct stat S;
  ASSERT_EQ(fstat(Fd, &S), 0);
  twl::TStatInfo St;
  St.Dev = S.st_dev;
  St.Ino = S.st_ino;
  twl::TOpenFiles Open;
  Open.Scan();
  EXPECT_FALSE(Open.Contains(St));  // our own descriptor
  {
    TOtherProcessHold H(Tmpl, TOtherProcessHold::OpenFd);
    ASSERT_TRUE(H.Holding());
    Open.Scan();
    EXPECT_TRUE(Open.Contains(St));
    EXPECT_GT(Open.Processes(), 0u);
  }
  Open.Scan("/nonexistent");
  EXPECT_EQ(Open.Count(), 0u);
  close(Fd);
  unlink(Tmpl);
}

// --- Sparse files: data is overwritten, holes are not

TEST_P(DeleteTest, NextDataReportsTheDataRangesOnly) {
  const uint64_t MiB = 1 << 20;
  const std::string Host = Pfx.AddFile("C:\\o\\sparse", 64 * MiB);
  {
    int Fd = open(Host.c_str(), O_WRONLY);
    ASSERT_GE(Fd, 0);
    const std::string Data(8192, 'd');
    ASSERT_EQ(pwrite(Fd, Data.data(), Data.size(), MiB), 8192);
    ASSERT_EQ(pwrite(Fd, Data.data(), 100, 40 * MiB), 100);
    close(Fd);
  }
  std::unique_ptr<TTWFile> F;
  ASSERT_EQ(P().OpenForOverwrite("C:\\o\\sparse", {}, F), TTWOpenResult::Opened);
  uint64_t Start = 0, Len = 0;
  ASSERT_TRUE(F->NextData(0, Start, Len));
  if (Start == 0 && Len == 64 * MiB) GTEST_SKIP() << "this file system reports no holes";
  EXPECT_EQ(Start, MiB);
  EXPECT_GE(Len, 8192u);
  ASSERT_TRUE(F->NextData(MiB + 8192, Start, Len));
  EXPECT_EQ(Start, 40 * MiB);  // a block of the file system holds the 100 bytes
  EXPECT_GE(Len, 100u);
  ASSERT_TRUE(F->NextData(Start + Len, Start, Len));
  EXPECT_EQ(Len, 0u);
  EXPECT_EQ(Start, 64 * MiB);
  ASSERT_TRUE(F->NextData(80 * MiB, Start, Len));  // beyond the end
  EXPECT_EQ(Len, 0u);
}

// A sparse file of 8 GiB with a little data: the shredder writes that data, five times,
// and the file never takes more room than it did.
TEST_P(DeleteTest, ShreddingASparseFileWritesItsDataNotItsHoles) {
  const uint64_t GiB = 1ull << 30;
  const std::string Host = Pfx.AddFile("C:\\o\\big.tmp", 8 * GiB);
  const std::string Old(12288, 'o');
  const uint64_t At[] = {0, 3 * GiB + 4096, 8 * GiB - 4096};
  int Keep = open(Host.c_str(), O_RDWR);  // ours: not "in use elsewhere"
  ASSERT_GE(Keep, 0);
  for (uint64_t A : At) {
    const size_t N = std::min<uint64_t>(Old.size(), 8 * GiB - A);
    ASSERT_EQ(pwrite(Keep, Old.data(), N, static_cast<off_t>(A)), static_cast<ssize_t>(N));
  }
  fsync(Keep);
  struct stat Before;
  ASSERT_EQ(fstat(Keep, &Before), 0);
  if (static_cast<uint64_t>(Before.st_blocks) * 512 > GiB) GTEST_SKIP() << "no sparse files here";

  RandomSeed(7);
  uint8_t Block[TW_RANDOM_BLOCK_SIZE];
  for (int I = 0; I < TW_SHRED_PASSES; ++I) FillRandomBlock(Block);  // the last pass's block
  RandomSeed(7);
  {
    ScopedPlatform Scope(P());
    EXPECT_EQ(TTWThreadDelete::ShredEntry("C:\\o\\big.tmp", false, {}), 0);
  }
  EXPECT_FALSE(Exists(Host));
  struct stat After;
  ASSERT_EQ(fstat(Keep, &After), 0);
  EXPECT_EQ(After.st_size, Before.st_size);
  EXPECT_LE(After.st_blocks, Before.st_blocks);
  for (uint64_t A : At) {
    std::string Got(Old.size(), '\0');
    ssize_t N = pread(Keep, Got.data(), Got.size(), static_cast<off_t>(A));
    ASSERT_GT(N, 0);
    for (ssize_t I = 0; I < N; ++I)
      ASSERT_EQ(static_cast<uint8_t>(Got[I]), Block[(A + I) % TW_RANDOM_BLOCK_SIZE])
          << "at " << A + I;
  }
  char Hole[4096];
  ASSERT_EQ(pread(Keep, Hole, sizeof Hole, static_cast<off_t>(GiB)), 4096);
  EXPECT_EQ(std::count(Hole, Hole + sizeof Hole, '\0'), 4096);
  close(Keep);
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

// A drive on a file system of its own (a tmpfs): the home trash cannot take its files
// without copying, so the trash at the top of that file system does, as the freedesktop
// trash has it; where none can, the item stays.
TEST_F(TrashTest, AnItemOnAnotherFileSystemGoesToThatVolumesTrash) {
  if (!PrivateMountNamespace()) GTEST_SKIP() << "mounting is not allowed here";
  const std::string Uid = std::to_string(geteuid());
  struct TCase {
    const char* What;
    std::function<void(const std::string& Vol, TSamplePrefix&)> Prepare;
    const char* Trash;  // where the item must go, relative to the volume; null: nowhere
  };
  const TCase Cases[] = {
      {"no trash yet", [](const std::string&, TSamplePrefix&) {}, ".Trash-%u"},
      {"a shared .Trash with the sticky bit",
       [](const std::string& V, TSamplePrefix&) {
         ASSERT_EQ(mkdir((V + "/.Trash").c_str(), 0777), 0);
         ASSERT_EQ(chmod((V + "/.Trash").c_str(), 01777), 0);
       },
       ".Trash/%u"},
      {"a shared .Trash without the sticky bit",
       [](const std::string& V, TSamplePrefix&) {
         ASSERT_EQ(mkdir((V + "/.Trash").c_str(), 0777), 0);
         ASSERT_EQ(chmod((V + "/.Trash").c_str(), 0777), 0);
       },
       ".Trash-%u"},
      {".Trash a link to the outside",
       [](const std::string& V, TSamplePrefix& X) {
         ASSERT_EQ(chmod(X.OutsideDir().c_str(), 01777), 0);
         X.RecordOutside();
         ASSERT_EQ(symlink(X.OutsideDir().c_str(), (V + "/.Trash").c_str()), 0);
       },
       ".Trash-%u"},
      {".Trash-uid a link to the outside",
       [&Uid](const std::string& V, TSamplePrefix& X) {
         ASSERT_EQ(symlink(X.OutsideDir().c_str(), (V + "/.Trash-" + Uid).c_str()), 0);
       },
       nullptr},
      {".Trash-uid owned by another user",
       [&Uid](const std::string& V, TSamplePrefix&) {
         ASSERT_EQ(mkdir((V + "/.Trash-" + Uid).c_str(), 0700), 0);
         ASSERT_EQ(chown((V + "/.Trash-" + Uid).c_str(), 4242, 4242), 0);
       },
       nullptr},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::string Vol = Pfx.Root() + "/vol";
    ASSERT_EQ(mkdir(Vol.c_str(), 0755), 0);
    {
      TTestMount M("", Vol);
      ASSERT_TRUE(M.Mounted());
      unlink((Pfx.Prefix() + "/dosdevices/e:").c_str());
      Pfx.AddDrive('e', Vol);
      ASSERT_EQ(mkdir((Vol + "/t").c_str(), 0755), 0);
      std::ofstream(Vol + "/t/junk.tmp") << "junk";
      C.Prepare(Vol, Pfx);
      const int32_t R = P().MoveToRecycleBin("E:\\t\\junk.tmp", false, {});
      if (C.Trash) {
        std::string Trash = C.Trash;
        Trash.replace(Trash.find("%u"), 2, Uid);
        EXPECT_EQ(R, 0);
        EXPECT_FALSE(Exists(Vol + "/t/junk.tmp"));
        EXPECT_EQ(ReadHost(Vol + "/" + Trash + "/files/junk.tmp"), "junk");
        const std::string Info = ReadHost(Vol + "/" + Trash + "/info/junk.tmp.trashinfo");
        EXPECT_NE(Info.find("Path=" + Pfx.Prefix() + "/dosdevices/e:/t/junk.tmp\n"),
                  std::string::npos)
            << Info;
      } else {
        EXPECT_NE(R, 0);
        EXPECT_EQ(ReadHost(Vol + "/t/junk.tmp"), "junk");
      }
      EXPECT_TRUE(Files().empty());  // never copied into the home trash
      EXPECT_TRUE(Pfx.OutsideIntact());
    }
    ASSERT_EQ(rmdir(Vol.c_str()), 0);
  }

  // A volume where no trash can be made: nothing is deleted instead.
  const std::string Vol = Pfx.Root() + "/ro";
  ASSERT_EQ(mkdir(Vol.c_str(), 0755), 0);
  TTestMount M("", Vol);
  ASSERT_TRUE(M.Mounted());
  Pfx.AddDrive('f', Vol);
  std::ofstream(Vol + "/keep.tmp") << "keep";
  ASSERT_TRUE(M.RemountReadOnly());
  EXPECT_NE(P().MoveToRecycleBin("F:\\keep.tmp", false, {}), 0);
  EXPECT_EQ(ReadHost(Vol + "/keep.tmp"), "keep");
}

TEST(TrashDir, HomeTrashFollowsXdgDataHomeOnlyWhenAbsolute) {
  EXPECT_EQ(twl::HomeTrashDir("/x/share", "/home/u"), "/x/share/Trash");
  EXPECT_EQ(twl::HomeTrashDir("rel", "/home/u"), "/home/u/.local/share/Trash");
  EXPECT_EQ(twl::HomeTrashDir(nullptr, "/home/u"), "/home/u/.local/share/Trash");
  EXPECT_EQ(twl::HomeTrashDir(nullptr, nullptr), "");
  EXPECT_EQ(twl::HomeTrashDir("", "relhome"), "");
}

}  // namespace
