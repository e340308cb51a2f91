#include "platform/linux/wine_find.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace twl {

namespace {

constexpr size_t kDentsSize = 32768;

struct TEntry {
  uint64_t Ino;
  uint32_t NameOff;
  uint16_t NameLen;
  uint8_t Type;         // DT_*
  uint8_t LinkDir : 2;  // 0 unknown, 1 a link to a directory, 2 a link to something else
  uint8_t Ascii : 1;    // sorting only: the name is ASCII, its key upper-cased in Keys
  uint8_t Mapped : 1;   // the Windows name differs from the Unix one (WinNameOf)
};

// One listing's memory: the getdents buffer, the names and the entries. Reused through
// a per-thread pool, so a walk allocates nothing per directory once it is warm.
struct TArena {
  std::vector<char> Dents;
  std::vector<char> Names;
  std::vector<char> Keys;  // sorting only: at each ASCII name's offset, its upper case
  std::vector<TEntry> Entries;
};

struct TPool {
  std::vector<std::unique_ptr<TArena>> Free;
  ~TPool();
};
thread_local bool GPoolGone = false;
thread_local TPool GPool;
TPool::~TPool() {
  GPoolGone = true;
}

std::unique_ptr<TArena> TakeArena() {
  if (!GPoolGone && !GPool.Free.empty()) {
    std::unique_ptr<TArena> A = std::move(GPool.Free.back());
    GPool.Free.pop_back();
    return A;
  }
  auto A = std::make_unique<TArena>();
  A->Dents.resize(kDentsSize);
  return A;
}

void GiveArena(std::unique_ptr<TArena> A) {
  if (!A || GPoolGone || GPool.Free.size() >= 64 || A->Names.capacity() > (1u << 20)) return;
  A->Names.clear();
  A->Keys.clear();
  A->Entries.clear();
  GPool.Free.push_back(std::move(A));
}

// Arenas of listings read ahead: made on the read-ahead's threads, freed on the walk's,
// so they go back through a bin of their own rather than a thread's pool.
class TArenaBin {
 public:
  std::unique_ptr<TArena> Take() {
    {
      std::lock_guard<std::mutex> G(FLock);
      if (!FFree.empty()) {
        std::unique_ptr<TArena> A = std::move(FFree.back());
        FFree.pop_back();
        return A;
      }
    }
    return std::make_unique<TArena>();
  }
  void Give(std::unique_ptr<TArena> A) {
    if (!A || A->Names.capacity() > (1u << 20)) return;
    A->Names.clear();
    A->Keys.clear();
    A->Entries.clear();
    std::lock_guard<std::mutex> G(FLock);
    if (FFree.size() < 256) FFree.push_back(std::move(A));
  }

