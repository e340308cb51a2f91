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
void OpenLink(const std::string& Target);
