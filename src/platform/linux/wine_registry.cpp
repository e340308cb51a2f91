#include "platform/linux/wine_registry.h"

#include <string_view>

#include "platform/tw_platform.h"

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
// Bounds for hostile files. Real lines and values stay far below them.
constexpr size_t kMaxLine = size_t(16) << 20;
constexpr size_t kMaxData = size_t(16) << 20;
constexpr size_t kMaxDepth = 512;  // the registry's own nesting limit
// Each key costs far more memory than its line; a real prefix has some tens of thousands.
constexpr size_t kMaxKeys = size_t(1) << 20;
constexpr int kMaxLinkHops = 16;

const char kHeader[] = "WINE REGISTRY Version 2";
const char kRootComment[] = ";; All keys relative to ";

bool IsBlank(char C) {
  return C == ' ' || C == '\t';
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& Out, uint32_t Cp) {
  if (Cp < 0x80) {
    Out += static_cast<char>(Cp);
  } else if (Cp < 0x800) {
    Out += static_cast<char>(0xC0 | (Cp >> 6));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else if (Cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (Cp >> 12));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Cp >> 18));
    Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at S[Pos]. Returns its length, 0 when it is not valid
// (overlong forms, surrogates and values above U+10FFFF included).
size_t DecodeUtf8(std::string_view S, size_t Pos, uint32_t& Cp) {
  const auto b0 = static_cast<unsigned char>(S[Pos]);
  size_t len;
  uint32_t min;
  if (b0 < 0x80) {
    Cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, Cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, Cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, Cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (S.size() - Pos < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(S[Pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    Cp = (Cp << 6) | (b & 0x3F);
  }
  if (Cp < min || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF)) return 0;
  return len;
}

void AppendUtf16(std::u16string& Out, uint32_t Cp) {
  if (Cp < 0x10000) {
    Out += static_cast<char16_t>(Cp);
  } else {
    Cp -= 0x10000;
    Out += static_cast<char16_t>(0xD800 + (Cp >> 10));
    Out += static_cast<char16_t>(0xDC00 + (Cp & 0x3FF));
  }
}

std::string ToUtf8(const std::u16string& Units) {
  return WineUtf16ToUtf8(reinterpret_cast<const uint16_t*>(Units.data()), Units.size());
}

// Simple upper-casing of one code point (Latin-1, Latin Extended-A, Greek, Cyrillic).
uint32_t UpperCp(uint32_t C) {
  if (C < 0x80) return (C >= 'a' && C <= 'z') ? C - 32 : C;
  if (C >= 0xE0 && C <= 0xFE && C != 0xF7) return C - 0x20;
  if (C == 0xFF) return 0x178;
  if (C >= 0x100 && C <= 0x17F) {
    if (C == 0x131) return 'I';
    if (C == 0x17F) return 'S';
    if (C == 0x130 || C == 0x138 || C == 0x149 || C == 0x178) return C;
    const bool oddUpper = (C >= 0x139 && C <= 0x148) || (C >= 0x179 && C <= 0x17E);
    if (oddUpper) return (C % 2 == 0) ? C - 1 : C;
    return (C % 2 == 1) ? C - 1 : C;
  }
  if (C >= 0x3B1 && C <= 0x3CB) return C == 0x3C2 ? 0x3A3 : C - 0x20;
  if (C == 0x3AC) return 0x386;
  if (C >= 0x3AD && C <= 0x3AF) return C - 0x25;
  if (C == 0x3CC) return 0x38C;
  if (C == 0x3CD || C == 0x3CE) return C - 0x3F;
  if (C >= 0x430 && C <= 0x44F) return C - 0x20;
  if (C >= 0x450 && C <= 0x45F) return C - 0x50;
  if ((C >= 0x460 && C <= 0x481) || (C >= 0x48A && C <= 0x4BF) || (C >= 0x4D0 && C <= 0x4FF))
    return (C % 2 == 1) ? C - 1 : C;
  if (C >= 0x4C1 && C <= 0x4CE) return (C % 2 == 0) ? C - 1 : C;
  return C;
}

// Lines end at '\n'; one '\r' before it is dropped.
class TLineReader {
 public:
  explicit TLineReader(std::string_view Text) : FText(Text) {}
  bool Next(std::string_view& Line) {
    if (FPos >= FText.size()) return false;
    size_t end = FText.find('\n', FPos);
    size_t next = end == std::string_view::npos ? FText.size() : end + 1;
    if (end == std::string_view::npos) end = FText.size();
    Line = FText.substr(FPos, end - FPos);
    if (!Line.empty() && Line.back() == '\r') Line.remove_suffix(1);
    FPos = next;
    return true;
  }

 private:
  std::string_view FText;
  size_t FPos = 0;
};

// Reads escaped text from S[Pos] up to the unescaped Terminator into UTF-16 units.
// Returns the position after the terminator, kNone when it is missing.
size_t ParseEscaped(std::string_view S, size_t Pos, char Terminator, std::u16string& Out) {
  Out.clear();
  while (Pos < S.size()) {
    const char c = S[Pos];
    if (c == Terminator) return Pos + 1;
    if (c == '\\') {
      if (++Pos >= S.size()) return kNone;
      const char e = S[Pos];
      switch (e) {
        case 'a':
          Out += u'\a';
          ++Pos;
          continue;
        case 'b':
          Out += u'\b';
          ++Pos;
          continue;
        case 'e':
          Out += char16_t(0x1B);
          ++Pos;
          continue;
        case 'f':
          Out += u'\f';
          ++Pos;
          continue;
        case 'n':
          Out += u'\n';
          ++Pos;
          continue;
        case 'r':
          Out += u'\r';
          ++Pos;
          continue;
        case 't':
          Out += u'\t';
          ++Pos;
          continue;
        case 'v':
          Out += u'\v';
          ++Pos;
          continue;
        default:
          break;
      }
      if (e == 'x') {
        ++Pos;
        uint32_t unit = 0;
        int digits = 0;
        while (digits < 4 && Pos < S.size() && HexDigit(S[Pos]) >= 0) {
          unit = unit * 16 + static_cast<uint32_t>(HexDigit(S[Pos++]));
          ++digits;
        }
        Out += digits ? static_cast<char16_t>(unit) : u'x';
        continue;
      }
      if (e >= '0' && e <= '7') {
        uint32_t unit = 0;
        for (int digits = 0; digits < 3 && Pos < S.size() && S[Pos] >= '0' && S[Pos] <= '7';
             ++digits)
          unit = unit * 8 + static_cast<uint32_t>(S[Pos++] - '0');
        Out += static_cast<char16_t>(unit);
        continue;
      }
      // Any other escaped character stands for itself; a non-ASCII one is decoded below.
      if (static_cast<unsigned char>(e) < 0x80) {
        Out += static_cast<char16_t>(e);
        ++Pos;
        continue;
      }
    }
    uint32_t cp;
    const size_t len = DecodeUtf8(S, Pos, cp);
    if (len == 0) {
      ++Pos;  // invalid UTF-8 is dropped
      continue;
    }
    AppendUtf16(Out, cp);
    Pos += len;
  }
  return kNone;
}

std::vector<std::string> SplitPath(const std::string& Path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= Path.size()) {
    size_t end = Path.find('\\', start);
    if (end == std::string::npos) end = Path.size();
    if (end > start) parts.push_back(Path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool StartsWith(std::string_view S, std::string_view Prefix) {
  return S.size() >= Prefix.size() && S.substr(0, Prefix.size()) == Prefix;
}

// strtoul(Text, NULL, 16) with a 64-bit unsigned long, as the value is read on Linux,
// then stored as the 32-bit DWORD.
uint32_t ParseDword(std::string_view S) {
  size_t i = 0;
  while (i < S.size() && (S[i] == ' ' || (S[i] >= '\t' && S[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < S.size() && (S[i] == '+' || S[i] == '-')) negative = S[i++] == '-';
  if (i + 2 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X') &&
      HexDigit(S[i + 2]) >= 0)
    i += 2;
  uint64_t v = 0;
  bool overflow = false;
  for (; i < S.size() && HexDigit(S[i]) >= 0; ++i) {
    if (v > (UINT64_MAX >> 4)) overflow = true;
    v = (v << 4) | static_cast<uint64_t>(HexDigit(S[i]));
  }
  if (overflow) return 0xFFFFFFFFu;
  if (negative) v = 0 - v;
  return static_cast<uint32_t>(v);
}

// One hex byte list, possibly continued over further lines with a trailing '\'.
bool ParseHexList(std::string_view Line, size_t Pos, TLineReader& Reader, std::string& Out) {
  bool tooBig = false;
  for (;;) {
    while (Pos < Line.size() && IsBlank(Line[Pos])) ++Pos;
    if (Pos >= Line.size()) break;
    if (Line[Pos] == '\\') {
      for (size_t k = Pos + 1; k < Line.size(); ++k)
        if (!IsBlank(Line[k])) return false;
      if (!Reader.Next(Line)) return false;
      Pos = 0;
      continue;
    }
    unsigned value = 0;
    int digits = 0;
    while (Pos < Line.size() && HexDigit(Line[Pos]) >= 0) {
      if (++digits > 8) return false;
      value = value * 16 + static_cast<unsigned>(HexDigit(Line[Pos++]));
    }
    if (digits == 0 || value > 0xFF) return false;
    if (Out.size() < kMaxData)
      Out += static_cast<char>(value);
    else
      tooBig = true;
    while (Pos < Line.size() && IsBlank(Line[Pos])) ++Pos;
    if (Pos >= Line.size()) break;
    if (Line[Pos] == ',') {
      ++Pos;
    } else if (Line[Pos] != '\\') {
      return false;
    }
  }
  return !tooBig;
}

bool IsStringType(uint32_t Type) {
  return Type == REG_SZ || Type == REG_EXPAND_SZ || Type == REG_MULTI_SZ;
}

// The data part of a value line, from S[Pos]. False when it is malformed.
bool ParseData(std::string_view S, size_t Pos, TLineReader& Reader, uint32_t& Type,
               std::string& Data) {
  std::string_view d = S.substr(Pos);
  size_t quote = kNone;
  if (StartsWith(d, "\"")) {
    Type = REG_SZ, quote = 0;
  } else if (StartsWith(d, "str:\"")) {
    Type = REG_SZ, quote = 4;
  } else if (StartsWith(d, "str(2):\"")) {
    Type = REG_EXPAND_SZ, quote = 7;
  } else if (StartsWith(d, "str(7):\"")) {
    Type = REG_MULTI_SZ, quote = 7;
  }
  if (quote != kNone) {
    std::u16string units;
    if (ParseEscaped(d, quote + 1, '"', units) == kNone) return false;
    units += u'\0';
    Data = ToUtf8(units);
    return true;
  }
  if (StartsWith(d, "dword:")) {
    Type = REG_DWORD;
    const uint32_t v = ParseDword(d.substr(6));
    Data.clear();
    for (int i = 0; i < 4; ++i) Data += static_cast<char>((v >> (8 * i)) & 0xFF);
    return true;
  }
  size_t list;
  if (StartsWith(d, "hex:")) {
    Type = REG_BINARY, list = 4;
  } else if (StartsWith(d, "hex(")) {
    size_t i = 4;
    uint64_t t = 0;
    int digits = 0;
    while (i < d.size() && HexDigit(d[i]) >= 0) {
      if (++digits > 8) return false;
      t = t * 16 + static_cast<uint64_t>(HexDigit(d[i++]));
    }
    if (digits == 0 || d.substr(i, 2) != "):") return false;
    Type = static_cast<uint32_t>(t), list = i + 2;
  } else {
    return false;
  }
  std::string bytes;
  if (!ParseHexList(S, Pos + list, Reader, bytes)) return false;
  // RegQueryValueExA hands string types out converted to 8-bit text.
  Data = IsStringType(Type) ? WineUtf16LeBytesToUtf8(bytes) : std::move(bytes);
  return true;
}

std::string FoldedRoot(const std::string& Header) {
  std::string root = WineFoldName(Header);
  while (!root.empty() && root.front() == '\\') root.erase(0, 1);
  while (!root.empty() && root.back() == '\\') root.pop_back();
  // Older Wine wrote "\\Machine" and "\\User\\S-1-5-..." without the REGISTRY part.
  if (!StartsWith(root, "REGISTRY\\")) root = "REGISTRY\\" + root;
  return root;
}

}  // namespace

std::string WineUtf16ToUtf8(const uint16_t* Units, size_t Count) {
  std::string out;
  out.reserve(Count);
  for (size_t i = 0; i < Count; ++i) {
    uint32_t u = Units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < Count && Units[i + 1] >= 0xDC00 &&
        Units[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (Units[i + 1] - 0xDC00u);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    AppendUtf8(out, u);
  }
  return out;
}

std::string WineUtf16LeBytesToUtf8(const std::string& Bytes) {
  std::vector<uint16_t> units(Bytes.size() / 2);
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<uint16_t>(static_cast<unsigned char>(Bytes[2 * i]) |
                                     (static_cast<unsigned char>(Bytes[2 * i + 1]) << 8));
  return WineUtf16ToUtf8(units.data(), units.size());
}

std::string WineFoldName(const std::string& Name) {
  std::string out;
  out.reserve(Name.size());
  for (size_t i = 0; i < Name.size();) {
    const auto b = static_cast<unsigned char>(Name[i]);
    if (b < 0x80) {
      out += static_cast<char>((b >= 'a' && b <= 'z') ? b - 32 : b);
      ++i;
      continue;
    }
    uint32_t cp;
    const size_t len = DecodeUtf8(Name, i, cp);
    if (len == 0) {
      out += Name[i++];
      continue;
    }
    AppendUtf8(out, UpperCp(cp));
    i += len;
  }
  return out;
}

void TWineRegistry::Clear() {
  Nodes.clear();
  RootPath.clear();
}

size_t TWineRegistry::AddPath(const std::vector<std::string>& Components) {
  size_t node = 0;
  for (const std::string& c : Components) {
    const std::string folded = WineFoldName(c);
    auto it = Nodes[node].Children.find(folded);
    if (it != Nodes[node].Children.end()) {
      node = it->second;
    } else if (Nodes.size() >= kMaxKeys) {
      return kNone;
    } else {
      const size_t child = Nodes.size();
      Nodes[node].Children.emplace(folded, child);
      Nodes.emplace_back();
      node = child;
    }
  }
  return node;
}

bool TWineRegistry::LoadText(const std::string& Text) {
  Clear();
  TLineReader reader(Text);
  std::string_view line;
  if (!reader.Next(line) || line != kHeader) return false;
  Nodes.emplace_back();

  size_t current = kNone;  // key that value lines go to; none after a bad key line
  bool seenKey = false;
  std::u16string units;
  while (reader.Next(line)) {
    if (line.size() > kMaxLine) continue;
    size_t p = 0;
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p >= line.size()) continue;
    const std::string_view rest = line.substr(p);
    switch (rest[0]) {
      case '[': {
        seenKey = true;
        current = kNone;
        if (ParseEscaped(rest, 1, ']', units) == kNone) break;
        const std::vector<std::string> parts = SplitPath(ToUtf8(units));
        if (parts.size() > kMaxDepth) break;
        current = AddPath(parts);
        break;
      }
      case ';':
        if (!seenKey && RootPath.empty() && StartsWith(rest, kRootComment)) {
          // The root runs to the end of the line, so there is no terminator to find.
          ParseEscaped(rest, sizeof(kRootComment) - 1, '\0', units);
          RootPath = FoldedRoot(ToUtf8(units));
        }
        break;
      case '#':
        if (!seenKey) {
          if (StartsWith(rest, "#arch=")) {
            const std::string_view arch = rest.substr(6);
            if (arch != "win32" && arch != "win64") {
              Clear();
              return false;
            }
          }
        } else if (current != kNone && StartsWith(rest, "#link") &&
                   (rest.size() == 5 || IsBlank(rest[5]))) {
          Nodes[current].IsLink = true;
        }
        break;
      case '@':
      case '"': {
        std::string name;
        size_t q = 1;
        if (rest[0] == '"') {
          q = ParseEscaped(rest, 1, '"', units);
          if (q == kNone) break;  // no closing quote: the line is skipped
          name = ToUtf8(units);
        }
        if (current == kNone) break;  // a value without a key
        TValue value;
        value.Name = name;
        while (q < rest.size() && IsBlank(rest[q])) ++q;
        bool ok = q < rest.size() && rest[q] == '=';
        if (ok) {
          ++q;
          while (q < rest.size() && IsBlank(rest[q])) ++q;
          ok = ParseData(rest, q, reader, value.Type, value.Data);
        }
        if (!ok) {
          value.Type = REG_NONE;
          value.Data.clear();
        }
        // Last one wins; the spelling of the last one is kept.
        Nodes[current].Values[WineFoldName(name)] = std::move(value);
        break;
      }
      default:
        break;  // unrecognised input
    }
  }
  return true;
}

size_t TWineRegistry::FindNode(const std::string& KeyPath) const {
  if (Nodes.empty()) return kNone;
  std::vector<std::string> parts = SplitPath(WineFoldName(KeyPath));
  size_t node = 0;
  int hops = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    const auto it = Nodes[node].Children.find(parts[i]);
    if (it == Nodes[node].Children.end()) return kNone;
    node = it->second;
    if (!Nodes[node].IsLink) continue;
    // A link key stands for its target; only targets inside this file can be followed.
    if (++hops > kMaxLinkHops || RootPath.empty()) return kNone;
    const auto v = Nodes[node].Values.find("SYMBOLICLINKVALUE");
    if (v == Nodes[node].Values.end() || v->second.Type != REG_LINK) return kNone;
    std::string target = WineFoldName(WineUtf16LeBytesToUtf8(v->second.Data));
    while (!target.empty() && target.back() == '\0') target.pop_back();
    while (!target.empty() && target.front() == '\\') target.erase(0, 1);
    if (target == RootPath) {
      target.clear();
    } else if (StartsWith(target, RootPath + "\\")) {
      target.erase(0, RootPath.size() + 1);
    } else {
      return kNone;
    }
    std::vector<std::string> next = SplitPath(target);
    next.insert(next.end(), parts.begin() + static_cast<std::ptrdiff_t>(i) + 1, parts.end());
    parts = std::move(next);
    node = 0;
    i = static_cast<size_t>(-1);  // restart from the root with the target's path
  }
  return node;
}

bool TWineRegistry::KeyExists(const std::string& KeyPath) const {
  return FindNode(KeyPath) != kNone;
}

bool TWineRegistry::QueryValue(const std::string& KeyPath, const std::string& ValueName,
                               uint32_t& Type, std::string& Data) const {
  const size_t node = FindNode(KeyPath);
  if (node == kNone) return false;
  const auto it = Nodes[node].Values.find(WineFoldName(ValueName));
  if (it == Nodes[node].Values.end()) return false;
  Type = it->second.Type;
  Data = it->second.Data;
  return true;
}

bool TWineRegistry::QueryString(const std::string& KeyPath, const std::string& ValueName,
                                std::string& Value) const {
  uint32_t type;
  std::string data;
  if (!QueryValue(KeyPath, ValueName, type, data)) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  // An 8-bit caller reads the text up to its first NUL.
  Value = data.substr(0, data.find('\0'));
  return true;
}

bool TWineRegistry::ValueNames(const std::string& KeyPath, std::vector<std::string>& Names) const {
  const size_t node = FindNode(KeyPath);
  if (node == kNone) return false;
  Names.clear();
  for (const auto& [folded, value] : Nodes[node].Values) Names.push_back(value.Name);
  return true;
}
