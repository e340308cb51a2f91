// Firefox's profiles.ini is written by whoever can write the roaming folder. Read once
// and indexed, it must answer exactly as the single lookups do, never crash, and cost no
// more than its size, however many sections it holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/linux/wine_ini.h"

namespace {

void Same(const TWineIniIndex& Index, const std::string& File, const std::string& Section,
          const std::string& Key, const std::string& Default, size_t BufferSize) {
  if (Index.Get(Section, Key, Default, BufferSize) !=
      WineProfileString(File, Section, Key, Default, BufferSize))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  // The first byte picks the buffer size; the first line of the rest names a section and
  // key to ask as well ("section=key"); the whole rest is the file.
  const size_t bufferSize = Data[0];
  const std::string file(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const std::string first = file.substr(0, file.find('\n'));
  const size_t eq = first.find('=');
  const std::string section = first.substr(0, eq);
  const std::string key = eq == std::string::npos ? std::string() : first.substr(eq + 1);

  const TWineIniIndex index(file);
  Same(index, file, section, key, " \"dflt\" ", bufferSize);
  Same(index, file, "", "", first, bufferSize);
  Same(index, file, section, key, "", 2048);
  // The finder's walk over the profiles, up to the first gap (a handful of sections:
  // the index makes each a lookup, the comparison a rescan).
  for (unsigned i = 0; i < 8; ++i) {
    const std::string s = "Profile" + std::to_string(i);
    Same(index, file, s, "Path", "", 2048);
    Same(index, file, s, "IsRelative", "", 2048);
    if (index.Get(s, "Path", "", 2048).empty()) break;
  }
  return 0;
}
