// Which browsers the registry says are installed.
#pragma once

#include <string>

class TTWBrowsers {
 public:
  bool HasInstallKey(const std::string& KeyPath, bool NeedDefaultValue);
  bool IsIEInstalled();
  bool IsFirefoxInstalled();
  bool IsOperaInstalled();
  bool IsSafariInstalled();
  bool IsChromeInstalled();
};
