// Catalogs are deployment files that anyone with write access to the program's folder
// can replace: reading one must never crash, hang or claim more memory than its size,
// and the texts it yields go through the line-break rule and the text conversion.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/tw_i18n.h"
#include "platform/tw_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Mo(reinterpret_cast<const char*>(Data), Size);
  TTWCatalog Entries;
  std::string Header;
  if (!ReadMoCatalog(Mo, Entries, Header)) return 0;
  size_t Total = Header.size();
  for (const auto& [Id, Text] : Entries) {
    Total += Id.size() + Text.size();
    if (Id.empty() || Text.empty()) abort();
    // Converting keeps a valid text valid and never grows it beyond the replacements.
    const std::string Shown = Platform().Utf8ToSystemText(Text);
    if (Shown.size() > 3 * Text.size()) abort();
    if (Platform().Utf8ToSystemText(Shown) != Shown) abort();
  }
  if (Total > Size) abort();
  return 0;
}
