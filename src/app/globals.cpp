#include "app/globals.h"

#include "app/UtilFuncs.h"
#include "app/tw_i18n.h"
#include "app/tw_ini_text.h"
#include "platform/tw_platform.h"

TGlobalVars GlobalVars;

TGlobalVars ParseBrandingText(const std::string& Stored) {
  std::vector<std::string> Lines = SplitIniLines(Stored);
  for (std::string& Line : Lines) Line = InvertText(Line);
  TTWIniText Ini;
  Ini.Parse(Lines);
  TGlobalVars V;
  const char* S = "SYSTEM";
  V.Version = Ini.ReadString(S, "Version", "");
  V.Copyright = Ini.ReadString(S, "Copyright", "");
  V.SkinName = Ini.ReadString(S, "SkinName", TW_DEFAULT_SKIN_NAME);
  V.HelpContectLink = Ini.ReadString(S, "HelpContectLink", "");
  V.HelpHowTosTutorialVideosLink = Ini.ReadString(S, "HelpHowTosTutorialVideosLink", "");
  V.HelpHomePageLink = Ini.ReadString(S, "HelpHomePageLink", "");
  V.HelpMoreFreeToolsLink = Ini.ReadString(S, "HelpMoreFreeToolsLink", "");
  V.HelpCheckForUpdatesLink = Ini.ReadString(S, "HelpCheckForUpdatesLink", "");
  V.HelpSupportLink = Ini.ReadString(S, "HelpSupportLink", "");
  return V;
}

bool ReadBrandingFile(const std::string& FileName, TGlobalVars& Vars, std::string& Why) {
  std::string Stored;
  if (!Platform().ReadSmallFile(FileName, TW_MAX_BRANDING_FILE, Stored, Why)) {
    Vars = TGlobalVars();
    return false;
  }
  Vars = ParseBrandingText(Stored);
  return true;
}

std::string FormatText(const std::string& Format, std::initializer_list<std::string> Args) {
  std::string Out;
  auto Next = Args.begin();
  for (size_t I = 0; I < Format.size(); ++I) {
    const char C = Format[I];
    const char D = I + 1 < Format.size() ? Format[I + 1] : '\0';
    if (C == '%' && D == '%') {
      Out += '%';
      ++I;
    } else if (C == '%' && (D == 's' || D == 'd') && Next != Args.end()) {
      Out += *Next++;
      ++I;
    } else {
      Out += C;
    }
  }
  return Out;
}

std::string OpenErrorText(const std::string& FileName, const std::string& Why) {
  // The reason comes from the system's table in English; it is looked up as well.
  return FormatText(Translate("Cannot open file \"%s\". %s"), {FileName, Translate(Why)});
}
