// A small INI text reader for the branding file, written for untrusted input: lines are
// bounded, nothing is interpreted beyond sections and key=value pairs.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Lines longer than this are not INI lines of ours and are skipped whole, so that a
// broken file cannot turn a megabyte of noise into a label or a link.
inline constexpr size_t TW_MAX_INI_LINE = 4096;

// The lines of Text: a line ends at CR LF, at CR alone or at LF alone; a NUL byte ends
// the text. A last line without a break counts; a trailing break adds no empty line.
std::vector<std::string> SplitIniLines(std::string_view Text);

// Trims spaces and control characters (bytes up to 0x20) at both ends.
std::string TrimIniText(std::string_view Text);

class TTWIniText {
 public:
  // Parses plain lines: empty lines and lines beginning with ";" are ignored, "[name]"
  // starts a section, "key=value" inside a section defines a key; lines before the first
  // section are ignored. A section named twice is one section.
  void Parse(const std::vector<std::string>& Lines);
  // Section and key names compare without regard to ASCII letter case; the first
  // occurrence of a key counts.
  std::string ReadString(std::string_view Section, std::string_view Key,
                         const std::string& Default) const;

 private:
  // Names are kept in upper case; a key's first value counts.
  std::map<std::string, std::map<std::string, std::string>> FSections;
};
