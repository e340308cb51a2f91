// A platform double that answers "nothing there" to everything. Tests derive from it
// and override what they need; ScopedPlatform installs one for the life of a test.
#pragma once

#include <fstream>
#include <sstream>

#include "platform/tw_platform.h"

class TTWNullPlatform : public TTWPlatform {
 public:
  uint32_t GetDriveType(const std::string&) override { return DRIVE_NO_ROOT_DIR; }
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
  std::string GetProgramFileName() override { return "/opt/tidewell/tidewell"; }
  char HostPathDelimiter() override { return '/'; }
  // Host files are real files, so settings tests can use a temporary folder.
  bool ReadWholeFile(const std::string& HostPath, std::string& Data) override {
    std::ifstream in(HostPath, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    Data = s.str();
    return true;
  }
  bool ReplaceFile(const std::string& HostPath, const std::string& Data) override {
    std::ofstream out(HostPath, std::ios::binary | std::ios::trunc);
    out << Data;
    return static_cast<bool>(out);
  }
  void OpenLink(const std::string&) override {}
  bool ShowProperties(const std::string&) override { return false; }
  std::string GetEnvironmentVariable(const std::string&) override { return {}; }
  bool GetUserLocale(std::string&, std::string&) override { return false; }
  bool QueryPerformanceCounter(uint64_t& Counter) override {
    Counter = 12345;
    return true;
  }
  uint32_t GetTickCount() override { return 1000; }
  bool SystemFound(std::string&) override { return true; }
};

class ScopedPlatform {
 public:
  explicit ScopedPlatform(TTWPlatform& P) { SetPlatform(&P); }
  ~ScopedPlatform() { SetPlatform(nullptr); }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;
};