 private:
  std::mutex FLock;
  std::vector<std::unique_ptr<TArena>> FFree;
};

inline bool IsDot(const char* N, size_t L) {
  return (L == 1 && N[0] == '.') || (L == 2 && N[0] == '.' && N[1] == '.');
}

// What is known of the file system that holds a folder; its children share it, since a
// walk never crosses a mount.
enum : uint8_t {
  kFsUnknown = 0x80,  // not asked yet
  // Every directory of a mount has the mount's st_dev, so a child reached without
  // crossing a mount has its parent's. Not so for btrfs subvolumes, overlays or network
  // file systems: there each child is checked with fstat.
  kFsDevPerMount = 1,
  // getdents64 fills the buffer until the entry that does not fit or the end of the
  // folder, so a read that leaves room for the longest entry was the last one.
  kFsShortReadEnds = 2,
};

uint8_t FsTraits(int Dir) {
  struct statfs Fs;
  if (fstatfs(Dir, &Fs) != 0) return 0;
  switch (static_cast<unsigned long>(Fs.f_type)) {
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
    case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
      return kFsDevPerMount | kFsShortReadEnds;
    case XFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
      return kFsDevPerMount;
    default:
      return 0;
  }
}

// The longest record getdents64 can return: header, a 255-byte name and its NUL, aligned.
constexpr long kMaxDirentSize = (19 + 256 + 7) / 8 * 8;

// Opens the directory Name of Dir in one call that itself refuses links (the last
// component included) and any mount crossing. -1 with errno ENOSYS or EPERM when the
// kernel or a sandbox does not offer openat2.
int OpenChildNoXdev(int Dir, const char* Name) {
  static std::atomic<bool> Missing{false};
  if (GForceOpenatChain.load(std::memory_order_relaxed) ||
      Missing.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  struct open_how How;
  memset(&How, 0, sizeof How);
  How.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  How.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
  long Fd = syscall(SYS_openat2, Dir, Name, &How, sizeof How);
  // Neither answer depends on the folder: do not ask again.
  if (Fd < 0 && (errno == ENOSYS || errno == EPERM)) Missing.store(true, std::memory_order_relaxed);
  return static_cast<int>(Fd);
}

// A folder's place in a depth-first walk: the index of each folder on the way down in
// its parent's listing. Compared as sequences, places are in the order the walk enters them.
using TKey = std::vector<uint32_t>;

// A listing read ahead, handed to the walk.
struct TListing {
  TFd Dir;
  TStatInfo St;
  std::unique_ptr<TArena> A;
  uint8_t Fs = kFsUnknown;
};

class TWineFind;

class TReadAheadPool final : public TTWReadAhead {
 public:
  TReadAheadPool(std::function<bool()> Stopped, unsigned Threads);
  ~TReadAheadPool() override;
  bool Begin(TTWFindHandle& Root) override;
  void End() override;
  TTWReadAheadStats Stats() const override;

  // The walk enters the folder at Key: its listing when one was read ahead (waiting for
  // one under way). Everything before Key that the walk did not take is dropped.
  bool Take(uint64_t Session, const TKey& Key, TListing& Out);
  // The walk listed the folder at Key itself: its subfolders may be read ahead.
  void Listed(uint64_t Session, const TKey& Key, const TWineFind& H);
  // A listing taken was not used: the folder at its name is another one now.
  void Refused();
  // Whether the walk should ask for listings or offer its own: the read-ahead runs, or
  // still holds listings.
  bool Wanted() const {
    return FEngaged.load(std::memory_order_relaxed) ||
           FJobCount.load(std::memory_order_relaxed) != 0;
  }
  // The walk listed a folder itself in Ns nanoseconds. Listings that take as long as a
  // disk read start the read-ahead; it parks itself again when its own listings come
  // from the cache, since then it only takes CPU from the walk.
  void WalkListed(int64_t Ns);
  // Where the arenas of listings read ahead go back to; those of the walk's own stay with
  // its thread.
  const std::shared_ptr<TArenaBin>& Bin() const { return FBin; }

 private:
  struct TSub {
    std::string Name;  // on disk
    uint64_t Ino;
    uint32_t Index;  // in the parent's listing
  };
  // A listed folder whose subfolders are still to be read ahead.
  struct TNode {
    std::shared_ptr<TFd> Dir;  // a descriptor of its own, for opening the subfolders
    TStatInfo St;
    uint8_t Fs = kFsUnknown;
    std::vector<TSub> Subs;
    size_t Next = 0;
  };
  enum class TState { Running, Ready, Failed };
  struct TJob {
    TState State = TState::Running;
    bool Stale = false;  // passed by the walk while it was listed
    TListing L;
    size_t Bytes = 0;
  };
  struct TWork {
    TKey Key;
    std::shared_ptr<TFd> Parent;
    TStatInfo ParentSt;
    uint8_t Fs = kFsUnknown;
    std::string Name;
    uint64_t Ino = 0;
    uint64_t Session = 0;
    TFindContext Ctx;  // the walk's, taken under the lock: the next walk may replace it
  };

  void Run();
  bool PickLocked(TWork& W);
  bool List(const TWork& W, TListing& L, std::vector<TSub>& Subs);
  // Drops what lies before the walk's place; the dropped listings go to Trash, to be
  // freed outside the lock.
  void DropPassedLocked(std::vector<TListing>& Trash);
  void ClearLocked(std::vector<TListing>& Trash);
  void AddNodeLocked(const TKey& Key, std::shared_ptr<TFd> Dir, const TStatInfo& St, uint8_t Fs,
                     std::vector<TSub> Subs);
  bool RoomLocked() const { return FJobs.size() < kMaxFolders && FBytes < kMaxBytes; }

  void EngageLocked();

  static constexpr int64_t kSlowNs = 200'000;  // the walk's own listings, smoothed
  static constexpr int64_t kFastNs = 60'000;   // the read-ahead's, smoothed
  static constexpr size_t kMaxFolders = 64;
  static constexpr size_t kMaxBytes = 8u << 20;

  std::function<bool()> FStopped;
  std::shared_ptr<TArenaBin> FBin = std::make_shared<TArenaBin>();
  unsigned FThreadCount;
  std::vector<std::thread> FThreads;

  mutable std::mutex FLock;
  std::condition_variable FWorkCond;  // pool threads: work or room
  std::condition_variable FTakeCond;  // the walk: a listing under way ended
  bool FQuit = false;
  bool FActive = false;
  uint64_t FSession = 0;
  TFindContext FCtx;
  TKey FCursor;  // the walk's place
  std::map<TKey, TNode> FNodes;
  std::map<TKey, TJob> FJobs;
  size_t FBytes = 0;
  unsigned FIdle = 0;
  bool FTakeWaiting = false;
  TTWReadAheadStats FStats;
  std::atomic<bool> FEngaged{false};
  std::atomic<size_t> FJobCount{0};
  int64_t FWalkNs = 0;  // the walk's thread only
  int64_t FPoolNs = 0;
};

class TWineFind : public TTWFindHandle {
 public:
  TWineFind(TFd Dir, const TStatInfo& DirSt, bool Lazy, const TFindContext& Ctx,
            uint8_t Fs = kFsUnknown)
      : FDir(std::move(Dir)), FDirSt(DirSt), FLazy(Lazy), FCtx(Ctx), FA(TakeArena()), FFs(Fs) {}
  // An empty listing over an arena of the read-ahead, which brings its own read buffer.
  TWineFind(TFd Dir, const TStatInfo& DirSt, const TFindContext& Ctx, uint8_t Fs,
            std::unique_ptr<TArena> A)
      : FDir(std::move(Dir)), FDirSt(DirSt), FLazy(true), FCtx(Ctx), FA(std::move(A)), FFs(Fs) {}
  // A listing read ahead: already loaded.
  TWineFind(TListing L, bool Lazy, const TFindContext& Ctx)
      : FDir(std::move(L.Dir)),
        FDirSt(L.St),
        FLazy(Lazy),
        FCtx(Ctx),
        FA(std::move(L.A)),
        FFs(L.Fs) {}
  // A folder opened through openat2 whose identity is still to be confirmed: its
  // listing's "." must carry the inode number its parent listed.
  void ExpectSelf() { FCheckSelf = true; }
  ~TWineFind() override {
    if (FBin)
      FBin->Give(std::move(FA));
    else
      GiveArena(std::move(FA));
  }

  // Read ahead below this folder, which is at Key in the walk of Session; the arena goes
  // back to Bin when there is one.
  void Attach(TReadAheadPool* Pool, uint64_t Session, TKey Key, std::shared_ptr<TArenaBin> Bin) {
    FBin = std::move(Bin);
    FPool = Pool;
    FSession = Session;
    FKey = std::move(Key);
  }
  // Asked between reads of a large folder: a stopping run lists no further.
  void StopWhen(const std::function<bool()>* Stopped) { FStopped = Stopped; }
  int Dir() const { return FDir.Get(); }
  const TStatInfo& DirSt() const { return FDirSt; }
  uint8_t Fs() const { return FFs; }
  const TFindContext& Ctx() const { return FCtx; }
  // The subfolders of the listing, by their names on disk, with their inode numbers and
  // places in the listing.
  template <class TOut>
  void Subfolders(TOut&& Out) const {
    for (size_t I = 0; I < FA->Entries.size(); ++I) {
      const TEntry& E = FA->Entries[I];
      if (E.Type == DT_DIR && !IsDot(NameOf(E), E.NameLen))
        Out(NameOf(E), E.NameLen, E.Ino, static_cast<uint32_t>(I));
    }
  }
  size_t Bytes() const {
    return FA->Dents.capacity() + FA->Names.capacity() + FA->Keys.capacity() +
           FA->Entries.capacity() * sizeof(TEntry);
  }
  TListing Release() {
    TListing L;
    L.Dir = std::move(FDir);
    L.St = FDirSt;
    L.A = std::move(FA);
    L.Fs = FFs;
    return L;
  }

  bool Load(const TNameMask& Mask, bool DriveRoot);
  void Sort(size_t From);
  bool Next(TTWFindData& Data) override;
  bool Details(TTWFindData& Data) override;
  std::unique_ptr<TTWFindHandle> FindFirstIn(const TTWFindData& Child, const std::string& Pattern,
                                             bool Lazy) override;

 private:
  const char* NameOf(const TEntry& E) const { return FA->Names.data() + E.NameOff; }
  // The name the entry shows: its Unix name, or the mapped one.
  void WinName(const TEntry& E, std::string& Out) const {
    if (E.Mapped)
      WinNameOf(NameOf(E), E.NameLen, Out);
    else
      Out.assign(NameOf(E), E.NameLen);
  }
  void Add(const char* Name, size_t Len, uint8_t Type, uint64_t Ino, bool Mapped = false) {
    TEntry E{Ino, static_cast<uint32_t>(FA->Names.size()), static_cast<uint16_t>(Len), Type, 0,
             0,   static_cast<uint8_t>(Mapped ? 1 : 0)};
    FA->Names.insert(FA->Names.end(), Name, Name + Len);
    FA->Names.push_back('\0');
    FA->Entries.push_back(E);
  }

  TFd FDir;
  TStatInfo FDirSt;
  bool FLazy;
  TFindContext FCtx;
  std::unique_ptr<TArena> FA;
  size_t FPos = 0;
  long FLast = -1;
  bool FCheckSelf = false;
  uint8_t FFs;  // kFs* of FDir
  std::string FMappedName;
  TReadAheadPool* FPool = nullptr;
  std::shared_ptr<TArenaBin> FBin;
  uint64_t FSession = 0;
  TKey FKey;
  const std::function<bool()>* FStopped = nullptr;
};

bool TWineFind::Load(const TNameMask& Mask, bool DriveRoot) {
  size_t Fixed = 0;
  if (!DriveRoot) {
    if (Mask.Matches(".", 1)) {
      Add(".", 1, DT_DIR, FDirSt.Ino);
      ++Fixed;
    }
    if (Mask.Matches("..", 2)) {
      Add("..", 2, DT_DIR, 0);
      ++Fixed;
    }
  }
  const bool HostRoot = FDirSt.Dev == FCtx.HostRootDev && FDirSt.Ino == FCtx.HostRootIno;
  const bool PrefixHere = FCtx.HavePrefix && FDirSt.Dev == FCtx.PrefixDev;
  if (FFs == kFsUnknown) FFs = FsTraits(FDir.Get());
  if (FA->Dents.size() < kDentsSize) FA->Dents.resize(kDentsSize);
  char* Buf = FA->Dents.data();
  const long BufSize = static_cast<long>(FA->Dents.size());
  bool SelfSeen = false;
  for (bool More = true; More;) {
    if (FStopped && (*FStopped)()) return false;
    long N = syscall(SYS_getdents64, FDir.Get(), Buf, BufSize);
    if (N <= 0) break;
    // Saves the second call, which would only find the end, in most folders.
    More = !(FFs & kFsShortReadEnds) || N > BufSize - kMaxDirentSize;
    for (long Off = 0; Off < N;) {
      const char* Rec = Buf + Off;
      uint64_t Ino;
      unsigned short RecLen;
      memcpy(&Ino, Rec, sizeof Ino);
      memcpy(&RecLen, Rec + 16, sizeof RecLen);
      const uint8_t Type = static_cast<uint8_t>(Rec[18]);
      const char* Name = Rec + 19;
      Off += RecLen;
      const size_t Len = strnlen(Name, static_cast<size_t>(RecLen) - 19);
      if (Len == 1 && Name[0] == '.' && FCheckSelf) SelfSeen = Ino == FDirSt.Ino;
      if (Len == 0 || IsDot(Name, Len)) continue;
      if (Len > 255 && Utf16Length(Name, Len) > 255) continue;
      if (PrefixHere && Ino == FCtx.PrefixIno) continue;
      if (HostRoot && ((Len == 3 && (memcmp(Name, "dev", 3) == 0 || memcmp(Name, "sys", 3) == 0)) ||
                       (Len == 4 && memcmp(Name, "proc", 4) == 0)))
        continue;
      if (NameNeedsMapping(Name, Len)) {
        // Listed under its Windows name, or not at all when it has none.
        if (!WinNameOf(Name, Len, FMappedName) ||
            !Mask.Matches(FMappedName.data(), FMappedName.size()))
          continue;
        Add(Name, Len, Type, Ino, true);
        continue;
      }
      if (!Mask.Matches(Name, Len)) continue;
      Add(Name, Len, Type, Ino);
    }
  }
  if (FCheckSelf && !SelfSeen) {
    // No "." in the listing, or not the folder that was listed: ask the folder itself.
    TStatInfo St;
    if (!StatAt(FDir.Get(), "", false, St) || St.Ino != FDirSt.Ino || St.Dev != FDirSt.Dev ||
        St.MountRoot)
      return false;
  }
  FCheckSelf = false;
  if (FA->Entries.size() - Fixed > 1) Sort(Fixed);
  return !FA->Entries.empty();
}

// Wine's order. Most names are ASCII: for two of those the order is that of their
// upper-cased bytes, then of their lengths, then of their own bytes, which the keys
// give without decoding a character per comparison.
void TWineFind::Sort(size_t From) {
  const char* Names = FA->Names.data();
  FA->Keys.resize(FA->Names.size());
  char* Keys = FA->Keys.data();
  for (size_t I = From; I < FA->Entries.size(); ++I) {
    TEntry& E = FA->Entries[I];
    const char* N = Names + E.NameOff;
    char* K = Keys + E.NameOff;
    bool Ascii = true;
    for (size_t J = 0; J < E.NameLen; ++J) {
      const char C = N[J];
      Ascii = Ascii && static_cast<unsigned char>(C) < 0x80;
      K[J] = (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C;
    }
    E.Ascii = Ascii ? 1 : 0;
  }
  std::sort(FA->Entries.begin() + static_cast<long>(From), FA->Entries.end(),
            [Names, Keys](const TEntry& A, const TEntry& B) {
              if (A.Ascii && B.Ascii) {
                const size_t N = A.NameLen < B.NameLen ? A.NameLen : B.NameLen;
                int R = memcmp(Keys + A.NameOff, Keys + B.NameOff, N);
                if (R != 0) return R < 0;
                if (A.NameLen != B.NameLen) return A.NameLen < B.NameLen;
                return memcmp(Names + A.NameOff, Names + B.NameOff, N) < 0;
              }
              return CompareNames(Names + A.NameOff, A.NameLen, Names + B.NameOff, B.NameLen) < 0;
            });
}

bool TWineFind::Next(TTWFindData& Data) {
  while (FPos < FA->Entries.size()) {
    const size_t Index = FPos++;
    TEntry& E = FA->Entries[Index];
    const char* Name = NameOf(E);
    if (E.Type == DT_UNKNOWN) {
      TStatInfo St;
      if (!StatAt(FDir.Get(), Name, false, St)) continue;  // gone
      E.Type = S_ISDIR(St.Mode) ? DT_DIR : S_ISLNK(St.Mode) ? DT_LNK : DT_REG;
    }
    FLast = static_cast<long>(Index);
    WinName(E, Data.Name);
    Data.Size = 0;
    Data.Id = TTWFileId();
    Data.HasDetails = false;
    Data.ReparseTag = 0;
    uint32_t A = 0;
    if (E.Type == DT_DIR) {
      A = FILE_ATTRIBUTE_DIRECTORY;
    } else if (E.Type == DT_LNK) {
      if (E.LinkDir == 0) {
        TStatInfo T;
        E.LinkDir = StatAt(FDir.Get(), Name, true, T) && S_ISDIR(T.Mode) ? 1 : 2;
      }
      A = FILE_ATTRIBUTE_REPARSE_POINT | (E.LinkDir == 1 ? FILE_ATTRIBUTE_DIRECTORY : 0);
      Data.ReparseTag = IO_REPARSE_TAG_SYMLINK;
    }
    if (Name[0] == '.' && !IsDot(Name, E.NameLen) && !FCtx.ShowDotFiles) A |= FILE_ATTRIBUTE_HIDDEN;
    Data.Attributes = A;
    if (!FLazy && !Details(Data)) continue;  // vanished between listing and stat
    return true;
  }
  FLast = -1;
  return false;
}

bool TWineFind::Details(TTWFindData& Data) {
  if (FLast < 0) return false;
  const TEntry& E = FA->Entries[static_cast<size_t>(FLast)];
  const char* Name = NameOf(E);
  TStatInfo St;
  const bool Self = E.NameLen == 1 && Name[0] == '.';
  if (!StatAt(FDir.Get(), Self ? "" : Name, false, St)) return false;
  // A file that is a mount point is left out of the listing: the lazy walk has taken it
  // for a file already and would record it.
  if (!S_ISDIR(St.Mode) && !S_ISLNK(St.Mode) && (St.Dev != FDirSt.Dev || St.MountRoot))
    return false;
  FillDetails(FDir.Get(), FDirSt.Dev, Self ? "" : Name, Self ? 0 : E.NameLen, St, FCtx.ShowDotFiles,
              Data);
  WinName(E, Data.Name);
  return true;
}

std::unique_ptr<TTWFindHandle> TWineFind::FindFirstIn(const TTWFindData& Child,
                                                      const std::string& Pattern, bool Lazy) {
  if (Pattern.empty()) return nullptr;
  const TEntry* E = nullptr;
  auto Same = [&](const TEntry& X) {
    if (X.Mapped) {
      WinName(X, FMappedName);
      return FMappedName == Child.Name;
    }
    return X.NameLen == Child.Name.size() && memcmp(NameOf(X), Child.Name.data(), X.NameLen) == 0;
  };
  if (FLast >= 0 && Same(FA->Entries[static_cast<size_t>(FLast)]))
    E = &FA->Entries[static_cast<size_t>(FLast)];
  for (size_t I = 0; !E && I < FA->Entries.size(); ++I)
    if (Same(FA->Entries[I])) E = &FA->Entries[I];
  if (!E || IsDot(NameOf(*E), E->NameLen) || E->Type != DT_DIR) return nullptr;

  TKey Key;
  const bool Ahead = FPool && Pattern == "*.*" && FPool->Wanted();
  if (Ahead) {
    Key.reserve(FKey.size() + 1);
    Key = FKey;
    Key.push_back(static_cast<uint32_t>(E - FA->Entries.data()));
    TListing L;
    if (FPool->Take(FSession, Key, L)) {
      // Listed a moment ago: the folder at the name now must still be that one, a plain
      // folder of this file system, or the walk reads the name afresh.
      TStatInfo Now;
      if (StatAt(FDir.Get(), NameOf(*E), false, Now) && S_ISDIR(Now.Mode) && Now.Ino == L.St.Ino &&
          Now.Dev == L.St.Dev && L.St.Ino == E->Ino && L.St.Dev == FDirSt.Dev && !Now.MountRoot &&
          !L.St.MountRoot && (!Child.Id.Valid() || Child.Id == IdOf(L.St))) {
        auto H = std::make_unique<TWineFind>(std::move(L), Lazy, FCtx);
        H->Attach(FPool, FSession, std::move(Key), FPool->Bin());
        return H;
      }
      FPool->Refused();
    }
  }
  const auto Start =
      FPool ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
  auto Attached = [&](std::unique_ptr<TWineFind> H) -> std::unique_ptr<TTWFindHandle> {
    if (FPool) {
      FPool->WalkListed(std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now() - Start)
                            .count());
      if (Key.empty()) {
        Key = FKey;
        Key.push_back(static_cast<uint32_t>(E - FA->Entries.data()));
      }
      if (FPool->Wanted()) FPool->Listed(FSession, Key, *H);
      H->Attach(FPool, FSession, std::move(Key), nullptr);
    }
    return H;
  };

  // A lazy walk records no folder ids, so one openat2 can stand for openat + fstat: the
  // child's device is its parent's (no mount was crossed, and on these file systems a
  // mount has one device), and its inode number is checked against the listing's ".".
  if (Lazy && !Child.Id.Valid()) {
    if (FFs & kFsDevPerMount) {
      int Fd = OpenChildNoXdev(FDir.Get(), NameOf(*E));
      if (Fd >= 0) {
        GDescentOpenat2Used.fetch_add(1, std::memory_order_relaxed);
        TStatInfo St;
        St.Mode = S_IFDIR;
        St.Dev = FDirSt.Dev;
        St.Ino = E->Ino;
        auto H = std::make_unique<TWineFind>(TFd(Fd), St, Lazy, FCtx, FFs);
        H->ExpectSelf();
        if (!H->Load(TNameMask(Pattern), false)) return nullptr;
        return Attached(std::move(H));
      }
      // A link, a mount, or gone: refused, as the descriptor chain would.
      if (errno != ENOSYS && errno != EPERM) return nullptr;
    }
  }

  GDescentOpenatUsed.fetch_add(1, std::memory_order_relaxed);
  TFd Sub(openat(FDir.Get(), NameOf(*E), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!Sub.Valid()) return nullptr;
  TStatInfo St;
  if (!StatAt(Sub.Get(), "", false, St)) return nullptr;
  // The folder opened must be the one listed, on this file system, and no mount.
  if (St.Ino != E->Ino || St.Dev != FDirSt.Dev || St.MountRoot) return nullptr;
  if (Child.Id.Valid() && !(Child.Id == IdOf(St))) return nullptr;
  auto H = std::make_unique<TWineFind>(std::move(Sub), St, Lazy, FCtx, FFs);
  if (!H->Load(TNameMask(Pattern), false)) return nullptr;
  return Attached(std::move(H));
}

// --- Read-ahead

TReadAheadPool::TReadAheadPool(std::function<bool()> Stopped, unsigned Threads)
    : FStopped(std::move(Stopped)), FThreadCount(Threads) {}

TReadAheadPool::~TReadAheadPool() {
  std::vector<TListing> Trash;
  {
    std::lock_guard<std::mutex> G(FLock);
    FQuit = true;
    ClearLocked(Trash);
  }
  FWorkCond.notify_all();
  FTakeCond.notify_all();
  for (std::thread& T : FThreads) T.join();
}

bool TReadAheadPool::Begin(TTWFindHandle& Root) {
  auto* H = dynamic_cast<TWineFind*>(&Root);
  if (!H) return false;
  std::vector<TSub> Subs;
  H->Subfolders([&](const char* Name, size_t Len, uint64_t Ino, uint32_t Index) {
    Subs.push_back({std::string(Name, Len), Ino, Index});
  });
  auto Dir = std::make_shared<TFd>(fcntl(H->Dir(), F_DUPFD_CLOEXEC, 0));
  if (!Dir->Valid()) return false;
  std::vector<TListing> Trash;
  uint64_t Session;
  {
    std::lock_guard<std::mutex> G(FLock);
    ClearLocked(Trash);
    Session = ++FSession;
    FActive = true;
    FCtx = H->Ctx();
    FCursor.clear();
    AddNodeLocked(TKey(), std::move(Dir), H->DirSt(), H->Fs(), std::move(Subs));
    if (GReadAheadEager.load(std::memory_order_relaxed)) EngageLocked();
  }
  H->Attach(this, Session, TKey(), nullptr);
  FWorkCond.notify_all();
  return true;
}

void TReadAheadPool::End() {
  std::vector<TListing> Trash;
  {
    std::lock_guard<std::mutex> G(FLock);
    ClearLocked(Trash);
    FActive = false;
    ++FSession;
  }
  FTakeCond.notify_all();
}

TTWReadAheadStats TReadAheadPool::Stats() const {
  std::lock_guard<std::mutex> G(FLock);
  return FStats;
}

void TReadAheadPool::EngageLocked() {
  FEngaged.store(true, std::memory_order_relaxed);
  FPoolNs = kSlowNs;
  // Started when first needed: a walk over a warm cache costs no thread.
  if (FThreads.empty()) {
    for (unsigned I = 0; I < FThreadCount; ++I) FThreads.emplace_back([this] { Run(); });
  }
}

void TReadAheadPool::WalkListed(int64_t Ns) {
  FWalkNs += (Ns - FWalkNs) / 4;
  if (FWalkNs < kSlowNs || FEngaged.load(std::memory_order_relaxed)) return;
  FWalkNs = 0;
  {
    std::lock_guard<std::mutex> G(FLock);
    if (!FActive) return;
    EngageLocked();
  }
  FWorkCond.notify_all();
}

void TReadAheadPool::Refused() {
  std::lock_guard<std::mutex> G(FLock);
  ++FStats.Refused;
}

void TReadAheadPool::ClearLocked(std::vector<TListing>& Trash) {
  for (auto& [K, J] : FJobs) {
    if (J.State == TState::Ready) {
      ++FStats.Dropped;
      Trash.push_back(std::move(J.L));
    }
  }
  // Listings under way find their session gone when they end.
  FJobs.clear();
  FJobCount.store(0, std::memory_order_relaxed);
  FNodes.clear();
  FBytes = 0;
}

void TReadAheadPool::AddNodeLocked(const TKey& Key, std::shared_ptr<TFd> Dir, const TStatInfo& St,
                                   uint8_t Fs, std::vector<TSub> Subs) {
  if (Subs.empty()) return;
  TNode& N = FNodes[Key];
  N.Dir = std::move(Dir);
  N.St = St;
  N.Fs = Fs;
  N.Subs = std::move(Subs);
  N.Next = 0;
}

void TReadAheadPool::DropPassedLocked(std::vector<TListing>& Trash) {
  // Before the walk's place and not on its way down: never to be entered.
  auto Passed = [this](const TKey& K) {
    return K < FCursor &&
           !(K.size() <= FCursor.size() && std::equal(K.begin(), K.end(), FCursor.begin()));
  };
  for (auto It = FJobs.begin(); It != FJobs.end() && It->first < FCursor;) {
    TJob& J = It->second;
    if (J.State == TState::Running) {
      J.Stale = true;
      ++It;
      continue;
    }
    if (J.State == TState::Ready) {
      ++FStats.Dropped;
      FBytes -= J.Bytes;
      Trash.push_back(std::move(J.L));
    }
    It = FJobs.erase(It);
  }
  for (auto It = FNodes.begin(); It != FNodes.end() && It->first < FCursor;) {
    if (Passed(It->first))
      It = FNodes.erase(It);
    else
      ++It;
  }
}

bool TReadAheadPool::Take(uint64_t Session, const TKey& Key, TListing& Out) {
  std::vector<TListing> Trash;
  bool Got = false, Wake = false;
  {
    std::unique_lock<std::mutex> G(FLock);
    if (Session != FSession || !FActive) return false;
    const size_t Before = FJobs.size();
    FCursor = Key;
    DropPassedLocked(Trash);
    auto It = FJobs.find(Key);
    if (It != FJobs.end() && It->second.State == TState::Running && !FStopped()) {
      ++FStats.Waited;
      FTakeWaiting = true;
      FTakeCond.wait(G, [&] {
        It = FJobs.find(Key);
        return Session != FSession || It == FJobs.end() || It->second.State != TState::Running;
      });
      FTakeWaiting = false;
      if (Session != FSession) return false;
    }
    if (It != FJobs.end() && It->second.State != TState::Running) {
      if (It->second.State == TState::Ready) {
        Out = std::move(It->second.L);
        FBytes -= It->second.Bytes;
        ++FStats.Used;
        Got = true;
      }
      FJobs.erase(It);
    }
    FJobCount.store(FJobs.size(), std::memory_order_relaxed);
    // Room again after a full pool: wake the threads waiting for it, not at every take.
    Wake = FIdle > 0 && Before >= kMaxFolders * 3 / 4 && FJobs.size() < kMaxFolders * 3 / 4;
  }
  if (Wake) FWorkCond.notify_all();
  return Got;
}

void TReadAheadPool::Listed(uint64_t Session, const TKey& Key, const TWineFind& H) {
  std::vector<TSub> Subs;
  H.Subfolders([&](const char* Name, size_t Len, uint64_t Ino, uint32_t Index) {
    Subs.push_back({std::string(Name, Len), Ino, Index});
  });
  if (Subs.empty()) return;
  auto Dir = std::make_shared<TFd>(fcntl(H.Dir(), F_DUPFD_CLOEXEC, 0));
  if (!Dir->Valid()) return;
  bool Wake;
  {
    std::lock_guard<std::mutex> G(FLock);
    if (Session != FSession || !FActive) return;
    AddNodeLocked(Key, std::move(Dir), H.DirSt(), H.Fs(), std::move(Subs));
    Wake = FIdle > 0;
  }
  if (Wake) FWorkCond.notify_all();
}

bool TReadAheadPool::PickLocked(TWork& W) {
  if (!FActive || !FEngaged.load(std::memory_order_relaxed) || !RoomLocked() || FStopped())
    return false;
  // The first folder, in the walk's order, that is neither entered nor read ahead yet.
  TKey Best;
  TNode* BestNode = nullptr;
  TKey K;
  for (auto It = FNodes.begin(); It != FNodes.end();) {
    TNode& N = It->second;
    bool Found = false;
    while (N.Next < N.Subs.size()) {
      K = It->first;
      K.push_back(N.Subs[N.Next].Index);
      if (FCursor < K) {
        Found = true;
        break;
      }
      ++N.Next;
    }
    if (!Found) {
      It = FNodes.erase(It);
      continue;
    }
    if (!BestNode || K < Best) {
      Best = K;
      BestNode = &N;
    }
    ++It;
  }
  if (!BestNode) return false;
  const TSub& S = BestNode->Subs[BestNode->Next++];
  W.Key = std::move(Best);
  W.Parent = BestNode->Dir;
  W.ParentSt = BestNode->St;
  W.Fs = BestNode->Fs;
  W.Name = S.Name;
  W.Ino = S.Ino;
  W.Session = FSession;
  W.Ctx = FCtx;
  FJobs[W.Key];  // under way
  FJobCount.store(FJobs.size(), std::memory_order_relaxed);
  return true;
}

bool TReadAheadPool::List(const TWork& W, TListing& L, std::vector<TSub>& Subs) {
  // As FindFirstIn opens a folder: relative to its parent, no link, the folder the
  // parent listed, on the parent's file system, no mount point.
  TFd Sub(openat(W.Parent->Get(), W.Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!Sub.Valid()) return false;
  TStatInfo St;
  if (!StatAt(Sub.Get(), "", false, St) || St.Ino != W.Ino || St.Dev != W.ParentSt.Dev ||
      St.MountRoot)
    return false;
  std::unique_ptr<TArena> A = FBin->Take();
  // One read buffer per thread: a listing handed over needs none.
  thread_local std::vector<char> Dents(kDentsSize);
  A->Dents.swap(Dents);
  TArena* Own = A.get();
  TWineFind H(std::move(Sub), St, W.Ctx, W.Fs, std::move(A));
  H.StopWhen(&FStopped);
  const bool Loaded = H.Load(TNameMask("*.*"), false);
  Own->Dents.swap(Dents);
  if (!Loaded) {
    FBin->Give(H.Release().A);
    return false;
  }
  H.Subfolders([&](const char* Name, size_t Len, uint64_t Ino, uint32_t Index) {
    Subs.push_back({std::string(Name, Len), Ino, Index});
  });
  L = H.Release();
  return true;
}

void TReadAheadPool::Run() {
  std::unique_lock<std::mutex> G(FLock);
  for (;;) {
    TWork W;
    if (FQuit) return;
    if (!PickLocked(W)) {
      ++FIdle;
      FWorkCond.wait(G);
      --FIdle;
      continue;
    }
    G.unlock();
    TListing L;
    std::vector<TSub> Subs;
    bool Ok = false;
    size_t Bytes = 0;
    std::shared_ptr<TFd> Dir;
    const auto Began = std::chrono::steady_clock::now();
    try {
      Ok = List(W, L, Subs);
      if (Ok) {
        Bytes = L.A->Dents.capacity() + L.A->Names.capacity() + L.A->Keys.capacity() +
                L.A->Entries.capacity() * sizeof(TEntry);
        if (!Subs.empty()) {
          Dir = std::make_shared<TFd>(fcntl(L.Dir.Get(), F_DUPFD_CLOEXEC, 0));
          if (!Dir->Valid()) Subs.clear();
        }
      }
    } catch (const std::bad_alloc&) {
      Ok = false;
    }
    const int64_t Ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now() - Began)
                           .count();
    std::vector<TListing> Trash;
    G.lock();
    if (Ok && !GReadAheadEager.load(std::memory_order_relaxed)) {
      FPoolNs += (Ns - FPoolNs) / 8;
      if (FPoolNs < kFastNs) FEngaged.store(false, std::memory_order_relaxed);
    }
    auto It = W.Session == FSession ? FJobs.find(W.Key) : FJobs.end();
    if (It == FJobs.end() || It->second.Stale) {
      if (It != FJobs.end()) FJobs.erase(It);
      if (Ok) {
        ++FStats.Listed;
        ++FStats.Dropped;
        Trash.push_back(std::move(L));
      }
    } else if (Ok) {
      ++FStats.Listed;
      It->second.State = TState::Ready;
      It->second.L = std::move(L);
      It->second.Bytes = Bytes;
      FBytes += Bytes;
      FStats.PeakBytes = std::max<uint64_t>(FStats.PeakBytes, FBytes);
      if (!Subs.empty()) {
        AddNodeLocked(W.Key, std::move(Dir), It->second.L.St, It->second.L.Fs, std::move(Subs));
        if (FIdle > 0) FWorkCond.notify_one();
      }
    } else {
      It->second.State = TState::Failed;
    }
    FJobCount.store(FJobs.size(), std::memory_order_relaxed);
    if (FTakeWaiting) FTakeCond.notify_all();
    if (!Trash.empty()) {
      G.unlock();
      Trash.clear();
      G.lock();
    }
  }
}

}  // namespace

void FillDetails(int Dir, uint64_t DirDev, const char* Name, size_t Len, const TStatInfo& St,
                 bool ShowDotFiles, TTWFindData& Data) {
  uint32_t A = 0;
  Data.Size = 0;
  Data.ReparseTag = 0;
  if (S_ISLNK(St.Mode)) {
    TStatInfo T;
    A = FILE_ATTRIBUTE_REPARSE_POINT;
    Data.ReparseTag = IO_REPARSE_TAG_SYMLINK;
    A |= StatAt(Dir, Name, true, T) && S_ISDIR(T.Mode) ? FILE_ATTRIBUTE_DIRECTORY
                                                       : FILE_ATTRIBUTE_ARCHIVE;
    Data.Size = St.Size;  // the link's own
  } else if (S_ISDIR(St.Mode)) {
    A = FILE_ATTRIBUTE_DIRECTORY;
    if (*Name && !IsDot(Name, Len) && (St.Dev != DirDev || St.MountRoot)) {
      A |= FILE_ATTRIBUTE_REPARSE_POINT;
      Data.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    }
  } else if (*Name && !IsDot(Name, Len) && (St.Dev != DirDev || St.MountRoot)) {
    // A file mounted over an entry leads outside the folder, as a mounted folder does.
    A = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    Data.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
  } else {
    A = FILE_ATTRIBUTE_ARCHIVE;
    Data.Size = S_ISREG(St.Mode) ? St.Size : 0;
  }
  if (!S_ISLNK(St.Mode)) {
    if ((St.Mode & 0222) == 0) A |= FILE_ATTRIBUTE_READONLY;
    A |= DosAttribBits(Dir, Name);
  }
  if (Len > 1 && Name[0] == '.' && !IsDot(Name, Len) && !ShowDotFiles) A |= FILE_ATTRIBUTE_HIDDEN;
  Data.Attributes = A;
  Data.Id = IdOf(St);
  Data.HasDetails = true;
}

std::unique_ptr<TTWFindHandle> OpenFind(TFd Dir, const TStatInfo& DirSt, bool DriveRoot,
                                        const std::string& Mask, bool Lazy,
                                        const TFindContext& Ctx) {
  if (!Dir.Valid() || Mask.empty()) return nullptr;
  auto H = std::make_unique<TWineFind>(std::move(Dir), DirSt, Lazy, Ctx);
  if (!H->Load(TNameMask(Mask), DriveRoot)) return nullptr;
  return H;
}

std::atomic<int> GReadAheadThreads{-1};
std::atomic<bool> GReadAheadEager{false};

std::unique_ptr<TTWReadAhead> CreateReadAhead(std::function<bool()> Stopped, unsigned Threads) {
  if (Threads == 0) return nullptr;
  return std::make_unique<TReadAheadPool>(std::move(Stopped), Threads);
}

}  // namespace twl
