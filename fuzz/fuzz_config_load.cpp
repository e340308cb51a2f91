// Reads arbitrary bytes as the settings file, saves what was read and reads that again:
// nothing may crash or hang, and the saved text must read back to the same settings.
// Where reading stopped goes through the console front end's warning line, which must
// stay one line of terminal-safe text; a saved file always reads to its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../tests/config/config_compare.h"
#include "../tests/support/null_platform.h"
#include "app/cli/tw_cli_text.h"
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

// The warning says where reading stopped, in one line that nothing in the file can turn
// into control characters or invalid UTF-8.
void CheckWarning(const TTWReadStop& Stop, const std::string& Input) {
  const std::string line = twcli::ReadStopWarning(kFile, Stop);
  if (line.empty() != (Stop.Kind == TTWReadStop::None)) abort();
  for (size_t i = 0; i < line.size();) {
    uint32_t code = 0;
    size_t n = twcli::Utf8Sequence(line, i, code);
    if (n == 0 || code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F)) abort();
    i += n;
  }
  size_t lines = 1;
  for (char c : Input) lines += c == '\n';
  if (Stop.Kind == TTWReadStop::CutOff) {
    if (Stop.Line != 0 || Stop.Name.empty()) abort();
  } else if (Stop.Kind != TTWReadStop::None) {
    if (Stop.Line < 1 || static_cast<size_t>(Stop.Line) > lines) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TFuzzPlatform platform;
  SetPlatform(&platform);
  UseLanguage("de_DE");

  platform.Input.assign(reinterpret_cast<const char*>(Data), Size);
  TTWConfig first(kFile);
  first.Load();
  CheckWarning(first.LastReadStop, platform.Input);
  platform.HasSaved = false;
  first.Save();
  // Whatever was read can be written again.
  if (!platform.HasSaved) abort();
  const std::string text = platform.Saved;

  platform.Input = text;
  TTWConfig second(kFile);
  second.Load();
  if (second.LastReadStop.Kind != TTWReadStop::None) abort();
  if (!RecordDifference(first.Current, second.Current).empty()) abort();
  platform.HasSaved = false;
  second.Save();
  if (!platform.HasSaved || platform.Saved != text) abort();

  SetPlatform(nullptr);
  return 0;
}
