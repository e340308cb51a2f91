#include "app/tw_i18n.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include "app/UtilFuncs.h"
#include "platform/tw_platform.h"

namespace {

using TCatalog = TTWCatalog;

struct TState {
  std::mutex Lock;
  std::optional<std::string> Language;  // empty until first use
  bool CatalogLoaded = false;           // the catalog of Language was looked for
  bool Disabled = false;                // a catalog was refused: translations stay off
  TCatalog Catalog;
  TTWLocalisationProblemHandler Handler;
  std::string CatalogDir;  // empty: "locale" in the program's folder
};

TState& State() {
  static TState s;
  return s;
}

std::string CutCode(std::string Code) {
  size_t cut = Code.find_first_of(".@");
  if (cut != std::string::npos) Code.erase(cut);
  return Code;
}

char LowerAscii(char C) {
  return C >= 'A' && C <= 'Z' ? static_cast<char>(C + 32) : C;
}

bool ContainsNoCase(const std::string& Text, const std::string& Lower) {
  if (Lower.size() > Text.size()) return false;
  for (size_t i = 0; i + Lower.size() <= Text.size(); ++i) {
    size_t k = 0;
    while (k < Lower.size() && LowerAscii(Text[i + k]) == Lower[k]) ++k;
    if (k == Lower.size()) return true;
  }
  return false;
}

// A code names a directory below "locale": one that could leave it (a code from a
// hostile settings file such as "../../x") or name "locale" itself is not looked up.
// Each directory tried is checked on its own, so "de_DE.UTF-8" still falls back to "de".
bool IsSafeCode(const std::string& Code) {
  if (Code.empty() || Code == "." || Code == "..") return false;
  for (char c : Code) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '@' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::string CatalogPath(const std::string& Dir, const std::string& Code) {
  char d = Platform().HostPathDelimiter();
  std::string base = Dir.empty() ? GetProgramDir() + "locale" : Dir;
  if (base.empty() || base.back() != d) base += d;
  return base + Code + d + "LC_MESSAGES" + d + "default.mo";
}

// A catalog of the program holds a few hundred short texts; anything far larger, or a
// FIFO or device in its place, is not one.
constexpr size_t kMaxCatalogFile = 16u << 20;

bool ReadCatalogOf(const std::string& Dir, const std::string& Code, std::string& Path,
                   std::string& Data) {
  if (!IsSafeCode(Code)) return false;
  Path = CatalogPath(Dir, Code);
  std::string why;
  return Platform().ReadSmallFile(Path, kMaxCatalogFile, Data, why);
}

// Reads a .mo file; every offset is checked, so a damaged catalog yields what can be read
// and never a read outside the data.
class TMoReader {
 public:
  explicit TMoReader(const std::string& Data) : D(Data) {}

  bool Read(TCatalog& Out, bool& HasHeader, std::string& Header) {
    HasHeader = false;
    if (D.size() < 20) return false;
    uint32_t magic = U32(0, false);
    if (magic == 0x950412deu) {
      BigEndian = false;
    } else if (magic == 0xde120495u) {
      BigEndian = true;
    } else {
      return false;
    }
    uint32_t major = U32(4, BigEndian) >> 16;
    if (major > 1) return false;
    uint64_t count = U32(8, BigEndian);
    uint64_t originals = U32(12, BigEndian);
    uint64_t translations = U32(16, BigEndian);
    if (count > D.size() / 8) return false;
    if (originals + count * 8 > D.size() || translations + count * 8 > D.size()) return false;
    // msgfmt stores every text once, so the texts of a real catalog fit into its file.
    // Entries that share their bytes could make a small file claim far more.
    uint64_t budget = D.size();
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t id_off, id_len, text_off, text_len;
      if (!Span(originals + i * 8, id_off, id_len) ||
          !Span(translations + i * 8, text_off, text_len))
        continue;
      if (id_len + text_len > budget) break;
      budget -= id_len + text_len;
      std::string id(D, static_cast<size_t>(id_off), static_cast<size_t>(id_len));
      std::string text(D, static_cast<size_t>(text_off), static_cast<size_t>(text_len));
      // Context entries ("ctxt\4id") are not used by the program.
      if (id.find('\x04') != std::string::npos) continue;
      // Plural entries: the singular id and the first form.
      id = id.substr(0, id.find('\0'));
      text = text.substr(0, text.find('\0'));
      if (id.empty()) {
        HasHeader = true;
        Header = text;
        continue;
      }
      if (!text.empty()) Out.emplace(std::move(id), std::move(text));
    }
    return true;
  }

 private:
  uint32_t U32(uint64_t At, bool Big) const {
    auto b = [&](uint64_t k) { return static_cast<uint32_t>(static_cast<uint8_t>(D[At + k])); };
    if (Big) return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
    return b(3) << 24 | b(2) << 16 | b(1) << 8 | b(0);
  }
  // The place of a table entry's text, when it lies inside the data.
  bool Span(uint64_t Entry, uint64_t& Off, uint64_t& Len) const {
    Len = U32(Entry, BigEndian);
    Off = U32(Entry + 4, BigEndian);
    return Off <= D.size() && Len <= D.size() - Off;
  }

  const std::string& D;
  bool BigEndian = false;
};

std::string ContentTypeLine(const std::string& Header) {
  size_t pos = 0;
  while (pos < Header.size()) {
    size_t end = Header.find('\n', pos);
    std::string line = Header.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (line.size() >= 13) {
      std::string head = line.substr(0, 13);
      for (char& c : head) c = LowerAscii(c);
      if (head == "content-type:") return line;
    }
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return {};
}

// Loads the catalog of the current language into S; returns the problem text when the
// catalog had to be refused.
std::string LoadCatalog(TState& S) {
  S.CatalogLoaded = true;
  S.Catalog.clear();
  const std::string& code = *S.Language;
  std::string path, data;
  bool found = ReadCatalogOf(S.CatalogDir, code, path, data);
  if (!found && code.size() > 2) found = ReadCatalogOf(S.CatalogDir, code.substr(0, 2), path, data);
  if (!found) return {};
  TCatalog catalog;
  std::string header;
  if (!ReadMoCatalog(data, catalog, header)) return {};
  if (!ContainsNoCase(ContentTypeLine(header), "charset=utf-8")) {
    S.Disabled = true;
    return "The translation for the language code " + code + " (in " + path +
           ") does not have charset=utf-8 in its Content-Type. Translations are turned off.";
  }
  S.Catalog = std::move(catalog);
  return {};
}

std::string WithoutCR(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (char c : Text)
    if (c != '\r') out += c;
  return out;
}

std::string WithCRLF(const std::string& Text) {
  std::string out;
  out.reserve(Text.size() + 8);
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\n' && (i == 0 || Text[i - 1] != '\r')) out += '\r';
    out += Text[i];
  }
  return out;
}

}  // namespace

