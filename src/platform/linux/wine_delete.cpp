#include "platform/linux/wine_delete.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

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

}  // namespace

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
                    const TTWFileId& Expected) {
  TTarget T;
  if (!ReachForChange(PrefixDir, Path, T)) return false;
  const bool Link = S_ISLNK(T.St.Mode);
  if (!Link && !S_ISREG(T.St.Mode)) return false;  // folders, devices, FIFOs, sockets
  if (Expected.Valid() && !(Expected == IdOf(T.St))) return false;
  if (!Link && ReadOnlyMode(T.St.Mode)) return false;       // as Wine: read-only is refused
  return unlinkat(T.Parent.Get(), T.Name.c_str(), 0) == 0;  // a link goes as a link
}

bool WineRemoveDirectory(const std::string& PrefixDir, const std::string& Path,
                         const TTWFileId& Expected) {
  TTarget T;
  if (!ReachForChange(PrefixDir, Path, T)) return false;
  if (!S_ISDIR(T.St.Mode)) return false;  // a link is not a directory here
  if (T.St.Dev != T.ParentSt.Dev || T.St.MountRoot) return false;
  if (Expected.Valid() && !(Expected == IdOf(T.St))) return false;
  return unlinkat(T.Parent.Get(), T.Name.c_str(), AT_REMOVEDIR) == 0;
}

TTWOpenResult WineOpenForOverwrite(const std::string& PrefixDir, const std::string& Path,
                                   const TTWFileId& Expected, std::unique_ptr<TTWFile>& File) {
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
  if (T.St.Nlink > 1) return TTWOpenResult::RemoveOnly;
  if (ReadOnlyMode(T.St.Mode)) return TTWOpenResult::Failed;

  TFd F(openat(T.Parent.Get(), T.Name.c_str(),
               O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!F.Valid()) {
    if (IsLinkError(errno))  // a link swapped in since the look
      return Expected.Valid() ? TTWOpenResult::Failed : TTWOpenResult::RemoveOnly;
    return TTWOpenResult::Failed;
  }
  TStatInfo St;
  if (!StatAt(F.Get(), "", false, St) || !S_ISREG(St.Mode)) return TTWOpenResult::Failed;
  if (!(IdOf(St) == IdOf(T.St))) return TTWOpenResult::Failed;  // changed since the look
  if (St.Nlink > 1) return TTWOpenResult::RemoveOnly;
  if (ReadOnlyMode(St.Mode)) return TTWOpenResult::Failed;
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

int32_t WineMoveToTrash(const std::string& PrefixDir, const std::string& TrashDir,
                        const std::string& Path, bool IsDirectory, const TTWFileId& Expected) {
  TTarget T;
  if (!ReachForChange(PrefixDir, Path, T))
    return T.ParentMissing ? kErrPathNotFound : T.Err == ENOENT ? kErrFileNotFound : MapErr(T.Err);
  if (Expected.Valid() && !(Expected == IdOf(T.St))) return kErrAccessDenied;
  if (IsDirectory) {
    if (!S_ISDIR(T.St.Mode) || T.St.Dev != T.ParentSt.Dev || T.St.MountRoot)
      return kErrAccessDenied;
    TFd D(openat(T.Parent.Get(), T.Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    TStatInfo DSt;
    if (!D.Valid() || !StatAt(D.Get(), "", false, DSt) || !(IdOf(DSt) == IdOf(T.St)))
      return kErrAccessDenied;
    if (!DirIsEmpty(D.Get())) return kErrDirNotEmpty;
  } else if (!S_ISREG(T.St.Mode) && !S_ISLNK(T.St.Mode)) {
    return kErrAccessDenied;  // a folder where a file was, or a special file
  }

  TFd Trash = OpenTrash(TrashDir);
  if (!Trash.Valid()) return kErrAccessDenied;
  TFd Files = OpenTrashSub(Trash.Get(), "files");
  TFd Info = OpenTrashSub(Trash.Get(), "info");
  if (!Files.Valid() || !Info.Valid()) return kErrAccessDenied;

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

  // Room for "-xxxxxxxx.trashinfo" in a 255-byte name.
  const size_t MaxStem = 255 - 9 - 10;
  const std::string Stem = T.Name.size() > MaxStem ? T.Name.substr(0, MaxStem) : T.Name;
  for (int Try = 0; Try < 1000; ++Try) {
    std::string Base = (Try == 0 && T.Name.size() + 10 <= 255) ? T.Name : Stem + "-" + RandomHex8();
    std::string InfoName = Base + ".trashinfo";
    TFd F(openat(Info.Get(), InfoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 0600));
    if (!F.Valid()) {
      if (errno == EEXIST) continue;
      return kErrAccessDenied;
    }
    bool Written = WriteAllToFd(F.Get(), Text) && fsync(F.Get()) == 0;
    if (close(F.Release()) != 0) Written = false;
    if (!Written) {
      unlinkat(Info.Get(), InfoName.c_str(), 0);
      return kErrAccessDenied;
    }
    if (renameat2(T.Parent.Get(), T.Name.c_str(), Files.Get(), Base.c_str(), RENAME_NOREPLACE) !=
        0) {
      int E = errno;
      unlinkat(Info.Get(), InfoName.c_str(), 0);
      if (E == EEXIST) continue;  // an orphan in files/: never replaced
      return MapErr(E);
    }
    // What went in must be what was checked; a swap is moved back.
    TStatInfo Moved;
    if (!StatAt(Files.Get(), Base.c_str(), false, Moved) || !(IdOf(Moved) == IdOf(T.St))) {
      if (renameat2(Files.Get(), Base.c_str(), T.Parent.Get(), T.Name.c_str(), RENAME_NOREPLACE) ==
          0)
        unlinkat(Info.Get(), InfoName.c_str(), 0);
      return kErrAccessDenied;
    }
    return 0;
  }
  return kErrAccessDenied;
}

}  // namespace twl
