#include "platform/linux/wine_ini.h"

#include <string_view>
#include <vector>

#include "platform/linux/wine_registry.h"

namespace {

// What Wine trims from lines, names and values: 0x09-0x0D, space and the DOS EOF mark.
bool IsTrimmed(char C) {
  return (C >= 0x09 && C <= 0x0D) || C == ' ' || C == 0x1A;
}

std::string_view Trim(std::string_view S) {
  while (!S.empty() && IsTrimmed(S.front())) S.remove_prefix(1);
  while (!S.empty() && IsTrimmed(S.back())) S.remove_suffix(1);
  return S;
}

std::string Utf16ToUtf8(std::string_view Bytes, bool BigEndian) {
  std::vector<uint16_t> units(Bytes.size() / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    const auto a = static_cast<unsigned char>(Bytes[2 * i]);
    const auto b = static_cast<unsigned char>(Bytes[2 * i + 1]);
    units[i] = static_cast<uint16_t>(BigEndian ? (a << 8) | b : (b << 8) | a);
  }
  return WineUtf16ToUtf8(units.data(), units.size());
}

// The file's text as 8-bit (UTF-8) text.
std::string DecodeFile(const std::string& Bytes) {
  std::string_view b(Bytes);
  if (b.substr(0, 3) == "\xEF\xBB\xBF") return std::string(b.substr(3));
  if (b.substr(0, 2) == "\xFF\xFE") return Utf16ToUtf8(b.substr(2), false);
  if (b.substr(0, 2) == "\xFE\xFF") return Utf16ToUtf8(b.substr(2), true);
  return Bytes;
}

std::string_view UpToNul(std::string_view S) {
  return S.substr(0, S.find('\0'));
}

bool SameName(std::string_view A, const std::string& FoldedB) {
  return WineFoldName(std::string(A)) == FoldedB;
}

// Finds the value of Key in the first section named Section. False when there is no such
// key or it has no '='.
bool FindValue(std::string_view Text, const std::string& Section, const std::string& Key,
               std::string_view& Value) {
  bool inSection = Section.empty();  // keys before any section belong to ""
  bool sectionSeen = inSection;
  size_t pos = 0;
  while (pos < Text.size()) {
    size_t end = Text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = Text.size();
    const std::string_view line = Trim(Text.substr(pos, end - pos));
    pos = Text.find_first_not_of("\r\n", end);
    if (pos == std::string_view::npos) pos = Text.size();
    if (line.empty()) continue;

    if (line.front() == '[') {
      const size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        // Only the first section of a name is searched.
        if (inSection) return false;
        if (!sectionSeen && SameName(Trim(line.substr(1, close - 1)), Section)) {
          inSection = sectionSeen = true;
        }
        continue;
      }
      // A '[' without ']' is an ordinary key line.
    }
    if (!inSection) continue;
    const size_t eq = line.find('=');
    const std::string_view name = Trim(line.substr(0, eq));
    if (!SameName(name, Key)) continue;
    // The first key of that name wins, with or without a value.
    if (eq == std::string_view::npos) return false;
    Value = Trim(line.substr(eq + 1));
    return true;
  }
  return false;
}

// Copies at most BufferSize - 1 bytes, never ending inside a UTF-8 sequence. A value
// wrapped in matching quotes loses them; what fits of the inside is returned.
std::string Copy(std::string_view Value, size_t BufferSize) {
  if (BufferSize == 0) return std::string();
  if (Value.size() > 1 && (Value.front() == '"' || Value.front() == '\'') &&
      Value.back() == Value.front()) {
    Value = Value.substr(1, Value.size() - 2);
  }
  if (Value.size() > BufferSize - 1) {
    size_t n = BufferSize - 1;
    // Step back over continuation bytes to the start of the cut sequence.
    size_t k = n;
    while (k > 0 && (static_cast<unsigned char>(Value[k]) & 0xC0) == 0x80) --k;
    if (k < n) n = k;
    Value = Value.substr(0, n);
  }
  return std::string(Value);
}

}  // namespace

std::string WineProfileString(const std::string& FileBytes, const std::string& Section,
                              const std::string& Key, const std::string& Default,
                              size_t BufferSize) {
  const std::string text = DecodeFile(FileBytes);
  const std::string section = WineFoldName(std::string(Trim(UpToNul(Section))));
  const std::string key = WineFoldName(std::string(Trim(UpToNul(Key))));
  std::string_view value;
  if (FindValue(text, section, key, value)) return Copy(UpToNul(value), BufferSize);
  std::string_view def = UpToNul(Default);
  while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
  return Copy(def, BufferSize);
}

TWineIniIndex::TWineIniIndex(const std::string& FileBytes) : FText(DecodeFile(FileBytes)) {
  const std::string_view text(FText);
  // Keys before any section belong to "", the only way to reach that section.
  TKeys* current = &FSections[std::string()];
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(pos, end - pos));
    pos = text.find_first_not_of("\r\n", end);
    if (pos == std::string_view::npos) pos = text.size();
    if (line.empty()) continue;
    if (line.front() == '[') {
      const size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        // Only the first section of a name is ever searched; later ones are dropped.
        const auto [it, fresh] =
            FSections.try_emplace(WineFoldName(std::string(Trim(line.substr(1, close - 1)))));
        current = fresh ? &it->second : nullptr;
        continue;
      }
    }
    if (!current) continue;
    const size_t eq = line.find('=');
    TValue value;
    value.HasValue = eq != std::string_view::npos;
    if (value.HasValue) value.Text = Trim(line.substr(eq + 1));
    // The first line of a key wins, with or without a value.
    current->try_emplace(WineFoldName(std::string(Trim(line.substr(0, eq)))), value);
  }
}

std::string TWineIniIndex::Get(const std::string& Section, const std::string& Key,
                               const std::string& Default, size_t BufferSize) const {
  const auto s = FSections.find(WineFoldName(std::string(Trim(UpToNul(Section)))));
  if (s != FSections.end()) {
    const auto k = s->second.find(WineFoldName(std::string(Trim(UpToNul(Key)))));
    if (k != s->second.end() && k->second.HasValue)
      return Copy(UpToNul(k->second.Text), BufferSize);
  }
  std::string_view def = UpToNul(Default);
  while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
  return Copy(def, BufferSize);
}
