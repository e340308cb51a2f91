// Where the system keeps things: special folders, the Windows and temporary
// directories, long on-disk path forms, Recycle Bin folders and drive tests.
#pragma once

#include <string>

class TTWPaths {
 public:
  TTWPaths() = delete;

  static std::string GetSpecialFolder(int Csidl);
  static std::string GetLongPath(const std::string& Path);
  static std::string GetAppDataDir();
  static std::string GetLocalAppDataDir();
  static std::string GetIECookiesDir();
  static std::string GetIECacheDir();
  static std::string GetIEHistoryDir();
  static std::string GetFirefoxDir();
  static std::string GetFirefoxLocalDir();
  static std::string GetOperaDir();
  static std::string GetOperaLocalDir();
  static std::string GetOperaProfileDir();
  static std::string GetOperaLocalProfileDir();
  static std::string GetSafariDir();
  static std::string GetSafariLocalDir();
  static std::string GetChromeDir();
  static std::string GetWindowsDir();
  static std::string GetTempDir();
  static std::string GetWindowsTempDir();
  static std::string GetRecentDir();
  static std::string GetUpdateDownloadDir();
  static std::string GetSystemLogDir();
  static std::string GetRecycledDir(char Letter);
  static std::string GetRecyclerDir(char Letter);
  static std::string GetRecycleBinDir(char Letter);

  static bool IsFixedDrive(char Letter);
  static bool IsDriveReady(char Letter);
  static bool IsListedDrive(char Letter);
};
