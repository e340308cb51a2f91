#include "sample_prefix.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/linux/host_files.h"

namespace {

const char* const kSystemReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList] 1700000000\n"
    "#time=1da1b2c3d4e5f60\n"
    "\"ProfilesDirectory\"=str(2):\"C:\\\\users\"\n"
    "\"ProgramData\"=str(2):\"C:\\\\ProgramData\"\n"
    "\"Public\"=str(2):\"C:\\\\users\\\\Public\"\n"
    "\n"
    "[Software\\\\Wine\\\\Drives] 1700000000\n"
    "#time=1da1b2c3d4e5f60\n"
    "\"d:\"=\"cdrom\"\n"
    "\n"
    "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment] 1700000000\n"
    "#time=1da1b2c3d4e5f60\n"
    "\"TEMP\"=str(2):\"%SystemRoot%\\\\temp\"\n"
    "\"TMP\"=str(2):\"%SystemRoot%\\\\temp\"\n"
    "\"windir\"=str(2):\"%SystemRoot%\"\n";

const char* const kUserReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Environment] 1700000000\n"
    "#time=1da1b2c3d4e5f60\n"
    "\"TEMP\"=\"C:\\\\users\\\\tester\\\\Temp\"\n"
    "\"TMP\"=\"C:\\\\users\\\\tester\\\\Temp\"\n"
    "\n"
    "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\User Shell Folders] "
    "1700000000\n"
    "#time=1da1b2c3d4e5f60\n"
    "\"AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Roaming\"\n"
    "\"Cache\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\\\\Microsoft\\\\Windows\\\\INetCache\"\n"
    "\"Cookies\"=str(2):\"%USERPROFILE%"
    "\\\\AppData\\\\Local\\\\Microsoft\\\\Windows\\\\INetCookies\"\n"
    "\"History\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\\\\Microsoft\\\\Windows\\\\History\"\n"
    "\"Local AppData\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Local\"\n"
    "\"Recent\"=str(2):\"%USERPROFILE%\\\\AppData\\\\Roaming\\\\Microsoft\\\\Windows\\\\Recent\"\n"
    "\n"
    "[Software\\\\Parser Cases\\\\Esc \\[x\\] \"q\" \\xe9] 1700000000\n"
    "#time=1da1b2c3d4e5f60\n"
    "#class=\"Cls\"\n"
    "@=\"default\"\n"
    "\"quote\\\"back\\\\slash\"=\"C:\\\\path \\\"q\\\"\"\n"
    "\"ctrl\"=\"a\\tb\\nc\\0017\\e\"\n"
    "\"uni\"=\"\\xe9t\\xe9 \\x4e2d1\"\n"
    "\"dword\"=dword:deadbeef\n"
    "\"expand\"=str(2):\"%USERPROFILE%\\\\x\"\n"
    "\"multi\"=str(7):\"one\\0two\\0\"\n"
    "\"qword\"=hex(b):ef,cd,ab,89,67,45,23,01\n"
    "\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
    "  16,17,18,19\n"
    "\"expand_hex\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\n"
    "\"none\"=hex(0):\n";

const char* const kUserDefReg =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\.Default\n"
    "\n"
    "#arch=win64\n";

bool WriteFileAt(const std::string& Path, const std::string& Data, int Flags = O_TRUNC) {
  int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | Flags, 0644);
  if (Fd < 0) return false;
  bool Ok = twl::WriteAllToFd(Fd, Data);
  return close(Fd) == 0 && Ok;
}

bool MkdirP(const std::string& Path) {
  if (Path.empty()) return true;
  struct stat St;
  if (lstat(Path.c_str(), &St) == 0) return S_ISDIR(St.st_mode);
  size_t Slash = Path.find_last_of('/');
  if (Slash != std::string::npos && Slash > 0 && !MkdirP(Path.substr(0, Slash))) return false;
  return mkdir(Path.c_str(), 0755) == 0 || errno == EEXIST;
}

