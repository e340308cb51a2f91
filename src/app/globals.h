// The branding values of the process: filled once while the main window is created,
// read-only afterwards.
#pragma once

#include <string>

inline constexpr const char* TW_DEFAULT_SKIN_NAME = "AutumnSky (internal)";

struct TGlobalVars {
  std::string Version;
  std::string Copyright;
  std::string SkinName = TW_DEFAULT_SKIN_NAME;
  std::string HelpContectLink;
  std::string HelpHowTosTutorialVideosLink;
  std::string HelpHomePageLink;
  std::string HelpMoreFreeToolsLink;
  std::string HelpCheckForUpdatesLink;
  std::string HelpSupportLink;
};

extern TGlobalVars GlobalVars;
