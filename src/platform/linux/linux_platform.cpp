// The host platform on Linux: the Windows services answered over a Wine-style prefix the
// way Wine 8.0 answers them, except where that would be unsafe (Wine deletes through
// links; here nothing ever follows a link but the drive link dosdevices/x: itself).
#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>

#include "platform/linux/host_files.h"
#include "platform/linux/host_shell.h"
#include "platform/linux/wine_delete.h"
#include "platform/linux/wine_find.h"
#include "platform/linux/wine_folders.h"
#include "platform/linux/wine_fs.h"
#include "platform/linux/wine_ini.h"
#include "platform/linux/wine_paths.h"
#include "platform/linux/wine_registry.h"
#include "platform/tw_platform.h"

using namespace twl;

namespace {

std::string Env(const std::string& Name) {
  const char* V = getenv(Name.c_str());
  return V ? V : "";
}

// The lexical form of an absolute Unix path: no ".", "..", or repeated '/'.
std::string NormalUnixPath(const std::string& P) {
  std::vector<std::string> Parts;
  size_t I = 0;
  while (I < P.size()) {
    while (I < P.size() && P[I] == '/') ++I;
    size_t S = I;
    while (I < P.size() && P[I] != '/') ++I;
    std::string C = P.substr(S, I - S);
    if (C.empty() || C == ".") continue;
    if (C == "..") {
      if (!Parts.empty()) Parts.pop_back();
      continue;
    }
    Parts.push_back(C);
  }
  std::string Out;
  for (const std::string& C : Parts) Out += "/" + C;
  return Out.empty() ? "/" : Out;
}

// The file manager answers at once or not at all; the window waits no longer than this.
constexpr int kPropertiesTimeoutMs = 3000;

// Where the kernel has the folder that Fd holds open (reached without links).
bool PathOfFd(int Fd, std::string& Path) {
  char Buf[PATH_MAX];
  const std::string Link = "/proc/self/fd/" + std::to_string(Fd);
  const ssize_t N = readlink(Link.c_str(), Buf, sizeof Buf);
  if (N <= 0 || static_cast<size_t>(N) >= sizeof Buf || Buf[0] != '/') return false;
  Path.assign(Buf, static_cast<size_t>(N));
  return true;
}

constexpr long kIso9660 = 0x9660, kUdf = 0x15013346, kNfs = 0x6969, kProc = 0x9FA0;
constexpr long kCifs = 0xFF534D42, kSmb2 = 0xFE534D42, kSmb = 0x517B, kNcp = 0x564C;

class TLinuxPlatform : public TTWPlatform {
 public:
  TLinuxPlatform() {
    FUserName = WineUserName(Env);
    Discover();
    struct stat S;
    if (stat("/", &S) == 0) {
      FCtx.HostRootDev = S.st_dev;
      FCtx.HostRootIno = S.st_ino;
    }
    if (!FPrefix.empty() && stat(FPrefix.c_str(), &S) == 0) {
      FCtx.HavePrefix = true;
      FCtx.PrefixDev = S.st_dev;
      FCtx.PrefixIno = S.st_ino;
    }
  }

  // --- Drives and system folders

