// The branding file is deployed beside the program and may be anything: parsing its
// stored text must never crash or hang, and the values stay bounded by its lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/globals.h"
#include "app/tw_ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > TW_MAX_BRANDING_FILE) return 0;
  const std::string Stored(reinterpret_cast<const char*>(Data), Size);
  const TGlobalVars V = ParseBrandingText(Stored);
  for (const std::string* S :
       {&V.Version, &V.Copyright, &V.SkinName, &V.HelpContectLink, &V.HelpHowTosTutorialVideosLink,
        &V.HelpHomePageLink, &V.HelpMoreFreeToolsLink, &V.HelpCheckForUpdatesLink,
        &V.HelpSupportLink})
    if (S->size() > TW_MAX_INI_LINE) abort();
  FormatText(Stored, {V.Version, V.Copyright});
  return 0;
}
