// The branding values of the process: filled once while the main window is created,
// read-only afterwards.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

inline constexpr const char* TW_DEFAULT_SKIN_NAME = "AutumnSky (internal)";
// A branding file holds a few short lines; anything larger is not one of ours.
inline constexpr size_t TW_MAX_BRANDING_FILE = 64 * 1024;

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

// The values of a branding file's stored text (every line inverted, the breaks plain);
// keys that are absent take their defaults.
TGlobalVars ParseBrandingText(const std::string& Stored);

// Reads the branding file FileName into Vars. False when it cannot be read (missing, not
// a regular file, too large): Vars then holds the defaults and Why the system's reason.
bool ReadBrandingFile(const std::string& FileName, TGlobalVars& Vars, std::string& Why);

// Format with each "%s" or "%d" replaced by the next of Args, in order, and "%%" by "%";
// placeholders beyond Args stay as they are. Safe for any template, translated or not.
std::string FormatText(const std::string& Format, std::initializer_list<std::string> Args);

// The open error shown for a branding file or picture: "Cannot open file "%s". %s".
std::string OpenErrorText(const std::string& FileName, const std::string& Why);