// Whether Dir/Name is the root of a mount (bind mounts of the same file system included).
bool IsMountRoot(int Dir, const char* Name, dev_t ParentDev) {
  struct statx Sx;
  if (statx(Dir, Name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &Sx) != 0)
    return false;
  if (makedev(Sx.stx_dev_major, Sx.stx_dev_minor) != ParentDev) return true;
  return (Sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
         (Sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

// Removes everything inside the directory Fd, then the caller removes the directory.
// Never crosses into another mount: a test that left one mounted keeps its contents.
bool RemoveContents(int Fd) {
  bool Ok = true;
  DIR* D = fdopendir(Fd);
  if (!D) {
    close(Fd);
    return false;
  }
  std::vector<std::string> Names;
  while (dirent* E = readdir(D)) {
    if (strcmp(E->d_name, ".") == 0 || strcmp(E->d_name, "..") == 0) continue;
    Names.emplace_back(E->d_name);
  }
  int Dfd = dirfd(D);
  struct stat DirSt;
  if (fstat(Dfd, &DirSt) != 0) {
    closedir(D);
    return false;
  }
  for (const std::string& N : Names) {
    struct stat St;
    if (fstatat(Dfd, N.c_str(), &St, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(St.st_mode) && IsMountRoot(Dfd, N.c_str(), DirSt.st_dev)) {
      Ok = false;
      continue;
    }
    if (S_ISDIR(St.st_mode)) {
      int Child = openat(Dfd, N.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (Child < 0) {
        Ok = false;
        continue;
      }
      fchmod(Child, 0700);  // on the descriptor: a read-only folder must still empty
      Ok = RemoveContents(Child) && Ok;
      if (unlinkat(Dfd, N.c_str(), AT_REMOVEDIR) != 0) Ok = false;
    } else if (unlinkat(Dfd, N.c_str(), 0) != 0) {
      Ok = false;
    }
  }
  closedir(D);
  return Ok;
}

void HashMix(std::string& Out, const void* Data, size_t Size) {
  // FNV-1a, kept as text so a mismatch shows.
  uint64_t H = 1469598103934665603ull;
  for (const char& C : Out) H = (H ^ static_cast<uint8_t>(C)) * 1099511628211ull;
  const auto* P = static_cast<const uint8_t*>(Data);
  for (size_t I = 0; I < Size; ++I) H = (H ^ P[I]) * 1099511628211ull;
  char Buf[20];
  snprintf(Buf, sizeof Buf, "%016llx", static_cast<unsigned long long>(H));
  Out = Buf;
}

void HashTree(const std::string& Path, const std::string& Rel, std::string& Out,
              std::string& Listing) {
  struct stat St;
  if (lstat(Path.c_str(), &St) != 0) {
    Listing += "missing " + Rel + "\n";
    return;
  }
  char Line[256];
  snprintf(Line, sizeof Line, "%o %llu %lld %lld.%09ld ", static_cast<unsigned>(St.st_mode),
           static_cast<unsigned long long>(St.st_ino), static_cast<long long>(St.st_size),
           static_cast<long long>(St.st_mtim.tv_sec), St.st_mtim.tv_nsec);
  Listing += Line + Rel + "\n";
  if (S_ISREG(St.st_mode)) {
    int Fd = open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (Fd >= 0) {
      char Buf[8192];
      ssize_t N;
      while ((N = read(Fd, Buf, sizeof Buf)) > 0) HashMix(Out, Buf, static_cast<size_t>(N));
      close(Fd);
    }
  } else if (S_ISLNK(St.st_mode)) {
    char Buf[4096];
    ssize_t N = readlink(Path.c_str(), Buf, sizeof Buf);
    if (N > 0) HashMix(Out, Buf, static_cast<size_t>(N));
  } else if (S_ISDIR(St.st_mode)) {
    std::vector<std::string> Names;
    if (DIR* D = opendir(Path.c_str())) {
      while (dirent* E = readdir(D))
        if (strcmp(E->d_name, ".") != 0 && strcmp(E->d_name, "..") != 0)
          Names.emplace_back(E->d_name);
      closedir(D);
    }
    std::sort(Names.begin(), Names.end());
    for (const std::string& N : Names) HashTree(Path + "/" + N, Rel + "/" + N, Out, Listing);
  }
}

}  // namespace

bool RemoveHostTree(const std::string& HostPath) {
  struct stat St;
  if (lstat(HostPath.c_str(), &St) != 0) return errno == ENOENT;
  if (!S_ISDIR(St.st_mode)) return unlink(HostPath.c_str()) == 0;
  int Fd = open(HostPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (Fd < 0) return false;
  fchmod(Fd, 0700);
  bool Ok = RemoveContents(Fd);
  return rmdir(HostPath.c_str()) == 0 && Ok;
}

const char* TSamplePrefix::SystemRegText() {
  return kSystemReg;
}
const char* TSamplePrefix::UserRegText() {
  return kUserReg;
}

TSamplePrefix::TSamplePrefix()
    : FSaved{{"WINEPREFIX", false, {}},
             {"USER", false, {}},
             {"HOME", false, {}},
             {"XDG_DATA_HOME", false, {}}} {
  for (TSaved& S : FSaved) {
    const char* V = getenv(S.Name);
    S.Was = V != nullptr;
    if (V) S.Value = V;
  }
  const char* Tmp = getenv("TMPDIR");
  std::string Template = std::string(Tmp && *Tmp == '/' ? Tmp : "/tmp") + "/tw-prefix-XXXXXX";
  std::vector<char> Buf(Template.begin(), Template.end());
  Buf.push_back('\0');
  if (!mkdtemp(Buf.data())) {
    ADD_FAILURE() << "mkdtemp failed: " << strerror(errno);
    return;
  }
  FRoot = Buf.data();
  FPrefix = FRoot + "/pfx";
  FHome = FRoot + "/home";
  FOutside = FRoot + "/outside";

  static const char* const kDirs[] = {
      "dosdevices",
      "cdrom",
      "zroot",
      "drive_c/windows/system32",
      "drive_c/windows/temp",
      "drive_c/ProgramData",
      "drive_c/users/Public",
      "drive_c/users/tester/Temp",
      "drive_c/users/tester/Documents",
      "drive_c/users/tester/AppData/Roaming/Microsoft/Windows/Recent",
      "drive_c/users/tester/AppData/Local/Microsoft/Windows/INetCache",
      "drive_c/users/tester/AppData/Local/Microsoft/Windows/INetCookies",
      "drive_c/users/tester/AppData/Local/Microsoft/Windows/History",
  };
  bool Ok = true;
  for (const char* D : kDirs) Ok = MkdirP(FPrefix + "/" + D) && Ok;
  Ok = MkdirP(FHome + "/.local/share") && Ok;
  Ok = MkdirP(FOutside + "/dir") && Ok;
  Ok = WriteFileAt(FOutside + "/canary.txt", "canary: must survive\n") && Ok;
  Ok = WriteFileAt(FOutside + "/dir/inner.txt", "inner canary\n") && Ok;
  Ok = WriteFileAt(FPrefix + "/.update-timestamp", "disable\n") && Ok;
  Ok = WriteFileAt(FPrefix + "/system.reg", kSystemReg) && Ok;
  Ok = WriteFileAt(FPrefix + "/user.reg", kUserReg) && Ok;
  Ok = WriteFileAt(FPrefix + "/userdef.reg", kUserDefReg) && Ok;
  std::string Dev = FPrefix + "/dosdevices/";
  Ok = symlink("../drive_c", (Dev + "c:").c_str()) == 0 && Ok;
  Ok = symlink("../cdrom", (Dev + "d:").c_str()) == 0 && Ok;
  Ok = symlink("/dev/null", (Dev + "d::").c_str()) == 0 && Ok;
  Ok = symlink((FPrefix + "/zroot").c_str(), (Dev + "z:").c_str()) == 0 && Ok;
  if (!Ok) ADD_FAILURE() << "could not build the sample prefix in " << FRoot;

  std::string Probe = FRoot + "/xattr-probe";
  if (WriteFileAt(Probe, "")) {
    FXattr = setxattr(Probe.c_str(), "user.DOSATTRIB", "0x2", 3, 0) == 0;
    unlink(Probe.c_str());
  }

  setenv("WINEPREFIX", FPrefix.c_str(), 1);
  setenv("USER", "tester", 1);
  setenv("HOME", FHome.c_str(), 1);
  setenv("XDG_DATA_HOME", (FHome + "/.local/share").c_str(), 1);
  RecordOutside();
}

TSamplePrefix::~TSamplePrefix() {
  for (const TSaved& S : FSaved) {
    if (S.Was)
      setenv(S.Name, S.Value.c_str(), 1);
    else
      unsetenv(S.Name);
  }
  if (!FRoot.empty() && !RemoveHostTree(FRoot))
    fprintf(stderr, "sample prefix: could not remove all of %s\n", FRoot.c_str());
}

std::string TSamplePrefix::TrashDir() const {
  return FHome + "/.local/share/Trash";
}
std::string TSamplePrefix::OutsideFile() const {
  return FOutside + "/canary.txt";
}
std::string TSamplePrefix::OutsideDir() const {
  return FOutside + "/dir";
}

std::string TSamplePrefix::HostPath(const std::string& WinPath) const {
  std::string Base;
  char L = WinPath.empty() ? 0 : static_cast<char>(WinPath[0] | 0x20);
  if (L == 'c')
    Base = FPrefix + "/drive_c";
  else if (L == 'd')
    Base = FPrefix + "/cdrom";
  else if (L == 'z')
    Base = FPrefix + "/zroot";
  else
    ADD_FAILURE() << "sample prefix has no drive for " << WinPath;
  std::string Out = Base;
  size_t I = WinPath.size() >= 2 && WinPath[1] == ':' ? 2 : 0;
  for (; I < WinPath.size(); ++I) {
    char C = WinPath[I] == '\\' ? '/' : WinPath[I];
    if (C == '/' && !Out.empty() && Out.back() == '/') continue;
    Out += C;
  }
  while (Out.size() > Base.size() && Out.back() == '/') Out.pop_back();
  return Out;
}

std::string TSamplePrefix::MakeParents(const std::string& WinPath) const {
  std::string Host = HostPath(WinPath);
  size_t Slash = Host.find_last_of('/');
  if (Slash != std::string::npos && !MkdirP(Host.substr(0, Slash)))
    ADD_FAILURE() << "could not create the parents of " << Host;
  return Host;
}

std::string TSamplePrefix::AddFile(const std::string& WinPath, uint64_t Size, mode_t Mode,
                                   int DosAttrib, const std::string& Content) {
  std::string Host = MakeParents(WinPath);
  int Fd = open(Host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (Fd < 0) {
    ADD_FAILURE() << "could not create " << Host << ": " << strerror(errno);
    return Host;
  }
  bool Ok = twl::WriteAllToFd(Fd, Content);
  if (Size > Content.size()) Ok = ftruncate(Fd, static_cast<off_t>(Size)) == 0 && Ok;
  Ok = fchmod(Fd, Mode) == 0 && Ok;
  if (DosAttrib >= 0) {
    char V[16];
    int N = snprintf(V, sizeof V, "0x%x", static_cast<unsigned>(DosAttrib));
    Ok = fsetxattr(Fd, "user.DOSATTRIB", V, static_cast<size_t>(N), 0) == 0 && Ok;
  }
  Ok = close(Fd) == 0 && Ok;
  if (!Ok) ADD_FAILURE() << "could not fill " << Host << ": " << strerror(errno);
  return Host;
}

std::string TSamplePrefix::AddDir(const std::string& WinPath, mode_t Mode) {
  std::string Host = MakeParents(WinPath);
  if (mkdir(Host.c_str(), 0755) != 0 && errno != EEXIST)
    ADD_FAILURE() << "could not create " << Host << ": " << strerror(errno);
  else if (chmod(Host.c_str(), Mode) != 0)  // our own fresh tree: no link can be planted
    ADD_FAILURE() << "could not chmod " << Host;
  return Host;
}

std::string TSamplePrefix::AddSymlink(const std::string& WinPath, const std::string& Target) {
  std::string Host = MakeParents(WinPath);
  if (symlink(Target.c_str(), Host.c_str()) != 0)
    ADD_FAILURE() << "could not link " << Host << ": " << strerror(errno);
  return Host;
}

std::string TSamplePrefix::AddHardLink(const std::string& WinPath, const std::string& Existing) {
  std::string Host = MakeParents(WinPath);
  if (link(Existing.c_str(), Host.c_str()) != 0)
    ADD_FAILURE() << "could not hard-link " << Host << ": " << strerror(errno);
  return Host;
}

std::string TSamplePrefix::AddFifo(const std::string& WinPath) {
  std::string Host = MakeParents(WinPath);
  if (mkfifo(Host.c_str(), 0644) != 0)
    ADD_FAILURE() << "could not make fifo " << Host << ": " << strerror(errno);
  return Host;
}

void TSamplePrefix::AddDrive(char Letter, const std::string& Target) {
  std::string Link = FPrefix + "/dosdevices/" + static_cast<char>(Letter | 0x20) + ":";
  if (symlink(Target.c_str(), Link.c_str()) != 0) ADD_FAILURE() << "could not add " << Link;
}

void TSamplePrefix::AppendSystemReg(const std::string& Text) {
  if (!WriteFileAt(FPrefix + "/system.reg", "\n" + Text + "\n", O_APPEND))
    ADD_FAILURE() << "could not extend system.reg";
}

void TSamplePrefix::AppendUserReg(const std::string& Text) {
  if (!WriteFileAt(FPrefix + "/user.reg", "\n" + Text + "\n", O_APPEND))
    ADD_FAILURE() << "could not extend user.reg";
}

namespace {
std::string KeyBlock(const std::string& Key, const std::string& Name, const std::string& Data) {
  std::string Escaped;
  for (char C : Key) {
    if (C == '\\')
      Escaped += "\\\\";
    else
      Escaped += C;
  }
  std::string Value = Name.empty() ? "@" : "\"" + Name + "\"";
  return "[" + Escaped + "] 1700000000\n" + Value + "=" + Data + "\n";
}
}  // namespace

void TSamplePrefix::AddMachineValue(const std::string& Key, const std::string& Name,
                                    const std::string& Data) {
  AppendSystemReg(KeyBlock(Key, Name, Data));
}

void TSamplePrefix::AddUserValue(const std::string& Key, const std::string& Name,
                                 const std::string& Data) {
  AppendUserReg(KeyBlock(Key, Name, Data));
}

std::string TSamplePrefix::OutsideHash() const {
  std::string Out, Listing;
  HashTree(FOutside, ".", Out, Listing);
  HashMix(Out, Listing.data(), Listing.size());
  return Out + "\n" + Listing;
}

bool PrivateMountNamespace() {
  static const bool Private = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                              mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return Private;
}

TTestMount::TTestMount(const std::string& Source, const std::string& Target,
                       const std::string& Options)
    : FSource(Source), FTarget(Target) {
  if (!PrivateMountNamespace()) return;
  if (Source.empty())
    FMounted = mount("tw-test", Target.c_str(), "tmpfs", 0,
                     Options.empty() ? "mode=0755" : Options.c_str()) == 0;
  else
    FMounted = mount(Source.c_str(), Target.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

TTestMount::~TTestMount() {
  if (FMounted) umount2(FTarget.c_str(), MNT_DETACH);
}

bool TTestMount::RemountReadOnly() {
  const unsigned long Bind = FSource.empty() ? 0 : MS_BIND;
  return FMounted &&
         mount(nullptr, FTarget.c_str(), nullptr, MS_REMOUNT | MS_RDONLY | Bind, nullptr) == 0;
}

TOtherProcessHold::TOtherProcessHold(const std::string& Host, TWay Way) {
  int Ready[2], Done[2];
  if (pipe2(Ready, O_CLOEXEC) != 0 || pipe2(Done, O_CLOEXEC) != 0) return;
  FPid = fork();
  if (FPid == 0) {
    // Only async-signal-safe calls in the child.
    close(Ready[0]);
    close(Done[1]);
    char C = 'n';
    if (Way == WorkingFolder) {
      if (chdir(Host.c_str()) == 0) C = 'y';
    } else {
      int Fd = open(Host.c_str(), O_RDONLY);
      if (Fd >= 0) C = 'y';
      if (Fd >= 0 && Way == Mapping) {
        C = mmap(nullptr, 1, PROT_READ, MAP_SHARED, Fd, 0) == MAP_FAILED ? 'n' : 'y';
        close(Fd);
      }
    }
    if (write(Ready[1], &C, 1) != 1 || read(Done[0], &C, 1) < 0) _exit(1);
    _exit(0);
  }
  close(Ready[1]);
  close(Done[0]);
  FDone = Done[1];
  char C = 'n';
  FHolding = FPid > 0 && read(Ready[0], &C, 1) == 1 && C == 'y';
  close(Ready[0]);
}

void TOtherProcessHold::Release() {
  if (FDone >= 0) close(FDone);
  FDone = -1;
  if (FPid > 0) waitpid(FPid, nullptr, 0);
  FPid = -1;
}
