#include "search/tw_browsers.h"

#include "platform/tw_platform.h"

bool TTWBrowsers::HasInstallKey(const std::string& KeyPath, bool NeedDefaultValue) {
  if (!Platform().RegKeyExists(TTWHive::LocalMachine, KeyPath)) return false;
  if (!NeedDefaultValue) return true;
  uint32_t type = REG_NONE;
  std::string data;
  if (!Platform().RegQueryValue(TTWHive::LocalMachine, KeyPath, "", type, data)) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  return !data.empty() && data[0] != '\0';
}

bool TTWBrowsers::IsIEInstalled() {
  return true;
}

bool TTWBrowsers::IsFirefoxInstalled() {
  return HasInstallKey("SOFTWARE\\Clients\\StartMenuInternet\\FIREFOX.EXE", true);
}

bool TTWBrowsers::IsOperaInstalled() {
  return HasInstallKey("SOFTWARE\\Clients\\StartMenuInternet\\Opera.exe", true) ||
         HasInstallKey("Software\\Microsoft\\MediaPlayer\\ShimInclusionList\\OPERA.EXE", false);
}

bool TTWBrowsers::IsSafariInstalled() {
  return HasInstallKey("SOFTWARE\\Clients\\StartMenuInternet\\Safari.exe", true);
}

bool TTWBrowsers::IsChromeInstalled() {
  return HasInstallKey("SOFTWARE\\Clients\\StartMenuInternet\\Google Chrome", true);
}
