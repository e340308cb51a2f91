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
#include <cstring>
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
  if (GPoolGone || GPool.Free.size() >= 64 || A->Names.capacity() > (1u << 20)) return;
  A->Names.clear();
  A->Keys.clear();
  A->Entries.clear();
  GPool.Free.push_back(std::move(A));
}

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

class TWineFind : public TTWFindHandle {
 public:
  TWineFind(TFd Dir, const TStatInfo& DirSt, bool Lazy, const TFindContext& Ctx,
            uint8_t Fs = kFsUnknown)
      : FDir(std::move(Dir)), FDirSt(DirSt), FLazy(Lazy), FCtx(Ctx), FA(TakeArena()), FFs(Fs) {}
  // A folder opened through openat2 whose identity is still to be confirmed: its
  // listing's "." must carry the inode number its parent listed.
  void ExpectSelf() { FCheckSelf = true; }
  ~TWineFind() override { GiveArena(std::move(FA)); }

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
  char* Buf = FA->Dents.data();
  const long BufSize = static_cast<long>(FA->Dents.size());
  bool SelfSeen = false;
  for (bool More = true; More;) {
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
        return H;
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
  return H;
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

}  // namespace twl
