#include "platform/linux/host_files.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>
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
  size_t Slash = Path.find_last_of('/');
  std::string Dir = Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
  std::string Name = Slash == std::string::npos ? Path : Path.substr(Slash + 1);
  if (Name.empty() || Name == "." || Name == "..") return false;
  TFd D(open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat DirSt;
  if (!D.Valid() || fstat(D.Get(), &DirSt) != 0) return false;
  // Someone else's folder, or one anybody may write to, could swap the file under us.
  if (DirSt.st_uid != geteuid() || (DirSt.st_mode & S_IWOTH)) return false;

  mode_t Mode = 0644;
  struct stat Old;
  if (fstatat(D.Get(), Name.c_str(), &Old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(Old.st_mode))
    Mode = Old.st_mode & 07777;

  std::string Tmp;
  TFd F;
  for (int Try = 0; Try < 100 && !F.Valid(); ++Try) {
    uint32_t R = 0;
    if (getrandom(&R, sizeof R, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof R))
      R = static_cast<uint32_t>(getpid()) * 2654435761u + static_cast<uint32_t>(Try);
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string Suffix;
    for (int I = 0; I < 6; ++I, R /= 62) Suffix += kChars[R % 62];
    Tmp = "." + Name + "." + Suffix;
    F.Reset(
        openat(D.Get(), Tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!F.Valid() && errno != EEXIST) return false;
  }
  if (!F.Valid()) return false;

  bool Ok = WriteAllToFd(F.Get(), Data);
  Ok = Ok && fchmod(F.Get(), Mode) == 0 && fsync(F.Get()) == 0;
  if (close(F.Release()) != 0) Ok = false;  // late errors (NFS) show here
  if (!Ok || renameat(D.Get(), Tmp.c_str(), D.Get(), Name.c_str()) != 0) {
    unlinkat(D.Get(), Tmp.c_str(), 0);
    return false;
  }
  fsync(D.Get());  // the rename is durable only once the folder is synced
  return true;
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

void HostOpenLink(const std::string& Target) {
  if (Target.empty()) return;
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
  const char* L = setlocale(LC_MESSAGES, nullptr);
  if (!L) return false;
  std::string S = L;
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
