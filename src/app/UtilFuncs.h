// Small text and path routines shared by the shell and the settings.
#pragma once

#include <string>

std::string WithTrailingBackslash(const std::string& Path);
// The same with the host's own separator, for the program's own files.
std::string WithTrailingPathDelimiter(const std::string& HostPath);
std::string InvertText(const std::string& Text);
// Host directory of the running program, with its trailing separator.
std::string GetProgramDir();
std::string GetBrandingFileName();

// Where the settings file lives when none is named.
struct TTWConfigLocation {
  std::string FileName;       // host path
  bool InUserFolder = false;  // in the user's settings folder, which saving first creates
};
// "system.dat" beside the program when the user may write there (a portable copy); an
// installed copy, whose folder the user cannot write, keeps it in the user's settings
// folder instead: "tidewell/system.dat" below $XDG_CONFIG_HOME (or ~/.config) on Linux,
// "Tidewell\system.dat" below the roaming application data folder on Windows. Beside
// the program also when the user has no such folder.
TTWConfigLocation GetDefaultConfigLocation();
void OpenLink(const std::string& Target);
