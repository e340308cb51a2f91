// Wine registry files are written by another program and may be torn, hand-edited or
// hostile: loading and asking must never crash, hang or grow without bound.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/wine_folders.h"
#include "platform/linux/wine_registry.h"
#include "platform/tw_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  static const char* const kKeys[] = {
      "",
      "A",
      "Environment",
      "System\\CurrentControlSet\\Control\\Session Manager\\Environment",
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
  };
  // Most mutations break the first line; also feed the body behind a good one.
  for (const std::string& file : {text, "WINE REGISTRY Version 2\n" + text}) {
    TWineRegistry reg;
    if (!reg.LoadText(file)) continue;
    for (const char* key : kKeys) {
      reg.KeyExists(key);
      std::vector<std::string> names;
      reg.ValueNames(key, names);
      for (const std::string& name : names) {
        uint32_t type;
        std::string data, value;
        reg.QueryValue(key, name, type, data);
        reg.QueryString(key, name, value);
      }
    }
    // The same file as both hives drives the environment and folder rules.
    TWineSystemInfo info;
    info.Machine = &reg;
    info.User = &reg;
    info.UserName = "fuzz";
    info.UnixEnv = [](const std::string&) { return std::string(); };
    WineTempPathRaw(info);
    WineEnvironmentVariable(info, "PATH");
    WineExpand(info, "%TEMP%\\%USERPROFILE%%windir%");
    std::string path;
    for (int csidl : {CSIDL_RECENT, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_INTERNET_CACHE,
                      CSIDL_COOKIES, CSIDL_HISTORY})
      WineSpecialFolderRaw(info, csidl, path);
  }
  return 0;
}