std::string DetectEnvironmentLanguage() {
  std::string code = CutCode(Platform().GetEnvironmentVariable("LANG"));
  if (!code.empty()) return code;
  std::string language, country;
  if (Platform().GetUserLocale(language, country) && !language.empty()) {
    if (language == "no") language = "nb";
    code = CutCode(country.empty() ? language : language + "_" + country);
    if (!code.empty()) return code;
  }
  return "C";
}

std::string CurrentLanguage() {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  if (!s.Language) s.Language = DetectEnvironmentLanguage();
  return *s.Language;
}

void UseLanguage(const std::string& Code) {
  std::string code = Code.empty() ? DetectEnvironmentLanguage() : Code;
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  if (s.Language && *s.Language == code) return;
  s.Language = std::move(code);
  s.CatalogLoaded = false;
  s.Catalog.clear();
}

std::string Translate(const std::string& EnglishText) {
  TState& s = State();
  std::string problem;
  TTWLocalisationProblemHandler handler;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    if (s.Disabled) return EnglishText;
    if (!s.Language) s.Language = DetectEnvironmentLanguage();
    if (!s.CatalogLoaded) problem = LoadCatalog(s);
    if (problem.empty()) {
      auto it = s.Catalog.find(WithoutCR(EnglishText));
      if (it == s.Catalog.end()) return EnglishText;
      return Platform().Utf8ToSystemText(WithCRLF(it->second));
    }
    handler = s.Handler;
  }
  // Outside the lock: the handler may look up texts itself.
  if (handler) handler("Localization problem", problem);
  return EnglishText;
}

void SetLocalisationProblemHandler(TTWLocalisationProblemHandler Handler) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Handler = std::move(Handler);
}

bool ReadMoCatalog(const std::string& Data, TTWCatalog& Entries, std::string& Header) {
  bool has_header = false;
  Header.clear();
  return TMoReader(Data).Read(Entries, has_header, Header);
}

std::string CatalogFileName(const std::string& Code) {
  TState& s = State();
  std::string dir;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    dir = s.CatalogDir;
  }
  return CatalogPath(dir, Code);
}

void SetCatalogDirectory(const std::string& HostDir) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.CatalogDir = HostDir;
}

void ResetTranslationLayer() {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Language.reset();
  s.CatalogLoaded = false;
  s.Disabled = false;
  s.Catalog.clear();
}
