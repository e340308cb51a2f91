#include "search/tw_paths.h"

#include "platform/tw_platform.h"

namespace {
std::string Root(char Letter) {
  return std::string(1, Letter) + ":\\";
}
}  // namespace

std::string TTWPaths::GetSpecialFolder(int Csidl) {
  std::string path;
  if (!Platform().GetSpecialFolderPath(Csidl, path)) return {};
  return path;
}

std::string TTWPaths::GetLongPath(const std::string& Path) {
  std::string path;
  if (!Platform().GetFullPathName(Path, path)) path.clear();

  std::string result;
  if (path.size() >= 2 && path[1] == ':') {
    result = path.substr(0, 2);
  } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // \\server\share
    size_t server_end = path.find('\\', 2);
    size_t share_end =
        server_end == std::string::npos ? std::string::npos : path.find('\\', server_end + 1);
    result = path.substr(0, share_end == std::string::npos ? path.size() : share_end);
  }
  if (path.size() <= result.size()) return result;

  path.erase(0, result.size());
  if (!path.empty() && path[0] == '\\') {
    result += '\\';
    path.erase(0, 1);
  }
  while (!path.empty()) {
    size_t slash = path.find('\\');
    std::string component = path.substr(0, slash);
    TTWFindData data;
    if (component.empty() || !Platform().FindOne(result + component, data)) {
      result += path;
      break;
    }
    result += data.Name;
    if (slash == std::string::npos) break;
    result += '\\';
    path.erase(0, slash + 1);
  }
  return result;
}

std::string TTWPaths::GetAppDataDir() {
  return GetLongPath(GetSpecialFolder(CSIDL_APPDATA));
}
std::string TTWPaths::GetLocalAppDataDir() {
  return GetLongPath(GetSpecialFolder(CSIDL_LOCAL_APPDATA));
}
std::string TTWPaths::GetIECookiesDir() {
  return GetLongPath(GetSpecialFolder(CSIDL_COOKIES));
}
std::string TTWPaths::GetIECacheDir() {
  return GetLongPath(GetSpecialFolder(CSIDL_INTERNET_CACHE));
}
std::string TTWPaths::GetIEHistoryDir() {
  return GetLongPath(GetSpecialFolder(CSIDL_HISTORY));
}
std::string TTWPaths::GetFirefoxDir() {
  return GetAppDataDir() + "\\" + "Mozilla\\Firefox";
}
std::string TTWPaths::GetFirefoxLocalDir() {
  return GetLocalAppDataDir() + "\\" + "Mozilla\\Firefox";
}
std::string TTWPaths::GetOperaDir() {
  return GetAppDataDir() + "\\" + "Opera\\Opera";
}
std::string TTWPaths::GetOperaLocalDir() {
  return GetLocalAppDataDir() + "\\" + "Opera\\Opera";
}
std::string TTWPaths::GetOperaProfileDir() {
  return GetAppDataDir() + "\\" + "Opera\\Opera\\profile";
}
std::string TTWPaths::GetOperaLocalProfileDir() {
  return GetLocalAppDataDir() + "\\" + "Opera\\Opera\\profile";
}
std::string TTWPaths::GetSafariDir() {
  return GetAppDataDir() + "\\" + "Apple Computer\\Safari";
}
std::string TTWPaths::GetSafariLocalDir() {
  return GetLocalAppDataDir() + "\\" + "Apple Computer\\Safari";
}
std::string TTWPaths::GetChromeDir() {
  return GetLocalAppDataDir() + "\\" + "Google\\Chrome";
}
std::string TTWPaths::GetWindowsDir() {
  return GetLongPath(Platform().GetWindowsDirectory());
}
std::string TTWPaths::GetTempDir() {
  // A relative value would be made absolute against whatever folder the program runs in;
  // it is kept as it is, so that the finder refuses it instead of walking there.
  const std::string temp = Platform().GetTempPath();
  const bool full = temp.size() >= 3 && temp[1] == ':' && (temp[2] == '\\' || temp[2] == '/');
  const bool unc = temp.size() >= 2 && temp[0] == '\\' && temp[1] == '\\';
  if (!full && !unc) return temp;
  return GetLongPath(temp);
}
std::string TTWPaths::GetWindowsTempDir() {
  return GetWindowsDir() + "\\" + "Temp";
}
std::string TTWPaths::GetRecentDir() {
  return GetLongPath(GetSpecialFolder(CSIDL_RECENT));
}
std::string TTWPaths::GetUpdateDownloadDir() {
  return GetWindowsDir() + "\\" + "SoftwareDistribution\\Download";
}
std::string TTWPaths::GetSystemLogDir() {
  return GetWindowsDir() + "\\" + "system32\\WBEM\\Logs";
}
std::string TTWPaths::GetRecycledDir(char Letter) {
  return Root(Letter) + "Recycled";
}
std::string TTWPaths::GetRecyclerDir(char Letter) {
  return Root(Letter) + "Recycler";
}
std::string TTWPaths::GetRecycleBinDir(char Letter) {
  return Root(Letter) + "$Recycle.Bin";
}

bool TTWPaths::IsFixedDrive(char Letter) {
  return Platform().GetDriveType(Root(Letter)) == DRIVE_FIXED;
}

bool TTWPaths::IsDriveReady(char Letter) {
  uint64_t free_bytes = 0, total = 0;
  return Platform().GetDiskFreeSpace(Root(Letter), free_bytes, total);
}

bool TTWPaths::IsListedDrive(char Letter) {
  uint32_t type = Platform().GetDriveType(Root(Letter));
  return type == DRIVE_REMOVABLE || type == DRIVE_FIXED || type == DRIVE_REMOTE;
}
