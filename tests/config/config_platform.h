// A machine for the settings tests: chosen drive types, a Windows directory, browsers
// registered in the registry, and host files held in memory.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/tw_i18n.h"
#include "support/null_platform.h"

class TConfigPlatform : public TTWNullPlatform {
 public:
  TConfigPlatform() {
    Drives['C'] = DRIVE_FIXED;
    Drives['D'] = DRIVE_CDROM;
  }

  uint32_t GetDriveType(const std::string& Root) override {
    if (Root.size() != 3 || Root[1] != ':' || Root[2] != '\\') return DRIVE_NO_ROOT_DIR;
    auto it = Drives.find(Root[0]);
    return it == Drives.end() ? DRIVE_NO_ROOT_DIR : it->second;
  }
  std::string GetWindowsDirectory() override { return WindowsDir; }

  // A browser counts as registered when its key has a non-empty default string value.
  bool RegKeyExists(TTWHive Hive, const std::string& KeyPath) override {
    return Hive == TTWHive::LocalMachine && Keys.count(KeyPath) > 0;
  }
  bool RegQueryValue(TTWHive Hive, const std::string& KeyPath, const std::string& ValueName,
                     uint32_t& Type, std::string& Data) override {
    if (!RegKeyExists(Hive, KeyPath) || !ValueName.empty()) return false;
    Type = REG_SZ;
    Data = "browser.exe";
    Data += '\0';
    return true;
  }
  void RegisterChrome() { Keys.insert("SOFTWARE\\Clients\\StartMenuInternet\\Google Chrome"); }
  void RegisterFirefox() { Keys.insert("SOFTWARE\\Clients\\StartMenuInternet\\FIREFOX.EXE"); }

  bool ReadWholeFile(const std::string& HostPath, std::string& Data) override {
    ++Reads;
    auto it = Files.find(HostPath);
    if (it == Files.end()) return false;
    Data = it->second;
    return true;
  }
  bool ReplaceFile(const std::string& HostPath, const std::string& Data) override {
    ++Replaces;
    if (FailReplace) return false;
    Files[HostPath] = Data;
    return true;
  }

  bool CreateFolders(const std::string& HostFolder) override {
    FoldersMade.push_back({HostFolder, Replaces});
    return true;
  }

  std::string GetEnvironmentVariable(const std::string& Name) override {
    auto it = Env.find(Name);
    return it == Env.end() ? std::string() : it->second;
  }
  bool GetUserLocale(std::string& Language, std::string& Country) override {
    if (!HasLocale) return false;
    Language = LocaleLanguage;
    Country = LocaleCountry;
    return true;
  }

  std::map<char, uint32_t> Drives;
  std::string WindowsDir = "C:\\windows";
  std::set<std::string> Keys;
  std::map<std::string, std::string> Files;
  bool FailReplace = false;
  int Reads = 0;
  int Replaces = 0;
  // Each folder asked for, with the number of files replaced before it.
  std::vector<std::pair<std::string, int>> FoldersMade;
  std::map<std::string, std::string> Env;
  bool HasLocale = false;
  std::string LocaleLanguage, LocaleCountry;
};

// Installs the machine and a fixed interface language for one test.
class TConfigMachine {
 public:
  explicit TConfigMachine(TConfigPlatform& P, const std::string& Language = "de_DE") : Scope(P) {
    ResetTranslationLayer();
    UseLanguage(Language);
  }
  ~TConfigMachine() { ResetTranslationLayer(); }

 private:
  ScopedPlatform Scope;
};

inline const char* const kConfigFile = "/opt/tidewell/system.dat";
