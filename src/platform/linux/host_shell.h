// The desktop's properties sheet for a host file, asked of the session's file manager.
#pragma once

#include <string>

namespace twl {

// "file://" and the absolute host path, every byte but A-Z a-z 0-9 - . _ ~ / percent-encoded.
std::string HostFileUri(const std::string& HostPath);
// Asks the session's file manager to show its properties window for HostPath
// (org.freedesktop.FileManager1.ShowItemProperties, through gdbus, no shell). Waits at
// most TimeoutMs for the answer; true only when the call succeeded. False at once when
// no session bus is known, so that nothing autolaunches one.
bool HostShowItemProperties(const std::string& HostPath, int TimeoutMs);

}  // namespace twl
