#include "platform/linux/wine_delete.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/linux/host_files.h"

namespace twl {

namespace {

inline bool ReadOnlyMode(uint32_t Mode) {
  return (Mode & 0222) == 0;
}

bool DirIsEmpty(int Dir) {
  char Buf[4096];
  for (;;) {
    long N = syscall(SYS_getdents64, Dir, Buf, sizeof Buf);
    if (N < 0) return false;
    if (N == 0) return true;
    for (long Off = 0; Off < N;) {
      unsigned short RecLen;
      memcpy(&RecLen, Buf + Off + 16, sizeof RecLen);
      const char* Name = Buf + Off + 19;
      if (!(Name[0] == '.' && (Name[1] == '\0' || (Name[1] == '.' && Name[2] == '\0'))))
        return false;
      Off += RecLen;
    }
  }
}

class TWineFile : public TTWFile {
 public:
  explicit TWineFile(TFd Fd) : F(std::move(Fd)) {}
  bool GetSize(uint64_t& Size) override {
    struct stat S;
    if (fstat(F.Get(), &S) != 0) return false;
    Size = static_cast<uint64_t>(S.st_size);
    return true;
  }
  bool Seek(uint64_t Offset) override {
    if (Offset > static_cast<uint64_t>(INT64_MAX)) return false;
    Pos = Offset;
    return true;
  }
  uint64_t WritePieces(const uint8_t* Block, uint32_t BlockSize, uint64_t Total) override {
    if (!Block || BlockSize == 0) return 0;
    iovec V[256];
    uint64_t Done = 0;
    while (Done < Total) {
      uint64_t Off = Done % BlockSize, Left = Total - Done, Sum = 0;
      int Count = 0;
      // Every piece carries the same block; at most 1 GiB per call.
      while (Count < 256 && Left > 0 && Sum < (1u << 30)) {
        uint64_t Len = BlockSize - Off < Left ? BlockSize - Off : Left;
        V[Count].iov_base = const_cast<uint8_t*>(Block + Off);
        V[Count].iov_len = static_cast<size_t>(Len);
        ++Count;
        Left -= Len;
        Sum += Len;
        Off = 0;
      }
      ssize_t N = pwritev(F.Get(), V, Count, static_cast<off_t>(Pos));
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) break;  // an error, or no progress: never spin
      Done += static_cast<uint64_t>(N);
      Pos += static_cast<uint64_t>(N);
    }
    return Done;
  }
  bool NextData(uint64_t From, uint64_t& Start, uint64_t& Length) override {
    uint64_t Size;
    if (!GetSize(Size) || From > static_cast<uint64_t>(INT64_MAX)) return false;
    if (From >= Size) {
      Start = Size;
      Length = 0;
      return true;
    }
    off_t D = lseek(F.Get(), static_cast<off_t>(From), SEEK_DATA);
    if (D < 0) {
      if (errno != ENXIO) return false;
      Start = Size;  // holes up to the end
      Length = 0;
      return true;
    }
    off_t H = lseek(F.Get(), D, SEEK_HOLE);
    if (H < 0) return false;
    // The size may have changed between the calls; the range stays inside what was asked.
    const uint64_t S = std::min(static_cast<uint64_t>(D), Size);
    const uint64_t E = std::min(std::max(static_cast<uint64_t>(H), S), Size);
    Start = S;
    Length = E - S;
    return true;
  }
  bool Flush() override {
    int R;
    do R = fdatasync(F.Get());
    while (R != 0 && errno == EINTR);
    return R == 0;
  }

