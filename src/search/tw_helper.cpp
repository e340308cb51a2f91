#include "search/tw_helper.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>
#include <memory>

#include "app/UtilFuncs.h"
#include "app/tw_i18n.h"
#include "platform/tw_platform.h"

TTWHelper* Helper = nullptr;

namespace {

// Halves go to the even neighbour, whatever the floating-point environment says.
double RoundHalfEven(double X) {
  double f = std::floor(X);
  const double d = X - f;
  if (d > 0.5 || (d == 0.5 && std::fmod(f, 2.0) != 0.0)) f += 1.0;
  return f;
}

std::string FormatSize(double Value, const std::string& Separator) {
  // "+ 0.0" turns a negative zero (a few negative bytes) into a plain 0.
  const double rounded = RoundHalfEven(Value / 0.01) * 0.01 + 0.0;
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::general, 15);
  std::string out;
  for (const char* p = buf; p != res.ptr; ++p) {
    if (*p == '.')
      out += Separator;
    else
      out += *p;
  }
  return out;
}

// A number as the user's locale writes it; false for anything else.
bool ParseNumber(const std::string& Text, const std::string& Separator, double& Value) {
  size_t b = 0;
  size_t e = Text.size();
  while (b < e && (Text[b] == ' ' || Text[b] == '\t')) ++b;
  while (e > b && (Text[e - 1] == ' ' || Text[e - 1] == '\t')) --e;
  std::string t;
  for (size_t i = b; i < e;) {
    if (!Separator.empty() && Text.compare(i, Separator.size(), Separator) == 0) {
      t += '.';
      i += Separator.size();
    } else if (Text[i] == '.') {
      return false;  // not this locale's separator
    } else {
      t += Text[i++];
    }
  }
  size_t start = 0;
  if (t.size() > 1 && t[0] == '+' && t[1] != '-') start = 1;
  if (start >= t.size()) return false;
  double v = 0;
  const char* first = t.data() + start;
  const char* last = t.data() + t.size();
  const auto res = std::from_chars(first, last, v, std::chars_format::general);
  if (res.ec != std::errc() || res.ptr != last || !std::isfinite(v)) return false;
  Value = v;
  return true;
}

const std::string& ColumnText(const TTWListRow& Row, int Column) {
  static const std::string empty;
  if (Column == 0) return Row.Caption;
  if (Column < 0 || static_cast<size_t>(Column) > Row.SubItems.size()) return empty;
  return Row.SubItems[static_cast<size_t>(Column) - 1];
}

// In the manner of strcmp: the difference of the first differing bytes, as unsigned.
int CompareText(const std::string& A, const std::string& B) {
  const auto* a = reinterpret_cast<const unsigned char*>(A.c_str());
  const auto* b = reinterpret_cast<const unsigned char*>(B.c_str());
  for (size_t i = 0;; ++i) {
    if (a[i] != b[i]) return static_cast<int>(a[i]) - static_cast<int>(b[i]);
    if (a[i] == 0) return 0;
  }
}

const std::string kEmpty;

}  // namespace

TTWHelper::TTWHelper() {
  const lconv* lc = std::localeconv();
  FDecimalSeparator = (lc != nullptr && lc->decimal_point != nullptr && *lc->decimal_point != 0)
                          ? std::string(lc->decimal_point)
                          : std::string(".");
  LoadNames();
}

namespace {

const char* const kKindTexts[TTWHelper::KindCount] = {N_("File"), N_("Directory")};

// A group's name is its prefix, never translated (the browser), and its word.
struct TGroupText {
  const char* Prefix;
  const char* Word;
};
const TGroupText kGroupTexts[TTWHelper::GroupCount] = {
    {"", N_("Search masks")},
    {"IE/", N_("Cookies")},
    {"IE/", N_("Cache")},
    {"IE/", N_("History")},
    {"Firefox/", N_("Cookies")},
    {"Firefox/", N_("Cache")},
    {"Firefox/", N_("History")},
    {"Opera/", N_("Cookies")},
    {"Opera/", N_("Cache")},
    {"Opera/", N_("History")},
    {"Safari/", N_("Cookies")},
    {"Safari/", N_("Cache")},
    {"Safari/", N_("History")},
    {"Chrome/", N_("Cookies")},
    {"Chrome/", N_("Cache")},
    {"Chrome/", N_("History")},
    {"", N_("Temporary directory")},
    {"", N_("Recently used documents")},
    {"", N_("Recycle Bin")},
    {"", N_("Old Update files")},
    {"", N_("System log")},
};

}  // namespace

void TTWHelper::LoadNames() {
  for (int k = 0; k < KindCount; ++k) FKindNames[static_cast<size_t>(k)] = Translate(kKindTexts[k]);
  for (int g = 0; g < GroupCount; ++g) {
    const TGroupText& t = kGroupTexts[g];
    FGroupNames[static_cast<size_t>(g)] = t.Prefix + Translate(t.Word);
  }
}

