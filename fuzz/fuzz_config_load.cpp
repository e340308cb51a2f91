// Reads arbitrary bytes as the settings file, saves what was read and reads that again:
// nothing may crash or hang, and the saved text must read back to the same settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../tests/config/config_compare.h"
#include "../tests/support/null_platform.h"
#include "app/tw_i18n.h"
#include "config/tw_config.h"

namespace {

const char* const kFile = "/fuzz/system.dat";

class TFuzzPlatform : public TTWNullPlatform {
 public:
  uint32_t GetDriveType(const std::string& Root) override {
    if (Root == "C:\\") return DRIVE_FIXED;
    if (Root == "E:\\") return DRIVE_REMOVABLE;
    if (Root == "N:\\") return DRIVE_REMOTE;
    return DRIVE_NO_ROOT_DIR;
  }
  bool RegKeyExists(TTWHive, const std::string&) override { return true; }
  bool RegQueryValue(TTWHive, const std::string&, const std::string&, uint32_t& Type,
                     std::string& Data) override {
    Type = REG_SZ;
    Data = std::string("x.exe", 6);
    return true;
  }
  bool ReadWholeFile(const std::string& HostPath, std::string& Data) override {
    if (HostPath != kFile) return false;
    Data = Input;
    return true;
  }
  bool ReplaceFile(const std::string& HostPath, const std::string& Data) override {
    if (HostPath != kFile) return false;
    Saved = Data;
    HasSaved = true;
    return true;
  }
  std::string Input, Saved;
  bool HasSaved = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TFuzzPlatform platform;
  SetPlatform(&platform);
  UseLanguage("de_DE");

  platform.Input.assign(reinterpret_cast<const char*>(Data), Size);
  TTWConfig first(kFile);
  first.Load();
  platform.HasSaved = false;
  first.Save();
  // Whatever was read can be written again.
  if (!platform.HasSaved) abort();
  const std::string text = platform.Saved;

  platform.Input = text;
  TTWConfig second(kFile);
  second.Load();
  if (!RecordDifference(first.Current, second.Current).empty()) abort();
  platform.HasSaved = false;
  second.Save();
  if (!platform.HasSaved || platform.Saved != text) abort();

  SetPlatform(nullptr);
  return 0;
}