 private:
  TFd F;
  uint64_t Pos = 0;
};

std::string RandomHex8() {
  uint32_t R = 0;
  if (getrandom(&R, sizeof R, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof R)) {
    static std::atomic<uint32_t> Counter{0};
    timespec Ts;
    clock_gettime(CLOCK_MONOTONIC, &Ts);
    R = static_cast<uint32_t>(Ts.tv_nsec) ^ (Counter.fetch_add(1) * 2654435761u) ^
        static_cast<uint32_t>(getpid());
  }
  char Buf[9];
  snprintf(Buf, sizeof Buf, "%08x", R);
  return Buf;
}

// Opens (creating as needed) a folder of the trash; never through a link.
TFd OpenTrashSub(int Trash, const char* Name) {
  if (mkdirat(Trash, Name, 0700) != 0 && errno != EEXIST) return TFd();
  return TFd(openat(Trash, Name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

TFd OpenTrash(const std::string& Dir) {
  if (Dir.empty() || Dir[0] != '/') return TFd();
  // Create the missing folders of the path; the home itself is the user's own.
  for (size_t Slash = Dir.find('/', 1);; Slash = Dir.find('/', Slash + 1)) {
    std::string Part = Slash == std::string::npos ? Dir : Dir.substr(0, Slash);
    if (mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST) return TFd();
    if (Slash == std::string::npos) break;
  }
  return TFd(open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

int32_t MapErr(int E) {
  switch (E) {
    case ENOENT:
      return kErrFileNotFound;
    case ENOTDIR:
      return kErrPathNotFound;
    case EXDEV:
      return kErrNotSameDevice;
    case ENOTEMPTY:
      return kErrDirNotEmpty;
    default:
      return kErrAccessDenied;
  }
}

inline bool IsDigits(const char* S) {
  if (!*S) return false;
  for (; *S; ++S)
    if (*S < '0' || *S > '9') return false;
  return true;
}

// Calls Each(name) for every entry of the folder Dir but "." and "..".
template <typename TEach>
void ForEachName(int Dir, std::vector<char>& Buf, TEach&& Each) {
  for (;;) {
    long N = syscall(SYS_getdents64, Dir, Buf.data(), Buf.size());
    if (N <= 0) return;
    for (long Off = 0; Off < N;) {
      unsigned short RecLen;
      memcpy(&RecLen, Buf.data() + Off + 16, sizeof RecLen);
      const char* Name = Buf.data() + Off + 19;
      Off += RecLen;
      if (!(Name[0] == '.' && (Name[1] == '\0' || (Name[1] == '.' && Name[2] == '\0')))) Each(Name);
    }
  }
}

// Whether another owner holds a lock on the regular file Fd that a whole-file write lock
// would meet: a record lock (fcntl, lockf, OFD; SQLite and the browsers use these) or an
// flock lock. The flock probe keeps its lock on Fd until Fd closes.
bool LockedElsewhere(int Fd) {
  struct flock L;
  memset(&L, 0, sizeof L);
  L.l_type = F_WRLCK;
  L.l_whence = SEEK_SET;
  // An OFD probe also meets the locks of this process's other descriptors.
  int R = fcntl(Fd, F_OFD_GETLK, &L);
  if (R != 0 && errno == EINVAL) {
    memset(&L, 0, sizeof L);
    L.l_type = F_WRLCK;
    L.l_whence = SEEK_SET;
    R = fcntl(Fd, F_GETLK, &L);
  }
  if (R == 0 && L.l_type != F_UNLCK) return true;
  return flock(Fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// Opens the object T names, never following a link, and checks on the descriptor that
// it is the object looked at, on its folder's mount and no mount point itself.
TFd OpenChecked(const TTarget& T, int Flags, TStatInfo& St) {
  TFd F(openat(T.Parent.Get(), T.Name.c_str(), Flags | O_NOFOLLOW | O_CLOEXEC));
  if (!F.Valid()) return TFd();
  if (!StatAt(F.Get(), "", false, St) || !(IdOf(St) == IdOf(T.St)) ||
      OnOtherMount(St, T.ParentSt)) {
    errno = ESTALE;  // not the object looked at: no second try
    return TFd();
  }
  return F;
}

// The same for a file or link that is to be removed or moved, not written. A regular file
// is opened for reading where that is allowed, so that its locks can be probed.
TFd OpenForRemoval(const TTarget& T, TStatInfo& St, bool& Probe) {
  Probe = false;
  if (S_ISLNK(T.St.Mode)) return OpenChecked(T, O_PATH, St);
  // Without touching the access time, which would cost a write of the inode per file.
  TFd F = OpenChecked(T, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOATIME, St);
  if (!F.Valid() && errno == EPERM) F = OpenChecked(T, O_RDONLY | O_NONBLOCK | O_NOCTTY, St);
  if (F.Valid()) {
    Probe = S_ISREG(St.Mode);
    return F;
  }
  if (errno != EACCES) return TFd();
  return OpenChecked(T, O_PATH, St);  // not readable: no lock can be probed
}

bool InUse(const TOpenFiles* Open, int Fd, const TStatInfo& St, bool Probe) {
  if (!Open) return false;
  return Open->Contains(St) || (Probe && LockedElsewhere(Fd));
}

}  // namespace

// --- What other processes hold open

void TOpenFiles::Scan(const std::string& ProcDir) {
  FIds.clear();
  FProcesses = 0;
  TFd Proc(open(ProcDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!Proc.Valid()) return;
  const long Self = static_cast<long>(getpid());
  std::vector<char> Pids(32768), Fds(16384);
  std::string Maps;
  auto Note = [this](const struct stat& S) {
    if (S_ISREG(S.st_mode) || S_ISDIR(S.st_mode))
      FIds.emplace_back(static_cast<uint64_t>(S.st_dev), static_cast<uint64_t>(S.st_ino));
  };
  ForEachName(Proc.Get(), Pids, [&](const char* Pid) {
    if (!IsDigits(Pid) || atol(Pid) == Self) return;
    TFd P(openat(Proc.Get(), Pid, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!P.Valid()) return;
    TFd D(openat(P.Get(), "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!D.Valid()) return;  // gone, or not ours to read
    ++FProcesses;
    struct stat S;
    if (fstatat(P.Get(), "cwd", &S, 0) == 0) Note(S);
    ForEachName(D.Get(), Fds, [&](const char* Fd) {
      if (fstatat(D.Get(), Fd, &S, 0) == 0) Note(S);
    });
    // Mapped files stay in use after their descriptor is closed. A line is
    // "start-end perms offset major:minor inode path", the numbers of the device in hex.
    TFd M(openat(P.Get(), "maps", O_RDONLY | O_CLOEXEC));
    if (!M.Valid() || !ReadAllFromFd(M.Get(), Maps, 64u << 20)) return;
    for (size_t At = 0; At < Maps.size();) {
      size_t End = Maps.find('\n', At);
      if (End == std::string::npos) End = Maps.size();
      const char* L = Maps.c_str() + At;
      At = End + 1;
      for (int Field = 0; Field < 3 && L; ++Field) {
        L = strchr(L, ' ');
        if (L) ++L;
      }
      if (!L) continue;
      char* E;
      unsigned long Major = strtoul(L, &E, 16);
      if (*E != ':') continue;
      unsigned long Minor = strtoul(E + 1, &E, 16);
      if (*E != ' ') continue;
      unsigned long long Ino = strtoull(E + 1, &E, 10);
      if (Ino != 0)
        FIds.emplace_back(static_cast<uint64_t>(makedev(Major, Minor)), static_cast<uint64_t>(Ino));
    }
  });
  std::sort(FIds.begin(), FIds.end());
  FIds.erase(std::unique(FIds.begin(), FIds.end()), FIds.end());
}

bool TOpenFiles::Contains(const TStatInfo& St) const {
  return std::binary_search(FIds.begin(), FIds.end(), std::make_pair(St.Dev, St.Ino));
}

bool ReachForChange(const std::string& PrefixDir, const std::string& Path, TTarget& T) {
  TWinPath W;
  if (!ParseWinPath(Path, W) || W.Comps.empty()) {
    T.Err = ENOENT;
    T.ParentMissing = true;
    return false;
  }
  T.Letter = W.Letter;
  TFd Root = OpenDriveRoot(PrefixDir, W.Letter);
  if (!Root.Valid()) {
    T.Err = ENOENT;
    T.ParentMissing = true;
    return false;
  }
  T.Parent = ResolveDirForChange(Root.Get(), W.Comps, W.Comps.size() - 1, &T.Spelled, T.Err);
  if (!T.Parent.Valid()) {
    T.ParentMissing = T.Err == ENOENT || T.Err == ENOTDIR;
    return false;
  }
  if (!LookupName(T.Parent.Get(), W.Comps.back(), T.Name)) {
    T.Err = ENOENT;
    return false;
  }
  if (!StatAt(T.Parent.Get(), T.Name.c_str(), false, T.St) ||
      !StatAt(T.Parent.Get(), "", false, T.ParentSt)) {
    T.Err = errno;
    return false;
  }
  return true;
}

bool WineDeleteFile(const std::string& PrefixDir, const std::string& Path,
                    const TTWFileId& Expected, const TOpenFiles* Open) {
  TTarget T;
  if (!ReachForChange(PrefixDir, Path, T)) return false;
  const bool Link = S_ISLNK(T.St.Mode);
  if (!Link && !S_ISREG(T.St.Mode)) return false;  // folders, devices, FIFOs, sockets
  if (Expected.Valid() && !(Expected == IdOf(T.St))) return false;
  if (!Link && ReadOnlyMode(T.St.Mode)) return false;  // as Wine: read-only is refused
  TStatInfo St;
  bool Probe;
  TFd F = OpenForRemoval(T, St, Probe);
  if (!F.Valid() || InUse(Open, F.Get(), St, Probe)) return false;
  return unlinkat(T.Parent.Get(), T.Name.c_str(), 0) == 0;  // a link goes as a link
}

bool WineRemoveDirectory(const std::string& PrefixDir, const std::string& Path,
                         const TTWFileId& Expected, const TOpenFiles* Open) {
  TTarget T;
  if (!ReachForChange(PrefixDir, Path, T)) return false;
  if (!S_ISDIR(T.St.Mode)) return false;  // a link is not a directory here
  if (OnOtherMount(T.St, T.ParentSt)) return false;
  if (Expected.Valid() && !(Expected == IdOf(T.St))) return false;
  TStatInfo St;
  TFd D = OpenChecked(T, O_RDONLY | O_DIRECTORY, St);
  if (!D.Valid() || InUse(Open, D.Get(), St, false)) return false;
  return unlinkat(T.Parent.Get(), T.Name.c_str(), AT_REMOVEDIR) == 0;
}

TTWOpenResult WineOpenForOverwrite(const std::string& PrefixDir, const std::string& Path,
                                   const TTWFileId& Expected, std::unique_ptr<TTWFile>& File,
                                   const TOpenFiles* Open) {
  File.reset();
  TTarget T;
  if (!ReachForChange(PrefixDir, Path, T)) return TTWOpenResult::Failed;
  if (S_ISLNK(T.St.Mode)) {
    if (Expected.Valid() && !(Expected == IdOf(T.St))) return TTWOpenResult::Failed;
    return TTWOpenResult::RemoveOnly;
  }
  // Never open anything but a regular file: a FIFO could block, a device could react.
  if (!S_ISREG(T.St.Mode)) return TTWOpenResult::Failed;
  if (Expected.Valid() && !(Expected == IdOf(T.St))) return TTWOpenResult::Failed;
  if (OnOtherMount(T.St, T.ParentSt)) return TTWOpenResult::Failed;  // mounted over the name
  if (T.St.Nlink > 1) return TTWOpenResult::RemoveOnly;
  if (ReadOnlyMode(T.St.Mode)) return TTWOpenResult::Failed;

  TFd F(openat(T.Parent.Get(), T.Name.c_str(),
               O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!F.Valid()) {
    if (IsLinkError(errno))  // a link swapped in since the look
      return Expected.Valid() ? TTWOpenResult::Failed : TTWOpenResult::RemoveOnly;
    return TTWOpenResult::Failed;
  }
  // What holds is what the descriptor says, not what the name said a moment ago.
  TStatInfo St;
  if (!StatAt(F.Get(), "", false, St) || !S_ISREG(St.Mode)) return TTWOpenResult::Failed;
  if (!(IdOf(St) == IdOf(T.St))) return TTWOpenResult::Failed;  // changed since the look
  if (OnOtherMount(St, T.ParentSt)) return TTWOpenResult::Failed;
  if (St.Nlink > 1) return TTWOpenResult::RemoveOnly;
  if (ReadOnlyMode(St.Mode)) return TTWOpenResult::Failed;
  if (Open && (Open->Contains(St) || LockedElsewhere(F.Get()))) return TTWOpenResult::Failed;
  if (flock(F.Get(), LOCK_EX | LOCK_NB) != 0) return TTWOpenResult::Failed;  // in use
  File = std::make_unique<TWineFile>(std::move(F));
  return TTWOpenResult::Opened;
}

std::string HomeTrashDir(const char* XdgDataHome, const char* Home) {
  if (XdgDataHome && XdgDataHome[0] == '/') return std::string(XdgDataHome) + "/Trash";
  if (Home && Home[0] == '/') return std::string(Home) + "/.local/share/Trash";
  return std::string();
}

std::string TrashPathEncode(const std::string& Bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  static const char kSpecial[] = "^&`{}|[]'<>\\#%\"+";
  std::string Out;
  Out.reserve(Bytes.size());
  for (char C : Bytes) {
    auto B = static_cast<unsigned char>(C);
    if (B <= 0x20 || B >= 0x7F || strchr(kSpecial, C)) {
      Out += '%';
      Out += kHex[B >> 4];
      Out += kHex[B & 15];
    } else {
      Out += C;
    }
  }
  return Out;
}

namespace {

// The two folders of one trash, opened.
struct TTrash {
  TFd Files, Info;
};

bool OpenTrashParts(int Trash, TTrash& Out) {
  Out.Files = OpenTrashSub(Trash, "files");
  Out.Info = OpenTrashSub(Trash, "info");
  return Out.Files.Valid() && Out.Info.Valid();
}

// The mount point of mount Id, from /proc/self/mountinfo, its octal escapes decoded.
std::string MountPointOf(uint64_t Id) {
  TFd F(open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
  std::string Text;
  if (!F.Valid() || !ReadAllFromFd(F.Get(), Text, 64u << 20)) return std::string();
  for (size_t At = 0; At < Text.size();) {
    size_t End = Text.find('\n', At);
    if (End == std::string::npos) End = Text.size();
    const std::string Line = Text.substr(At, End - At);
    At = End + 1;
    // "id parent major:minor root mount-point options ..."
    char* E;
    if (strtoull(Line.c_str(), &E, 10) != Id || *E != ' ') continue;
    size_t P = 0;
    for (int Field = 0; Field < 4 && P != std::string::npos; ++Field) P = Line.find(' ', P + 1);
    if (P == std::string::npos) return std::string();
    size_t Q = Line.find(' ', P + 1);
    const std::string Raw =
        Line.substr(P + 1, Q == std::string::npos ? std::string::npos : Q - P - 1);
    std::string Point;
    for (size_t I = 0; I < Raw.size(); ++I) {
      if (Raw[I] == '\\' && I + 3 < Raw.size() && Raw[I + 1] >= '0' && Raw[I + 1] <= '3') {
        Point += static_cast<char>((Raw[I + 1] - '0') * 64 + (Raw[I + 2] - '0') * 8 +
                                   (Raw[I + 3] - '0'));
        I += 3;
      } else {
        Point += Raw[I];
      }
    }
    return Point;
  }
  return std::string();
}

// A folder of a top-directory trash: a real folder on the mount Top, owned by us, that
// nobody else may write to.
TFd OpenOwnTrashDir(int Dir, const char* Name, const TStatInfo& Top) {
  if (mkdirat(Dir, Name, 0700) != 0 && errno != EEXIST) return TFd();
  TFd D(openat(Dir, Name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  TStatInfo St;
  if (!D.Valid() || !StatAt(D.Get(), "", false, St) || OnOtherMount(St, Top) ||
      St.Uid != geteuid() || (St.Mode & 022) != 0)
    return TFd();
  return D;
}

// The trash at the top of the mount the folder PSt lies on: $topdir/.Trash/$uid when
// $topdir/.Trash is a real folder with the sticky bit, else $topdir/.Trash-$uid.
bool OpenTopTrash(const TStatInfo& PSt, TTrash& Out) {
  if (PSt.MntId == 0) return false;  // the mount cannot be told: no trash of its own
  const std::string Point = MountPointOf(PSt.MntId);
  if (Point.empty() || Point[0] != '/') return false;
  TFd Top(open(Point.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  TStatInfo TopSt;
  // The path of a mount point may have changed since: the folder must be that mount's top.
  if (!Top.Valid() || !StatAt(Top.Get(), "", false, TopSt) || TopSt.MntId != PSt.MntId ||
      TopSt.Dev != PSt.Dev || !TopSt.MountRoot)
    return false;
  const std::string Uid = std::to_string(geteuid());
  TFd Shared(openat(Top.Get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  TStatInfo SSt;
  if (Shared.Valid() && StatAt(Shared.Get(), "", false, SSt) && S_ISDIR(SSt.Mode) &&
      (SSt.Mode & S_ISVTX) && !OnOtherMount(SSt, TopSt)) {
    TFd Mine = OpenOwnTrashDir(Shared.Get(), Uid.c_str(), TopSt);
    if (Mine.Valid() && OpenTrashParts(Mine.Get(), Out)) return true;
  }
  TFd Own = OpenOwnTrashDir(Top.Get(), (".Trash-" + Uid).c_str(), TopSt);
  return Own.Valid() && OpenTrashParts(Own.Get(), Out);
}

// Moves T into the trash Tr: the info file first, created exclusively, then the object
// under the same name, never replacing anything. kErrNotSameDevice when the trash is on
// another mount (nothing is left behind then).
int32_t MoveInto(const TTarget& T, TTrash& Tr, const std::string& Text) {
  // Room for "-xxxxxxxx.trashinfo" in a 255-byte name.
  const size_t MaxStem = 255 - 9 - 10;
  const std::string Stem = T.Name.size() > MaxStem ? T.Name.substr(0, MaxStem) : T.Name;
  for (int Try = 0; Try < 1000; ++Try) {
    std::string Base = (Try == 0 && T.Name.size() + 10 <= 255) ? T.Name : Stem + "-" + RandomHex8();
    std::string InfoName = Base + ".trashinfo";
    TFd F(openat(Tr.Info.Get(), InfoName.c_str(),
                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!F.Valid()) {
      if (errno == EEXIST) continue;
      return kErrAccessDenied;
    }
    bool Written = WriteAllToFd(F.Get(), Text) && fsync(F.Get()) == 0;
    if (close(F.Release()) != 0) Written = false;
    if (!Written) {
      unlinkat(Tr.Info.Get(), InfoName.c_str(), 0);
      return kErrAccessDenied;
    }
    if (renameat2(T.Parent.Get(), T.Name.c_str(), Tr.Files.Get(), Base.c_str(), RENAME_NOREPLACE) !=
        0) {
      int E = errno;
      unlinkat(Tr.Info.Get(), InfoName.c_str(), 0);
      if (E == EEXIST) continue;  // an orphan in files/: never replaced
      return MapErr(E);
    }
    // What went in must be what was checked; a swap is moved back.
    TStatInfo Moved;
    if (!StatAt(Tr.Files.Get(), Base.c_str(), false, Moved) || !(IdOf(Moved) == IdOf(T.St))) {
      if (renameat2(Tr.Files.Get(), Base.c_str(), T.Parent.Get(), T.Name.c_str(),
                    RENAME_NOREPLACE) == 0)
        unlinkat(Tr.Info.Get(), InfoName.c_str(), 0);
      return kErrAccessDenied;
    }
    return 0;
  }
  return kErrAccessDenied;
}

}  // namespace

int32_t WineMoveToTrash(const std::string& PrefixDir, const std::string& HomeTrash,
                        const std::string& Path, bool IsDirectory, const TTWFileId& Expected,
                        const TOpenFiles* Open) {
  TTarget T;
  if (!ReachForChange(PrefixDir, Path, T))
    return T.ParentMissing ? kErrPathNotFound : T.Err == ENOENT ? kErrFileNotFound : MapErr(T.Err);
  if (Expected.Valid() && !(Expected == IdOf(T.St))) return kErrAccessDenied;
  TStatInfo St;
  if (IsDirectory) {
    if (!S_ISDIR(T.St.Mode) || OnOtherMount(T.St, T.ParentSt)) return kErrAccessDenied;
    TFd D = OpenChecked(T, O_RDONLY | O_DIRECTORY, St);
    if (!D.Valid()) return kErrAccessDenied;
    if (!DirIsEmpty(D.Get())) return kErrDirNotEmpty;
    if (InUse(Open, D.Get(), St, false)) return kErrAccessDenied;
  } else {
    if (!S_ISREG(T.St.Mode) && !S_ISLNK(T.St.Mode))
      return kErrAccessDenied;  // a folder where a file was, or a special file
    bool Probe;
    TFd F = OpenForRemoval(T, St, Probe);
    if (!F.Valid() || InUse(Open, F.Get(), St, Probe)) return kErrAccessDenied;
  }

  std::string Original = PrefixDir + "/dosdevices/" + T.Letter + ":";
  for (const std::string& S : T.Spelled) Original += "/" + S;
  Original += "/" + T.Name;
  char Date[32];
  time_t Now = time(nullptr);
  struct tm Local;
  localtime_r(&Now, &Local);
  strftime(Date, sizeof Date, "%Y-%m-%dT%H:%M:%S", &Local);
  const std::string Text =
      "[Trash Info]\nPath=" + TrashPathEncode(Original) + "\nDeletionDate=" + Date + "\n";

  // The home trash serves its own file system; a move there from another one would be a
  // copy, which a trash never makes.
  int32_t R = kErrNotSameDevice;
  TFd Home = OpenTrash(HomeTrash);
  TStatInfo HomeSt;
  TTrash Tr;
  if (Home.Valid() && StatAt(Home.Get(), "", false, HomeSt) && HomeSt.Dev == T.ParentSt.Dev) {
    if (!OpenTrashParts(Home.Get(), Tr)) return kErrAccessDenied;
    R = MoveInto(T, Tr, Text);
    if (R != kErrNotSameDevice) return R;
  }
  Tr = TTrash();
  if (!OpenTopTrash(T.ParentSt, Tr)) return R;
  return MoveInto(T, Tr, Text);
}

}  // namespace twl
