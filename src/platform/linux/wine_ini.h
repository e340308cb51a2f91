// GetPrivateProfileStringA as Wine answers it, over the bytes of an INI file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

// GetPrivateProfileStringA over a file's bytes; BufferSize as the caller's n.
std::string WineProfileString(const std::string& FileBytes, const std::string& Section,
                              const std::string& Key, const std::string& Default,
                              size_t BufferSize = 2048);

// The same answers from a file read once: the file's first section of each name and, in
// it, the first line of each key are indexed, so a question costs no rescan of the file.
class TWineIniIndex {
 public:
  explicit TWineIniIndex(const std::string& FileBytes);
  TWineIniIndex(const TWineIniIndex&) = delete;
  TWineIniIndex& operator=(const TWineIniIndex&) = delete;
  std::string Get(const std::string& Section, const std::string& Key, const std::string& Default,
                  size_t BufferSize = 2048) const;

 private:
  struct TValue {
    bool HasValue = false;  // the line had an '='
    std::string_view Text;
  };
  using TKeys = std::unordered_map<std::string, TValue>;
  std::string FText;
  std::unordered_map<std::string, TKeys> FSections;  // folded names
};
