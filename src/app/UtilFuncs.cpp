#include "app/UtilFuncs.h"

#include "platform/tw_platform.h"

std::string WithTrailingBackslash(const std::string& Path) {
  if (!Path.empty() && Path.back() == '\\') return Path;
  return Path + '\\';
}

std::string WithTrailingPathDelimiter(const std::string& HostPath) {
  char delim = Platform().HostPathDelimiter();
  if (!HostPath.empty() && HostPath.back() == delim) return HostPath;
  return HostPath + delim;
}

std::string InvertText(const std::string& Text) {
  std::string out(Text);
  for (char& c : out) c = static_cast<char>(~static_cast<unsigned char>(c));
  return out;
}

std::string GetProgramDir() {
  std::string exe = Platform().GetProgramFileName();
  size_t pos = exe.find_last_of(Platform().HostPathDelimiter());
  return WithTrailingPathDelimiter(pos == std::string::npos ? std::string(".")
                                                            : exe.substr(0, pos));
}

std::string GetBrandingFileName() {
  return GetProgramDir() + "lamecore.dll";
}

TTWConfigLocation GetDefaultConfigLocation() {
  const std::string programDir = GetProgramDir();
  if (Platform().CanWriteFolder(programDir)) return {programDir + "system.dat", false};
  const std::string base = Platform().GetUserConfigFolder();
  if (base.empty()) return {programDir + "system.dat", false};
  const char delim = Platform().HostPathDelimiter();
  // Each host's habit for the folder's name.
  const std::string folder = delim == '\\' ? "Tidewell" : "tidewell";
  return {WithTrailingPathDelimiter(base) + folder + delim + "system.dat", true};
}

void OpenLink(const std::string& Target) {
  Platform().OpenLink(Target);
}
