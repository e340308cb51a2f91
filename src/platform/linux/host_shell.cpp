#include "platform/linux/host_shell.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace twl {

std::string HostFileUri(const std::string& HostPath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string Uri = "file://";
  for (unsigned char C : HostPath) {
    const bool Plain = (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') ||
                       C == '-' || C == '.' || C == '_' || C == '~' || C == '/';
    if (Plain) {
      Uri += static_cast<char>(C);
    } else {
      Uri += '%';
      Uri += kHex[C >> 4];
      Uri += kHex[C & 15];
    }
  }
  return Uri;
}

namespace {

bool SessionBusKnown() {
  const char* Address = getenv("DBUS_SESSION_BUS_ADDRESS");
  if (Address && *Address) return true;
  const char* Runtime = getenv("XDG_RUNTIME_DIR");
  struct stat S;
  return Runtime && *Runtime == '/' && stat((std::string(Runtime) + "/bus").c_str(), &S) == 0 &&
         S_ISSOCK(S.st_mode);
}

int64_t NowMs() {
  timespec Ts;
  clock_gettime(CLOCK_MONOTONIC, &Ts);
  return static_cast<int64_t>(Ts.tv_sec) * 1000 + Ts.tv_nsec / 1000000;
}

}  // namespace

bool HostShowItemProperties(const std::string& HostPath, int TimeoutMs) {
  if (HostPath.empty() || HostPath[0] != '/' || !SessionBusKnown()) return false;
  // The URI holds no quote or backslash, so it is safe inside a GVariant text literal.
  std::string Uris = "['" + HostFileUri(HostPath) + "']";
  const int Seconds = TimeoutMs / 1000 + 1;
  std::vector<std::string> Args = {"gdbus",
                                   "call",
                                   "--session",
                                   "--timeout",
                                   std::to_string(Seconds),
                                   "--dest",
                                   "org.freedesktop.FileManager1",
                                   "--object-path",
                                   "/org/freedesktop/FileManager1",
                                   "--method",
                                   "org.freedesktop.FileManager1.ShowItemProperties",
                                   Uris,
                                   "''"};
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  Argv.push_back(nullptr);

  posix_spawn_file_actions_t Actions;
  if (posix_spawn_file_actions_init(&Actions) != 0) return false;
  for (int Fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&Actions, Fd, "/dev/null", Fd == 0 ? O_RDONLY : O_WRONLY, 0);
  posix_spawnattr_t Attr;
  posix_spawnattr_init(&Attr);
  // Its own process group, so that a hung call and anything it started can be ended.
  posix_spawnattr_setflags(&Attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&Attr, 0);
  pid_t Pid;
  const int Err = posix_spawnp(&Pid, "gdbus", &Actions, &Attr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  posix_spawnattr_destroy(&Attr);
  if (Err != 0) return false;

  const int64_t Deadline = NowMs() + (TimeoutMs > 0 ? TimeoutMs : 0);
  int Status = 0;
  for (;;) {
    const pid_t R = waitpid(Pid, &Status, WNOHANG);
    if (R == Pid) break;
    if (R < 0 && errno != EINTR) return false;
    if (NowMs() >= Deadline) {
      kill(-Pid, SIGKILL);
      while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
      }
      return false;
    }
    timespec Nap = {0, 5 * 1000 * 1000};
    nanosleep(&Nap, nullptr);
  }
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

}  // namespace twl
