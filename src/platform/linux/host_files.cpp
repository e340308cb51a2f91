#include "platform/linux/host_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/linux/wine_fs.h"

extern char** environ;

namespace twl {

bool ReadAllFromFd(int Fd, std::string& Data, size_t Limit) {
  std::string Out;
  char Buf[65536];
  for (;;) {
    ssize_t N = read(Fd, Buf, sizeof Buf);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return false;
    if (N == 0) break;
    Out.append(Buf, static_cast<size_t>(N));
    if (Out.size() > Limit) return false;
  }
  Data.swap(Out);
  return true;
}

bool WriteAllToFd(int Fd, const std::string& Data) {
  size_t Done = 0;
  while (Done < Data.size()) {
    ssize_t N = write(Fd, Data.data() + Done, Data.size() - Done);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Done += static_cast<size_t>(N);
  }
  return true;
}

bool HostReadWholeFile(const std::string& Path, std::string& Data) {
  TFd F(open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!F.Valid()) return false;
  struct stat S;
  if (fstat(F.Get(), &S) != 0 || !S_ISREG(S.st_mode)) return false;
  return ReadAllFromFd(F.Get(), Data, static_cast<size_t>(-1));
}

namespace {

void PushFront(const std::string& Path, std::deque<std::string>& Rest) {
  std::deque<std::string> Parts;
  size_t I = 0;
  while (I < Path.size()) {
    size_t J = Path.find('/', I);
    if (J == std::string::npos) J = Path.size();
    if (J > I) Parts.push_back(Path.substr(I, J - I));
    I = J + 1;
  }
  Rest.insert(Rest.begin(), Parts.begin(), Parts.end());
}

// Opens the folder that holds the file Path names, once every link on the way and at the
// end is followed, and gives the file's name in it. A link is followed only where the
// kernel's protected_symlinks rule would follow it, whatever the system's setting: in a
// sticky folder that anybody may write to, such as /tmp, only a link of ours or of the
// folder's owner, so that another user's planted link never redirects the save.
bool OpenSettingsFolder(const std::string& Path, TFd& Folder, std::string& Name) {
  if (Path.empty() || Path.back() == '/') return false;  // that names a folder
  TFd Cur(open(Path[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  std::deque<std::string> Rest;
  PushFront(Path, Rest);
  int Links = 0;
  while (Cur.Valid() && !Rest.empty()) {
    const std::string C = Rest.front();
    Rest.pop_front();
    const bool Last = Rest.empty();
    struct stat L;
    if (C == "." || C == "..") {
      if (Last) return false;
    } else if (fstatat(Cur.Get(), C.c_str(), &L, AT_SYMLINK_NOFOLLOW) != 0) {
      if (!Last || errno != ENOENT) return false;
      Folder = std::move(Cur);  // a new file
      Name = C;
      return true;
    } else if (S_ISLNK(L.st_mode)) {
      struct stat D;
      if (++Links > 40 || fstat(Cur.Get(), &D) != 0) return false;
      const bool Shared = (D.st_mode & S_ISVTX) && (D.st_mode & S_IWOTH);
      if (Shared && L.st_uid != geteuid() && L.st_uid != D.st_uid) return false;
      char Buf[PATH_MAX];
      ssize_t N = readlinkat(Cur.Get(), C.c_str(), Buf, sizeof Buf);
      if (N <= 0 || static_cast<size_t>(N) >= sizeof Buf) return false;
      std::string Link(Buf, static_cast<size_t>(N));
      if (Last && Link.back() == '/') return false;  // leads to a folder
      if (Link[0] == '/') Cur.Reset(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      PushFront(Link, Rest);
      continue;
    } else if (Last) {
      Folder = std::move(Cur);
      Name = C;
      return true;
    }
    Cur.Reset(openat(Cur.Get(), C.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return false;
}

constexpr char kTempChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr size_t kTempSuffix = 6;

// Whether Entry is a temporary file name of ours for Name: ".<name>.XXXXXX".
bool IsTemporaryOf(const char* Entry, const std::string& Name) {
  size_t Len = strlen(Entry);
  if (Len != Name.size() + 2 + kTempSuffix || Entry[0] != '.' ||
      Name.compare(0, Name.size(), Entry + 1, Name.size()) != 0 || Entry[Name.size() + 1] != '.')
    return false;
  for (size_t I = Name.size() + 2; I < Len; ++I)
    if (!strchr(kTempChars, Entry[I])) return false;
  return true;
}

// Removes the temporary files that earlier saves of Name left behind when they were
// killed midway. A save in progress holds a lock on its temporary file, so only files
// whose writer is gone are taken, and only regular files of ours.
void RemoveStaleTemporaries(int DirFd, const std::string& Name) {
  int Dup = fcntl(DirFd, F_DUPFD_CLOEXEC, 0);
  if (Dup < 0) return;
  DIR* List = fdopendir(Dup);
  if (!List) {
    close(Dup);
    return;
  }
  rewinddir(List);
  std::vector<std::string> Found;
  while (dirent* E = readdir(List))
    if (IsTemporaryOf(E->d_name, Name)) Found.emplace_back(E->d_name);
  closedir(List);
  for (const std::string& T : Found) {
    TFd F(openat(DirFd, T.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat Open, Now;
    if (!F.Valid() || fstat(F.Get(), &Open) != 0 || !S_ISREG(Open.st_mode) ||
        Open.st_uid != geteuid() || flock(F.Get(), LOCK_EX | LOCK_NB) != 0)
      continue;
    // Still the file that was checked, not one put there since.
    if (fstatat(DirFd, T.c_str(), &Now, AT_SYMLINK_NOFOLLOW) == 0 && Now.st_dev == Open.st_dev &&
        Now.st_ino == Open.st_ino)
      unlinkat(DirFd, T.c_str(), 0);
  }
}

// Creates ".<name>.XXXXXX" in the folder exclusively (never through a link), locked for
// as long as F stays open.
bool CreateTemporary(int DirFd, const std::string& Name, mode_t Mode, std::string& Tmp, TFd& F) {
  for (int Try = 0; Try < 100; ++Try) {
    uint64_t R = 0;
    if (getrandom(&R, sizeof R, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof R))
      R = static_cast<uint64_t>(getpid()) * 2654435761u + static_cast<uint64_t>(Try) +
          static_cast<uint64_t>(time(nullptr)) * 40503u;
    std::string Suffix;
    for (size_t I = 0; I < kTempSuffix; ++I, R /= 62) Suffix += kTempChars[R % 62];
    Tmp = "." + Name + "." + Suffix;
    F.Reset(openat(DirFd, Tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Mode));
    if (!F.Valid()) {
      if (errno != EEXIST) return false;
      continue;
    }
    // Another save's cleanup may have taken it before the lock was set: then try again.
    struct stat Open, Now;
    if (flock(F.Get(), LOCK_EX | LOCK_NB) == 0 && fstat(F.Get(), &Open) == 0 &&
        fstatat(DirFd, Tmp.c_str(), &Now, AT_SYMLINK_NOFOLLOW) == 0 && Now.st_dev == Open.st_dev &&
        Now.st_ino == Open.st_ino)
      return true;
    F.Reset();
  }
  return false;
}

}  // namespace

bool HostReadSmallFile(const std::string& Path, size_t Limit, std::string& Data, std::string& Why) {
  // Non-blocking, so that a FIFO in the file's place does not wait for a writer.
  TFd F(open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!F.Valid()) {
    Why = std::generic_category().message(errno);
    return false;
  }
  struct stat S;
  if (fstat(F.Get(), &S) != 0) {
    Why = std::generic_category().message(errno);
    return false;
  }
  if (S_ISDIR(S.st_mode)) {
    Why = std::generic_category().message(EISDIR);
    return false;
  }
  if (!S_ISREG(S.st_mode)) {
    Why = "Not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(S.st_size) > Limit || !ReadAllFromFd(F.Get(), Data, Limit)) {
    Why = std::generic_category().message(EFBIG);
    return false;
  }
  return true;
}

bool HostReplaceFile(const std::string& Path, const std::string& Data) {
  TFd D;
  std::string Name;
  if (!OpenSettingsFolder(Path, D, Name)) return false;

  struct stat Old;
  bool HasOld = fstatat(D.Get(), Name.c_str(), &Old, AT_SYMLINK_NOFOLLOW) == 0;
  if (HasOld && !S_ISREG(Old.st_mode)) return false;  // a folder, a device, a new link
  if (!HasOld && errno != ENOENT) return false;

  RemoveStaleTemporaries(D.Get(), Name);
  // A new file gets what the umask and the folder's default ACL give; a replaced one
  // takes the old file's permissions and owner, and is private until then.
  std::string Tmp;
  TFd F;
  if (!CreateTemporary(D.Get(), Name, HasOld ? 0600 : 0666, Tmp, F)) return false;

  bool Ok = WriteAllToFd(F.Get(), Data);
  if (Ok && HasOld) {
    if (fchown(F.Get(), Old.st_uid, Old.st_gid) != 0 && fchown(F.Get(), -1, Old.st_gid) != 0) {
      // Not a member of the old group: the file takes ours, as a new one would.
    }
    Ok = fchmod(F.Get(), Old.st_mode & 07777) == 0;
  }
  Ok = Ok && fsync(F.Get()) == 0;
  // Renamed while still locked, so that no other save takes it for a stale one.
  Ok = Ok && renameat(D.Get(), Tmp.c_str(), D.Get(), Name.c_str()) == 0;
  if (!Ok) unlinkat(D.Get(), Tmp.c_str(), 0);
  if (close(F.Release()) != 0) Ok = false;  // late errors (NFS) show here
  if (Ok) fsync(D.Get());                   // the rename is durable only once the folder is
  return Ok;
}

std::string HostProgramFileName() {
  std::vector<char> Buf(4096);
  for (;;) {
    ssize_t N = readlink("/proc/self/exe", Buf.data(), Buf.size());
    if (N < 0) return std::string();
    if (static_cast<size_t>(N) < Buf.size()) return std::string(Buf.data(), static_cast<size_t>(N));
    if (Buf.size() >= (1u << 16)) return std::string();
    Buf.resize(Buf.size() * 2);
  }
}

bool HostCanWriteFolder(const std::string& Path) {
  if (Path.empty()) return false;
  // Making a file there takes write and search permission on the folder itself.
  return faccessat(AT_FDCWD, Path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

namespace {

std::string WithoutTrailingSlashes(std::string Path) {
  while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
  return Path;
}

std::string HomeFolder() {
  const char* Home = getenv("HOME");
  if (Home && Home[0] == '/') return Home;
  std::vector<char> Buf(16384);
  passwd Pw;
  passwd* Found = nullptr;
  if (getpwuid_r(geteuid(), &Pw, Buf.data(), Buf.size(), &Found) == 0 && Found && Pw.pw_dir &&
      Pw.pw_dir[0] == '/')
    return Pw.pw_dir;
  return std::string();
}

}  // namespace

std::string HostUserConfigFolder() {
  // A relative XDG_CONFIG_HOME is invalid and must be ignored.
  const char* Xdg = getenv("XDG_CONFIG_HOME");
  if (Xdg && Xdg[0] == '/') return WithoutTrailingSlashes(Xdg);
  const std::string Home = WithoutTrailingSlashes(HomeFolder());
  if (Home.empty()) return std::string();
  return (Home == "/" ? std::string() : Home) + "/.config";
}

bool HostCreateFolders(const std::string& Path) {
  if (Path.empty()) return false;
  struct stat S;
  // Each level in turn; one that exists (or a link to a folder, as ~/.config often is)
  // is used as it is.
  for (size_t End = Path.find('/', 1);; End = Path.find('/', End + 1)) {
    const std::string Part = Path.substr(0, End);
    if (!Part.empty() && Part.back() != '/' && mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST)
      return false;
    if (End == std::string::npos) break;
  }
  return stat(Path.c_str(), &S) == 0 && S_ISDIR(S.st_mode);
}

void HostOpenLink(const std::string& Target) {
  // xdg-open would take a leading '-' for one of its options; no link or file name of
  // ours starts so, so such a target opens nothing, as an unusable link does.
  if (Target.empty() || Target[0] == '-') return;
  std::string Prog = "xdg-open";
  std::vector<char> Arg(Target.begin(), Target.end());
  Arg.push_back('\0');
  char* Argv[] = {Prog.data(), Arg.data(), nullptr};
  pid_t Pid;
  // No shell: the target is one argument, whatever bytes it holds.
  if (posix_spawnp(&Pid, "xdg-open", nullptr, nullptr, Argv, environ) != 0) return;
  std::thread([Pid] {
    int Status;
    while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

bool HostUserLocale(std::string& Language, std::string& Country) {
  // The message locale the user asked for, in the POSIX order, read from the environment
  // as gettext reads it. The process locale stays "C": setlocale would also change how
  // numbers are written and read, and nothing of the program's files may depend on that.
  std::string S;
  for (const char* Name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* V = getenv(Name);
    if (V && *V) {
      S = V;
      break;
    }
  }
  if (S.empty() || S == "C" || S == "POSIX" || S.compare(0, 2, "C.") == 0) return false;
  size_t End = S.find_first_of(".@");
  if (End != std::string::npos) S.resize(End);
  size_t Under = S.find('_');
  std::string Lang = S.substr(0, Under);
  std::string Ctry = Under == std::string::npos ? std::string() : S.substr(Under + 1);
  if (Lang.size() < 2 || Lang.size() > 3) return false;
  for (char C : Lang)
    if (C < 'a' || C > 'z') return false;
  for (char C : Ctry)
    if (!((C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9'))) return false;
  Language = Lang;
  Country = Ctry;
  return true;
}

}  // namespace twl
