// User name, profile, environment block, temp path and special folders of a Wine prefix,
// computed from its registry files and the Unix environment the way Wine sets them up.
#pragma once

#include <functional>
#include <string>

#include "platform/linux/wine_registry.h"

struct TWineSystemInfo {
  const TWineRegistry* Machine = nullptr;                  // system.reg (HKLM)
  const TWineRegistry* User = nullptr;                     // user.reg (HKCU)
  std::string UserName;                                    // from WineUserName()
  std::function<std::string(const std::string&)> UnixEnv;  // getenv; "" when unset
};

std::string WineUserName(const std::function<std::string(const std::string&)>& UnixEnv);
std::string WineProfileDir(const TWineSystemInfo& Info);  // ProfilesDirectory + "\\" + user
// Value of a Windows environment variable of a new process, "" if unset.
std::string WineEnvironmentVariable(const TWineSystemInfo& Info, const std::string& Name);
// Characters the environment's variables take ("name=value" and a NUL each), without
// the Unix variables it passes through.
size_t WineEnvironmentSize(const TWineSystemInfo& Info);
// %VAR% expansion as ExpandEnvironmentStrings does with that environment.
std::string WineExpand(const TWineSystemInfo& Info, const std::string& Text);
// GetTempPathA's choice (TMP, TEMP, USERPROFILE, Windows dir) with a trailing backslash,
// before GetFullPathName (the caller applies it).
std::string WineTempPathRaw(const TWineSystemInfo& Info);
// SHGetSpecialFolderPathA without the final existence check (the caller's): User Shell
// Folders of HKCU, then of HKLM, then the built-in default, with a leading %VAR% expanded.
// False for a CSIDL not in the table.
bool WineSpecialFolderRaw(const TWineSystemInfo& Info, int Csidl, std::string& Path);