  uint32_t GetDriveType(const std::string& Root) override {
    char L;
    if (!DriveLetter(Root, L)) return DRIVE_NO_ROOT_DIR;
    TFd Dev(
        open((FPrefix + "/dosdevices").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    char Link[3] = {L, ':', '\0'};
    char Buf[8];
    if (FPrefix.empty() || !Dev.Valid() || readlinkat(Dev.Get(), Link, Buf, sizeof Buf) < 0)
      return DRIVE_NO_ROOT_DIR;  // a drive exists when its link does, even dangling
    const uint32_t Default = (L == 'a' || L == 'b') ? DRIVE_REMOVABLE : DRIVE_FIXED;
    const uint32_t Registry = RegistryDriveType(L);
    const uint32_t Typed = Registry ? Registry : Default;
    TFd Target(openat(Dev.Get(), Link, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!Target.Valid()) {
      if (Typed == DRIVE_CDROM) return DRIVE_CDROM;
      return Typed == DRIVE_REMOVABLE ? DRIVE_REMOVABLE : DRIVE_NO_ROOT_DIR;
    }
    struct statfs Fs;
    if (fstatfs(Target.Get(), &Fs) == 0) {
      const long T = static_cast<long>(Fs.f_type);
      if (T == kIso9660 || T == kUdf) return DRIVE_CDROM;
      if (T == kNfs || T == kCifs || T == kSmb2 || T == kSmb || T == kNcp) return DRIVE_REMOTE;
      if (T == kProc) return DRIVE_RAMDISK;
    }
    return Typed;
  }

  bool DriveInsideSystem(char Letter) override {
    const char L = static_cast<char>(Letter | 0x20);
    if (L < 'a' || L > 'z' || FPrefix.empty()) return false;
    TFd Dev(
        open((FPrefix + "/dosdevices").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    char Link[3] = {L, ':', '\0'};
    char Buf[PATH_MAX];
    const ssize_t N = Dev.Valid() ? readlinkat(Dev.Get(), Link, Buf, sizeof Buf - 1) : -1;
    if (N <= 0) return false;
    const std::string Text(Buf, static_cast<size_t>(N));
    // Strictly inside: a drive that is the prefix itself would hold its registry files.
    auto Inside = [](const std::string& Path, std::string Dir) {
      if (Dir != "/") Dir += '/';
      return Path.size() > Dir.size() && Path.compare(0, Dir.size(), Dir) == 0;
    };
    // As the prefix spells it ("../drive_c"), so that a drive_c moved elsewhere and
    // linked back still counts; or as the file system resolves it.
    const std::string Lexical =
        NormalUnixPath(Text[0] == '/' ? Text : FPrefix + "/dosdevices/" + Text);
    if (Inside(Lexical, NormalUnixPath(FPrefix))) return true;
    char Real[PATH_MAX], RealPrefix[PATH_MAX];
    return realpath((FPrefix + "/dosdevices/" + Link).c_str(), Real) &&
           realpath(FPrefix.c_str(), RealPrefix) && Inside(Real, RealPrefix);
  }

  bool GetDiskFreeSpace(const std::string& Root, uint64_t& FreeBytes,
                        uint64_t& TotalBytes) override {
    char L;
    if (!DriveLetter(Root, L)) return false;
    TFd R = OpenDriveRoot(FPrefix, L);
    struct statvfs V;
    if (!R.Valid() || fstatvfs(R.Get(), &V) != 0) return false;
    FreeBytes = static_cast<uint64_t>(V.f_bavail) * V.f_frsize;
    TotalBytes = static_cast<uint64_t>(V.f_blocks) * V.f_frsize;
    return true;
  }

  std::string GetDriveDisplayName(char Letter) override {
    char U = static_cast<char>(Letter & ~0x20);
    std::string Tail = std::string(" (") + U + ":)";
    switch (GetDriveType(std::string(1, U) + ":\\")) {
      case DRIVE_REMOVABLE:
        return ((U == 'A' || U == 'B') ? "Floppy Disk Drive" : "Removable Disk") + Tail;
      case DRIVE_CDROM:
        return "CD Drive" + Tail;
      case DRIVE_REMOTE:
        return "Network Drive" + Tail;
      case DRIVE_RAMDISK:
        return "RAM Disk" + Tail;
      case DRIVE_FIXED:
        return "Local Disk" + Tail;
      default:
        return std::string(1, U) + ":";
    }
  }

  std::string GetWindowsDirectory() override { return "C:\\windows"; }

  std::string GetTempPath() override {
    std::string Raw = WineTempPathRaw(Info());
    // Only a full path is resolved: GetFullPathName would take anything else relative to
    // the folder the program happens to run in. The caller refuses what comes back.
    const bool Absolute = (Raw.size() >= 3 && Raw[1] == ':' && (Raw[2] == '\\' || Raw[2] == '/')) ||
                          (Raw.size() >= 2 && Raw[0] == '\\' && Raw[1] == '\\') || Raw[0] == '/';
    if (!Absolute) return Raw;
    std::string Full;
    if (!GetFullPathName(Raw, Full)) Full = Raw;
    if (Full.empty() || Full.back() != '\\') Full += '\\';
    return Full;
  }

  bool GetSpecialFolderPath(int Csidl, std::string& Path) override {
    std::string Raw;
    if (!WineSpecialFolderRaw(Info(), Csidl, Raw)) return false;
    TWinPath W;
    if (!ParseWinPath(Raw, W)) return false;
    TFd Root = OpenDriveRoot(FPrefix, W.Letter);
    int Err;
    if (!Root.Valid() ||
        !ResolveDir(Root.Get(), W.Comps, W.Comps.size(), false, nullptr, Err).Valid())
      return false;  // missing, or reached only through a link
    Path = Raw;
    return true;
  }

  bool GetFullPathName(const std::string& Path, std::string& Full) override {
    auto ToDos = [this](const std::string& U, std::string& D) { return UnixToDos(U, D); };
    std::string Cwd = "C:\\";
    char Buf[PATH_MAX];
    std::string Mapped;
    if (getcwd(Buf, sizeof Buf) && UnixToDos(Buf, Mapped)) Cwd = Mapped;
    return WineFullPathName(Path, Cwd, ToDos, Full);
  }

  // --- Enumeration

  std::unique_ptr<TTWFindHandle> FindFirst(const std::string& Pattern, bool Lazy) override {
    if (Pattern.size() > 32767) return nullptr;
    size_t Sep = Pattern.find_last_of("\\/");
    if (Sep == std::string::npos) return nullptr;
    std::string Mask = Pattern.substr(Sep + 1);
    TWinPath W;
    if (Mask.empty() || !ParseWinPath(Pattern.substr(0, Sep + 1), W)) return nullptr;
    TFd Root = OpenDriveRoot(FPrefix, W.Letter);
    if (!Root.Valid()) return nullptr;
    int Err;
    // Not below a mount point of the drive: what a listing there would show, no deletion
    // could reach (they resolve without crossing one either).
    TFd Dir = ResolveDir(Root.Get(), W.Comps, W.Comps.size(), true, nullptr, Err);
    TStatInfo St;
    if (!Dir.Valid() || !StatAt(Dir.Get(), "", false, St)) return nullptr;
    return OpenFind(std::move(Dir), St, W.Comps.empty(), Mask, Lazy, Context());
  }

  std::unique_ptr<TTWReadAhead> CreateReadAhead(std::function<bool()> Stopped) override {
    int N = GReadAheadThreads.load(std::memory_order_relaxed);
    if (N < 0) {
      // Threads that mostly wait for the disk: four per CPU keep enough reads in flight
      // for the disk to order them (on two CPUs, cold: 8 threads 0.77x the time of 4).
      cpu_set_t Set;
      CPU_ZERO(&Set);
      const int Cpus = sched_getaffinity(0, sizeof Set, &Set) == 0 ? CPU_COUNT(&Set) : 1;
      N = std::clamp(4 * Cpus, 4, 16);
    }
    return twl::CreateReadAhead(std::move(Stopped), static_cast<unsigned>(N));
  }

  bool FindOne(const std::string& Path, TTWFindData& Data) override {
    TWinPath W;
    if (HasWildcards(Path) || !ParseWinPath(Path, W) || W.Comps.empty()) return false;
    TFd Parent = ResolveParent(W);
    std::string Name;
    TStatInfo St, PSt;
    if (!Parent.Valid() || !LookupName(Parent.Get(), W.Comps.back(), Name) ||
        !StatAt(Parent.Get(), Name.c_str(), false, St) || !StatAt(Parent.Get(), "", false, PSt))
      return false;
    FillDetails(Parent.Get(), PSt.Dev, Name.c_str(), Name.size(), St, Context().ShowDotFiles, Data);
    if (!WinNameOf(Name.data(), Name.size(), Data.Name)) return false;
    return true;
  }

  // --- Destruction

  bool DeleteFile(const std::string& Path, const TTWFileId& Expected) override {
    return WineDeleteFile(FPrefix, Path, Expected, OpenElsewhere().get());
  }
  bool RemoveDirectory(const std::string& Path, const TTWFileId& Expected) override {
    return WineRemoveDirectory(FPrefix, Path, Expected, OpenElsewhere().get());
  }
  int32_t MoveToRecycleBin(const std::string& Path, bool IsDirectory,
                           const TTWFileId& Expected) override {
    std::string Trash = HomeTrashDir(getenv("XDG_DATA_HOME"), getenv("HOME"));
    return WineMoveToTrash(FPrefix, Trash, Path, IsDirectory, Expected, OpenElsewhere().get());
  }
  TTWOpenResult OpenForOverwrite(const std::string& Path, const TTWFileId& Expected,
                                 std::unique_ptr<TTWFile>& File) override {
    return WineOpenForOverwrite(FPrefix, Path, Expected, File, OpenElsewhere().get());
  }
  void BeginDeleteRun() override {
    auto Open = std::make_shared<TOpenFiles>();
    Open->Scan();
    std::lock_guard<std::mutex> Lock(FRunMutex);
    FRunOpen = std::move(Open);
  }
  void EndDeleteRun() override {
    std::lock_guard<std::mutex> Lock(FRunMutex);
    FRunOpen.reset();
  }

  // --- Registry and INI files

  bool RegKeyExists(TTWHive Hive, const std::string& KeyPath) override {
    LoadRegistry();
    return Hive == TTWHive::LocalMachine ? FMachine.KeyExists(KeyPath) : FUser.KeyExists(KeyPath);
  }
  bool RegQueryValue(TTWHive Hive, const std::string& KeyPath, const std::string& ValueName,
                     uint32_t& Type, std::string& Data) override {
    LoadRegistry();
    const TWineRegistry& R = Hive == TTWHive::LocalMachine ? FMachine : FUser;
    return R.QueryValue(KeyPath, ValueName, Type, Data);
  }
  std::string GetPrivateProfileString(const std::string& Section, const std::string& Key,
                                      const std::string& Default,
                                      const std::string& FileName) override {
    std::string Win =
        FileName.find_first_of("\\/") == std::string::npos ? "C:\\windows\\" + FileName : FileName;
    std::string Full, Bytes;
    if (!GetFullPathName(Win, Full) || !ReadWinFile(Full, Bytes)) Bytes.clear();
    return WineProfileString(Bytes, Section, Key, Default, 2048);
  }

  std::unique_ptr<TTWIniFile> OpenIniFile(const std::string& FileName) override {
    class TIni : public TTWIniFile {
     public:
      explicit TIni(const std::string& Bytes) : FIndex(Bytes) {}
      std::string GetString(const std::string& Section, const std::string& Key,
                            const std::string& Default) override {
        return FIndex.Get(Section, Key, Default, 2048);
      }

     private:
      TWineIniIndex FIndex;
    };
    std::string Win =
        FileName.find_first_of("\\/") == std::string::npos ? "C:\\windows\\" + FileName : FileName;
    std::string Full, Bytes;
    if (!GetFullPathName(Win, Full) || !ReadWinFile(Full, Bytes)) Bytes.clear();
    return std::make_unique<TIni>(Bytes);
  }

  // --- The program's own files

  std::string GetProgramFileName() override { return HostProgramFileName(); }
  char HostPathDelimiter() override { return '/'; }
  bool ReadWholeFile(const std::string& HostPath, std::string& Data) override {
    return HostReadWholeFile(HostPath, Data);
  }
  bool ReadSmallFile(const std::string& HostPath, size_t Limit, std::string& Data,
                     std::string& Why) override {
    return HostReadSmallFile(HostPath, Limit, Data, Why);
  }
  bool ReplaceFile(const std::string& HostPath, const std::string& Data) override {
    return HostReplaceFile(HostPath, Data);
  }
  bool CanWriteFolder(const std::string& HostFolder) override {
    return HostCanWriteFolder(HostFolder);
  }
  std::string GetUserConfigFolder() override { return HostUserConfigFolder(); }
  bool CreateFolders(const std::string& HostFolder) override {
    return HostCreateFolders(HostFolder);
  }

  // --- Shell: the properties sheet is the file manager's, where one answers on D-Bus.

  void OpenLink(const std::string& Target) override { HostOpenLink(Target); }
  bool ShowProperties(const std::string& Path) override {
    std::string Host;
    return GetHostPath(Path, Host) && HostShowItemProperties(Host, kPropertiesTimeoutMs);
  }
  bool GetHostPath(const std::string& Path, std::string& HostPath) override {
    TWinPath W;
    if (HasWildcards(Path) || !ParseWinPath(Path, W)) return false;
    if (W.Comps.empty()) {
      TFd Root = OpenDriveRoot(FPrefix, W.Letter);
      return Root.Valid() && PathOfFd(Root.Get(), HostPath);
    }
    TFd Parent = ResolveParent(W);
    std::string Name, Dir;
    if (!Parent.Valid() || !LookupName(Parent.Get(), W.Comps.back(), Name) ||
        !PathOfFd(Parent.Get(), Dir))
      return false;
    HostPath = Dir == "/" ? "/" + Name : Dir + "/" + Name;
    return true;
  }
  bool GetLastWriteTime(const std::string& Path, int64_t& Seconds) override {
    TWinPath W;
    if (HasWildcards(Path) || !ParseWinPath(Path, W) || W.Comps.empty()) return false;
    TFd Parent = ResolveParent(W);
    std::string Name;
    struct stat S;
    if (!Parent.Valid() || !LookupName(Parent.Get(), W.Comps.back(), Name) ||
        fstatat(Parent.Get(), Name.c_str(), &S, AT_SYMLINK_NOFOLLOW) != 0)
      return false;
    Seconds = static_cast<int64_t>(S.st_mtime);
    return true;
  }

  // --- Environment and clock

  std::string GetEnvironmentVariable(const std::string& Name) override { return Env(Name); }
  bool GetUserLocale(std::string& Language, std::string& Country) override {
    return HostUserLocale(Language, Country);
  }
  bool QueryPerformanceCounter(uint64_t& Counter) override {
    timespec Ts;
    if (clock_gettime(CLOCK_MONOTONIC, &Ts) != 0) return false;
    Counter = static_cast<uint64_t>(Ts.tv_sec) * 1000000000u + static_cast<uint64_t>(Ts.tv_nsec);
    return true;
  }
  uint32_t GetTickCount() override {
    timespec Ts;
    clock_gettime(CLOCK_MONOTONIC, &Ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(Ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(Ts.tv_nsec) / 1000000u);
  }

  bool SystemFound(std::string& Why) override {
    Why = FWhy;
    return FFound;
  }

 private:
  void Discover() {
    const char* P = getenv("WINEPREFIX");
    if (P && *P) {
      if (P[0] != '/') {
        FWhy = std::string("WINEPREFIX is not an absolute path: ") + P;
        return;
      }
      FPrefix = P;
    } else {
      const char* H = getenv("HOME");
      if (!H || H[0] != '/') {
        FWhy = "neither WINEPREFIX nor HOME is set";
        return;
      }
      FPrefix = std::string(H) + "/.wine";
    }
    while (FPrefix.size() > 1 && FPrefix.back() == '/') FPrefix.pop_back();
    struct stat S;
    if (stat(FPrefix.c_str(), &S) != 0 || !S_ISDIR(S.st_mode)) {
      FWhy = "no Windows system at " + FPrefix;
      return;
    }
    if (S.st_uid != getuid()) {
      FWhy = FPrefix + " is not owned by you";
      return;
    }
    std::string Missing;
    if (lstat((FPrefix + "/dosdevices").c_str(), &S) != 0 || !S_ISDIR(S.st_mode))
      Missing += " dosdevices/";
    for (const char* F : {"system.reg", "user.reg"})
      if (stat((FPrefix + "/" + F).c_str(), &S) != 0 || !S_ISREG(S.st_mode))
        Missing += std::string(" ") + F;
    if (!Missing.empty()) {
      FWhy = "the Windows system at " + FPrefix + " is incomplete, missing:" + Missing;
      return;
    }
    FFound = true;
  }

  void LoadRegistry() {
    std::call_once(FRegOnce, [this] {
      std::string Text;
      if (!FPrefix.empty() && HostReadWholeFile(FPrefix + "/system.reg", Text))
        FMachine.LoadText(Text);
      if (!FPrefix.empty() && HostReadWholeFile(FPrefix + "/user.reg", Text)) FUser.LoadText(Text);
      std::string Show;
      FShowDot = FUser.QueryString("Software\\Wine", "ShowDotFiles", Show) && !Show.empty() &&
                 std::string("yYtT1").find(Show[0]) != std::string::npos;
    });
  }

  TWineSystemInfo Info() {
    LoadRegistry();
    TWineSystemInfo I;
    I.Machine = &FMachine;
    I.User = &FUser;
    I.UserName = FUserName;
    I.UnixEnv = Env;
    return I;
  }

  TFindContext Context() {
    LoadRegistry();
    TFindContext C = FCtx;
    C.ShowDotFiles = FShowDot;
    return C;
  }

  // "X:", "X:\" or "X:/".
  static bool DriveLetter(const std::string& Root, char& L) {
    if (Root.size() < 2 || Root.size() > 3 || Root[1] != ':') return false;
    if (Root.size() == 3 && Root[2] != '\\' && Root[2] != '/') return false;
    L = static_cast<char>(Root[0] | 0x20);
    return L >= 'a' && L <= 'z';
  }

  uint32_t RegistryDriveType(char L) {
    LoadRegistry();
    uint32_t Type;
    std::string Data;
    if (!FMachine.QueryValue("Software\\Wine\\Drives", std::string(1, L) + ":", Type, Data) ||
        Type != REG_SZ)
      return 0;
    while (!Data.empty() && Data.back() == '\0') Data.pop_back();
    for (char& C : Data) C = static_cast<char>(C >= 'A' && C <= 'Z' ? C + 32 : C);
    if (Data == "hd") return DRIVE_FIXED;
    if (Data == "floppy") return DRIVE_REMOVABLE;
    if (Data == "cdrom") return DRIVE_CDROM;
    if (Data == "network") return DRIVE_REMOTE;
    if (Data == "ramdisk") return DRIVE_RAMDISK;
    return 0;
  }

  TFd ResolveParent(const TWinPath& W) {
    TFd Root = OpenDriveRoot(FPrefix, W.Letter);
    int Err;
    if (!Root.Valid()) return TFd();
    return ResolveDir(Root.Get(), W.Comps, W.Comps.size() - 1, false, nullptr, Err);
  }

  bool ReadWinFile(const std::string& Path, std::string& Bytes) {
    TWinPath W;
    if (!ParseWinPath(Path, W) || W.Comps.empty()) return false;
    TFd Parent = ResolveParent(W);
    std::string Name;
    if (!Parent.Valid() || !LookupName(Parent.Get(), W.Comps.back(), Name)) return false;
    TFd F(openat(Parent.Get(), Name.c_str(),
                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat S;
    if (!F.Valid() || fstat(F.Get(), &S) != 0 || !S_ISREG(S.st_mode) || S.st_size > (64 << 20))
      return false;
    return twl::ReadAllFromFd(F.Get(), Bytes, 64u << 20);
  }

  // A Unix path to the drive whose target holds it, the most specific drive winning.
  bool UnixToDos(const std::string& Unix, std::string& Dos) {
    if (Unix.empty() || Unix[0] != '/' || FPrefix.empty()) return false;
    char Real[PATH_MAX];
    std::string Path = realpath(Unix.c_str(), Real) ? std::string(Real) : NormalUnixPath(Unix);
    size_t Best = 0;
    char BestLetter = 0;
    for (char L = 'a'; L <= 'z'; ++L) {
      std::string Link = FPrefix + "/dosdevices/" + L + ":";
      if (!realpath(Link.c_str(), Real)) continue;
      std::string T = Real;
      bool Inside =
          T == "/" || Path == T || (Path.compare(0, T.size(), T) == 0 && Path[T.size()] == '/');
      if (Inside && (BestLetter == 0 || T.size() > Best)) {
        Best = T.size();
        BestLetter = L;
      }
    }
    if (!BestLetter) return false;
    std::string Rest = Best == 1 ? Path.substr(1) : Path.substr(std::min(Path.size(), Best + 1));
    Dos = std::string(1, static_cast<char>(BestLetter & ~0x20)) + ":\\";
    for (char C : Rest) Dos += C == '/' ? '\\' : C;
    return true;
  }

  // What other processes hold open: the run's one look, or a fresh one outside a run.
  std::shared_ptr<const TOpenFiles> OpenElsewhere() {
    {
      std::lock_guard<std::mutex> Lock(FRunMutex);
      if (FRunOpen) return FRunOpen;
    }
    auto Open = std::make_shared<TOpenFiles>();
    Open->Scan();
    return Open;
  }

  std::mutex FRunMutex;
  std::shared_ptr<const TOpenFiles> FRunOpen;
  std::string FPrefix, FWhy, FUserName;
  bool FFound = false;
  TFindContext FCtx;
  std::once_flag FRegOnce;
  TWineRegistry FMachine, FUser;
  bool FShowDot = false;
};

}  // namespace

std::unique_ptr<TTWPlatform> CreateHostPlatform() {
  return std::make_unique<TLinuxPlatform>();
}
