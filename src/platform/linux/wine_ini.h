// GetPrivateProfileStringA as Wine answers it, over the bytes of an INI file.
#pragma once

#include <cstddef>
#include <string>

// GetPrivateProfileStringA over a file's bytes; BufferSize as the caller's n.
std::string WineProfileString(const std::string& FileBytes, const std::string& Section,
                              const std::string& Key, const std::string& Default,
                              size_t BufferSize = 2048);
