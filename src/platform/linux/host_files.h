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
// The same, refusing anything but a regular file of at most Limit bytes; Why is the
// system's reason for a failure.
bool HostReadSmallFile(const std::string& Path, size_t Limit, std::string& Data, std::string& Why);
// Atomic replace: ".<name>.XXXXXX" beside the file, written, synced, renamed over it, and
// the folder synced. On failure the temporary file goes and the old file stays. Refused
// in a folder that is not the user's own or that others may write to.
bool HostReplaceFile(const std::string& Path, const std::string& Data);
std::string HostProgramFileName();
// Starts xdg-open on Target without a shell and without waiting; the child is reaped.
void HostOpenLink(const std::string& Target);
// Language and country of the program's message locale ("de_AT.UTF-8" -> "de", "AT").
bool HostUserLocale(std::string& Language, std::string& Country);

}  // namespace twl
