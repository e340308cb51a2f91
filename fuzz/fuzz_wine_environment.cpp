// The environment of a Wine prefix is built from user.reg and system.reg, which any
// Windows program in the prefix can write. Whatever they hold, expansion must stay
// within a variable's and the block's limit, and never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/wine_folders.h"
#include "platform/linux/wine_registry.h"
#include "platform/tw_platform.h"

namespace {

constexpr size_t kMaxValue = 32767;
// The registry variables share one block; the process's own ones come on top.
constexpr size_t kMaxBlock = 32767 + 4096;

void Check(bool Ok) {
  if (!Ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string input(reinterpret_cast<const char*>(Data), Size);
  // The input up to the first NUL is the value lines of HKCU Environment; after it, the
  // value lines of HKLM's environment block and then a text to expand.
  const size_t nul = input.find('\0');
  const std::string user = input.substr(0, nul);
  std::string machine, text = "%TEMP%\\%USERPROFILE%%windir%";
  if (nul != std::string::npos) {
    const std::string rest = input.substr(nul + 1);
    const size_t nul2 = rest.find('\0');
    machine = rest.substr(0, nul2);
    if (nul2 != std::string::npos) text = rest.substr(nul2 + 1);
  }
  TWineRegistry userReg, machineReg;
  userReg.LoadText("WINE REGISTRY Version 2\n[Environment]\n" + user +
                   "\n[Volatile Environment]\n\"V\"=str(2):\"%TEMP%%PATH%\"\n");
  machineReg.LoadText(
      "WINE REGISTRY Version 2\n"
      "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment]\n"
      "\"PATH\"=str(2):\"%SystemRoot%\\\\system32\"\n" +
      machine + "\n");

  TWineSystemInfo info;
  info.Machine = &machineReg;
  info.User = &userReg;
  info.UserName = "fuzz";
  info.UnixEnv = [](const std::string&) { return std::string(); };

  Check(WineEnvironmentSize(info) <= kMaxBlock);
  // Each question builds the environment again: a few, so that a run stays quick.
  for (const char* name : {"V", "A"})
    Check(WineEnvironmentVariable(info, name).size() <= kMaxValue);
  Check(WineExpand(info, text).size() <= kMaxValue + 1);
  const std::string temp = WineTempPathRaw(info);
  Check(!temp.empty() && temp.size() <= kMaxValue + 1);
  std::string path;
  for (int csidl : {CSIDL_RECENT, CSIDL_PROFILE}) WineSpecialFolderRaw(info, csidl, path);
  return 0;
}
