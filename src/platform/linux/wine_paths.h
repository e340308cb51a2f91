// GetFullPathNameA as Wine computes it: purely lexical, the file system is not consulted.
#pragma once

#include <functional>
#include <string>

// CurrentDir is a Windows path ("C:\\t"). UnixToDos maps a Unix path (input starting with
// '/') to a Windows path; may be empty (then such input fails). False for empty/blank
// input or results over MAX_PATH (260).
bool WineFullPathName(const std::string& Path, const std::string& CurrentDir,
                      const std::function<bool(const std::string&, std::string&)>& UnixToDos,
                      std::string& Full);
