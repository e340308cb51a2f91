#include "platform/linux/wine_find.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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
  uint8_t Type;     // DT_*
  uint8_t LinkDir;  // 0 unknown, 1 a link to a directory, 2 a link to something else
};

// One listing's memory: the getdents buffer, the names and the entries. Reused through
// a per-thread pool, so a walk allocates nothing per directory once it is warm.
struct TArena {
  std::vector<char> Dents;
  std::vector<char> Names;
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
  A->Entries.clear();
  GPool.Free.push_back(std::move(A));
}

inline bool IsDot(const char* N, size_t L) {
  return (L == 1 && N[0] == '.') || (L == 2 && N[0] == '.' && N[1] == '.');
}

class TWineFind : public TTWFindHandle {
 public:
  TWineFind(TFd Dir, const TStatInfo& DirSt, bool Lazy, const TFindContext& Ctx)
      : FDir(std::move(Dir)), FDirSt(DirSt), FLazy(Lazy), FCtx(Ctx), FA(TakeArena()) {}
  ~TWineFind() override { GiveArena(std::move(FA)); }

  bool Load(const TNameMask& Mask, bool DriveRoot);
  bool Next(TTWFindData& Data) override;
  bool Details(TTWFindData& Data) override;
  std::unique_ptr<TTWFindHandle> FindFirstIn(const TTWFindData& Child, const std::string& Pattern,
                                             bool Lazy) override;

 private:
  const char* NameOf(const TEntry& E) const { return FA->Names.data() + E.NameOff; }
  void Add(const char* Name, size_t Len, uint8_t Type, uint64_t Ino) {
    TEntry E{Ino, static_cast<uint32_t>(FA->Names.size()), static_cast<uint16_t>(Len), Type, 0};
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
  char* Buf = FA->Dents.data();
  for (;;) {
    long N = syscall(SYS_getdents64, FDir.Get(), Buf, FA->Dents.size());
    if (N <= 0) break;
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
      if (Len == 0 || IsDot(Name, Len)) continue;
      if (Len > 255 && Utf16Length(Name, Len) > 255) continue;
      if (PrefixHere && Ino == FCtx.PrefixIno) continue;
      if (HostRoot && ((Len == 3 && (memcmp(Name, "dev", 3) == 0 || memcmp(Name, "sys", 3) == 0)) ||
                       (Len == 4 && memcmp(Name, "proc", 4) == 0)))
        continue;
      if (!Mask.Matches(Name, Len)) continue;
      Add(Name, Len, Type, Ino);
    }
  }
  const char* Names = FA->Names.data();
  std::sort(FA->Entries.begin() + static_cast<long>(Fixed), FA->Entries.end(),
            [Names](const TEntry& A, const TEntry& B) {
              return CompareNames(Names + A.NameOff, A.NameLen, Names + B.NameOff, B.NameLen) < 0;
            });
  return !FA->Entries.empty();
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
    Data.Name.assign(Name, E.NameLen);
    Data.Size = 0;
    Data.Id = TTWFileId();
    Data.HasDetails = false;
    uint32_t A = 0;
    if (E.Type == DT_DIR) {
      A = FILE_ATTRIBUTE_DIRECTORY;
    } else if (E.Type == DT_LNK) {
      if (E.LinkDir == 0) {
        TStatInfo T;
        E.LinkDir = StatAt(FDir.Get(), Name, true, T) && S_ISDIR(T.Mode) ? 1 : 2;
      }
      A = FILE_ATTRIBUTE_REPARSE_POINT | (E.LinkDir == 1 ? FILE_ATTRIBUTE_DIRECTORY : 0);
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
  FillDetails(FDir.Get(), FDirSt.Dev, Self ? "" : Name, Self ? 0 : E.NameLen, St, FCtx.ShowDotFiles,
              Data);
  Data.Name.assign(Name, E.NameLen);
  return true;
}

std::unique_ptr<TTWFindHandle> TWineFind::FindFirstIn(const TTWFindData& Child,
                                                      const std::string& Pattern, bool Lazy) {
  if (Pattern.empty()) return nullptr;
  const TEntry* E = nullptr;
  auto Same = [&](const TEntry& X) {
    return X.NameLen == Child.Name.size() && memcmp(NameOf(X), Child.Name.data(), X.NameLen) == 0;
  };
  if (FLast >= 0 && Same(FA->Entries[static_cast<size_t>(FLast)]))
    E = &FA->Entries[static_cast<size_t>(FLast)];
  for (size_t I = 0; !E && I < FA->Entries.size(); ++I)
    if (Same(FA->Entries[I])) E = &FA->Entries[I];
  if (!E || IsDot(NameOf(*E), E->NameLen) || E->Type != DT_DIR) return nullptr;

  TFd Sub(openat(FDir.Get(), NameOf(*E), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!Sub.Valid()) return nullptr;
  TStatInfo St;
  if (!StatAt(Sub.Get(), "", false, St)) return nullptr;
  // The folder opened must be the one listed, on this file system, and no mount.
  if (St.Ino != E->Ino || St.Dev != FDirSt.Dev || St.MountRoot) return nullptr;
  if (Child.Id.Valid() && !(Child.Id == IdOf(St))) return nullptr;
  return OpenFind(std::move(Sub), St, false, Pattern, Lazy, FCtx);
}

}  // namespace

void FillDetails(int Dir, uint64_t DirDev, const char* Name, size_t Len, const TStatInfo& St,
                 bool ShowDotFiles, TTWFindData& Data) {
  uint32_t A = 0;
  Data.Size = 0;
  if (S_ISLNK(St.Mode)) {
    TStatInfo T;
    A = FILE_ATTRIBUTE_REPARSE_POINT;
    A |= StatAt(Dir, Name, true, T) && S_ISDIR(T.Mode) ? FILE_ATTRIBUTE_DIRECTORY
                                                       : FILE_ATTRIBUTE_ARCHIVE;
    Data.Size = St.Size;  // the link's own
  } else if (S_ISDIR(St.Mode)) {
    A = FILE_ATTRIBUTE_DIRECTORY;
    if (*Name && !IsDot(Name, Len) && (St.Dev != DirDev || St.MountRoot))
      A |= FILE_ATTRIBUTE_REPARSE_POINT;
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