std::string TTWHelper::EnglishKindName(int Kind) {
  return Kind < 0 || Kind >= KindCount ? std::string() : kKindTexts[Kind];
}

std::string TTWHelper::EnglishGroupName(int Group) {
  if (Group < 0 || Group >= GroupCount) return {};
  return std::string(kGroupTexts[Group].Prefix) + kGroupTexts[Group].Word;
}

const std::string& TTWHelper::GetKindName(int Kind) const {
  if (Kind < 0 || Kind >= KindCount) return kEmpty;
  return FKindNames[static_cast<size_t>(Kind)];
}

const std::string& TTWHelper::GetGroupName(int Group) const {
  if (Group < 0 || Group >= GroupCount) return kEmpty;
  return FGroupNames[static_cast<size_t>(Group)];
}

std::string TTWHelper::SizeToKB(int64_t Bytes) const {
  return FormatSize(static_cast<double>(Bytes) / 1024, FDecimalSeparator);
}

std::string TTWHelper::SizeToMB(int64_t Bytes) const {
  return FormatSize(static_cast<double>(Bytes) / 1024 / 1024, FDecimalSeparator);
}

int TTWHelper::CompareNumbers(const std::string& Text1, const std::string& Text2) const {
  double a = 0;
  double b = 0;
  if (!ParseNumber(Text1, FDecimalSeparator, a)) a = 0;
  if (!ParseNumber(Text2, FDecimalSeparator, b)) b = 0;
  if (a > b) return 1;
  if (a < b) return -1;
  return 0;
}

int TTWHelper::CompareChecked(bool Checked1, bool Checked2) {
  if (Checked1 == Checked2) return 0;
  return (!Checked1 && Checked2) ? 1 : -1;
}

int TTWHelper::CompareItems(const TTWListRow& Item1, const TTWListRow& Item2, int Column,
                            int ColumnKind, bool Descending) const {
  int result = 0;
  switch (ColumnKind) {
    case TW_COLUMN_NUMBER:
      result = CompareNumbers(ColumnText(Item1, Column), ColumnText(Item2, Column));
      break;
    case TW_COLUMN_CHECKED:
      result = CompareChecked(Item1.Checked, Item2.Checked);
      break;
    default:
      result = CompareText(ColumnText(Item1, Column), ColumnText(Item2, Column));
      break;
  }
  return Descending ? -result : result;
}

bool TTWHelper::ShowProperties(const std::string& Path) {
  return Platform().ShowProperties(Path);
}

std::string TTWHelper::GetDriveDisplayName(char Letter) {
  return Platform().GetDriveDisplayName(Letter);
}

int TTWHelper::GetScrollWidth(int TextWidth, int CurrentScrollWidth) {
  const long long text = TextWidth;
  if (static_cast<long long>(CurrentScrollWidth) < text - 10) {
    const long long wanted = text + 10;
    return wanted > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                    : static_cast<int>(wanted);
  }
  return CurrentScrollWidth;
}

void TTWHelper::CreateMasks(TTWArrayMasks& Masks, const TStringList& Texts) {
  FreeMasks(Masks);
  try {
    Masks.reserve(Texts.size());
    for (const std::string& text : Texts) Masks.push_back(std::make_unique<TMask>(text));
  } catch (...) {
    FreeMasks(Masks);
    throw;
  }
}

bool TTWHelper::MatchesAny(const TTWArrayMasks& Masks, const char* Name, size_t Length) {
  for (const auto& mask : Masks)
    if (mask && mask->Matches(Name, Length)) return true;
  return false;
}

bool TTWHelper::MatchesAny(const TTWArrayMasks& Masks, const std::string& Name) {
  return MatchesAny(Masks, Name.data(), Name.size());
}

void TTWHelper::FreeMasks(TTWArrayMasks& Masks) {
  Masks.clear();
  Masks.shrink_to_fit();
}

TTWCommandLine TTWHelper::ParseCommandLine(const std::vector<std::string>& Args) {
  TTWCommandLine result;
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::string& arg = Args[i];
    if (arg == "/f") {
      // The next argument is the path whatever it looks like; "/f" last empties it.
      result.ConfigPath = (i + 1 < Args.size()) ? Args[++i] : std::string();
    } else if (arg == "/autorun") {
      result.AutoRun = true;
    } else {
      throw ECommandLineError("Unknown argument \"" + arg + "\". Accepted: /f FILE, /autorun");
    }
  }
  if (result.ConfigPath.empty()) {
    const TTWConfigLocation where = GetDefaultConfigLocation();
    result.ConfigPath = where.FileName;
    result.ConfigInUserFolder = where.InUserFolder;
  }
  return result;
}
