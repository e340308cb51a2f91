// The program's own files and the desktop around it, on Linux.
#pragma once

#include <cstddef>
#include <string>

namespace twl {

// Reads Fd to its end; false on a read error or once more than Limit bytes arrived.
bool ReadAllFromFd(int Fd, std::string& Data, size_t Limit);
// Writes all of Data, going on after short writes and EINTR; false on an error.
bool WriteAllToFd(int Fd, const std::string& Data);

bool HostReadWholeFile(const std::string& Path, std::string& Data);
// Whole-file read, refusing anything but a regular file of at most Limit bytes; Why is the
// system's reason for a failure.
bool HostReadSmallFile(const std::string& Path, size_t Limit, std::string& Data, std::string& Why);
// Atomic replace, as TTWPlatform::ReplaceFile describes: links followed to the file they
// name (in a sticky world-writable folder only links of ours or of the folder's owner),
// ".<name>.XXXXXX" created exclusively beside that file and locked while it is written,
// synced, renamed over it, and the folder synced. Temporaries of the same name left by
// killed saves (unlocked, ours) are removed first.
bool HostReplaceFile(const std::string& Path, const std::string& Data);
std::string HostProgramFileName();
// Write and search permission on the folder for the effective user (faccessat with
// AT_EACCESS), so a read-only mount counts as not writable even for root.
bool HostCanWriteFolder(const std::string& Path);
// $XDG_CONFIG_HOME when absolute, else $HOME/.config (the password database's home when
// HOME is unset or relative); trailing slashes dropped. Empty when neither is known.
std::string HostUserConfigFolder();
// mkdir -p with mode 0700 for each folder it makes; existing ones keep their mode.
bool HostCreateFolders(const std::string& Path);
// Starts xdg-open on Target without a shell and without waiting; the child is reaped.
void HostOpenLink(const std::string& Target);
// Language and country of the user's message locale, the first of LC_ALL, LC_MESSAGES
// and LANG that is set ("de_AT.UTF-8" -> "de", "AT"); false for "C" and "POSIX".
bool HostUserLocale(std::string& Language, std::string& Country);

}  // namespace twl
