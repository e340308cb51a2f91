// INI files (Firefox's profiles.ini) are untrusted: reading them must never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/linux/wine_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  // The first byte picks the buffer size, the first line of the rest names a
  // section and key ("section=key"); the whole rest is the file.
  const size_t bufferSize = Data[0];
  const std::string file(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const std::string first = file.substr(0, file.find('\n'));
  const size_t eq = first.find('=');
  const std::string section = first.substr(0, eq);
  const std::string key = eq == std::string::npos ? std::string() : first.substr(eq + 1);
  WineProfileString(file, section, key, " \"dflt\" ", bufferSize);
  WineProfileString(file, "Profile0", "Path", "", 2048);
  WineProfileString(file, "Profile0", "IsRelative", "", 2048);
  WineProfileString(file, "", "", first, bufferSize);
  return 0;
}
