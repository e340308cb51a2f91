// Minimal host platform over a Wine-style prefix: drives from dosdevices/, every letter
// fixed except a: and b:, the Windows directory C:\windows, and the program's own files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/tw_platform.h"

namespace {

std::string PrefixDir() {
  const char* p = std::getenv("WINEPREFIX");
  if (p && *p) return p;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.wine";
}

class TLinuxPlatform : public TTWPlatform {
 public:
  uint32_t GetDriveType(const std::string& Root) override {
    if (Root.empty()) return DRIVE_NO_ROOT_DIR;
    char letter = static_cast<char>(Root[0] | 0x20);
    if (letter < 'a' || letter > 'z') return DRIVE_NO_ROOT_DIR;
    std::string link = PrefixDir() + "/dosdevices/" + letter + ":";
    struct stat st;
    if (lstat(link.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return DRIVE_NO_ROOT_DIR;
    return (letter == 'a' || letter == 'b') ? DRIVE_REMOVABLE : DRIVE_FIXED;
  }
  bool GetDiskFreeSpace(const std::string&, uint64_t&, uint64_t&) override { return false; }
  std::string GetDriveDisplayName(char Letter) override {
    return std::string("Local Disk (") + Letter + ":)";
  }
  std::string GetWindowsDirectory() override { return "C:\\windows"; }
  std::string GetTempPath() override { return "C:\\windows\\temp\\"; }
  bool GetSpecialFolderPath(int, std::string&) override { return false; }
  bool GetFullPathName(const std::string& Path, std::string& Full) override {
    Full = Path;
    return !Path.empty();
  }
  std::unique_ptr<TTWFindHandle> FindFirst(const std::string&, bool) override { return nullptr; }
  bool FindOne(const std::string&, TTWFindData&) override { return false; }
  bool DeleteFile(const std::string&, const TTWFileId&) override { return false; }
  bool RemoveDirectory(const std::string&, const TTWFileId&) override { return false; }
  int32_t MoveToRecycleBin(const std::string&, bool, const TTWFileId&) override { return 2; }
  TTWOpenResult OpenForOverwrite(const std::string&, const TTWFileId&,
                                 std::unique_ptr<TTWFile>&) override {
    return TTWOpenResult::Failed;
  }
  bool RegKeyExists(TTWHive, const std::string&) override { return false; }
  bool RegQueryValue(TTWHive, const std::string&, const std::string&, uint32_t&,
                     std::string&) override {
    return false;
  }
  std::string GetPrivateProfileString(const std::string&, const std::string&,
                                      const std::string& Default, const std::string&) override {
    return Default;
  }
  std::string GetProgramFileName() override {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string("./tidewell");
  }
  char HostPathDelimiter() override { return '/'; }
  bool ReadWholeFile(const std::string& HostPath, std::string& Data) override {
    std::ifstream in(HostPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    Data = s.str();
    return true;
  }
  bool ReplaceFile(const std::string& HostPath, const std::string& Data) override {
    std::string tmp = HostPath + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    size_t off = 0;
    while (off < Data.size()) {
      ssize_t w = write(fd, Data.data() + off, Data.size() - off);
      if (w <= 0) break;
      off += static_cast<size_t>(w);
    }
    bool ok = off == Data.size() && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), HostPath.c_str()) != 0) {
      unlink(tmp.c_str());
      return false;
    }
    return true;
  }
  void OpenLink(const std::string&) override {}
  void ShowProperties(const std::string&) override {}
  std::string GetEnvironmentVariable(const std::string& Name) override {
    const char* v = std::getenv(Name.c_str());
    return v ? v : "";
  }
  bool GetUserLocale(std::string&, std::string&) override { return false; }
  bool QueryPerformanceCounter(uint64_t& Counter) override {
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
    Counter = static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
    return true;
  }
  uint32_t GetTickCount() override {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
  }
  bool SystemFound(std::string& Why) override {
    struct stat st;
    if (stat((PrefixDir() + "/dosdevices").c_str(), &st) != 0) {
      Why = "no Windows system at " + PrefixDir();
      return false;
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<TTWPlatform> CreateHostPlatform() { return std::make_unique<TLinuxPlatform>(); }
