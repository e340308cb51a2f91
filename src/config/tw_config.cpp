#include "config/tw_config.h"

#include <cstdint>
#include <utility>

#include "app/tw_i18n.h"
#include "platform/tw_assert.h"
#include "platform/tw_platform.h"
#include "search/tw_browsers.h"
#include "search/tw_paths.h"
#include "xml/LibXmlParser.h"
#include "xml/xml_writer.h"

TTWConfig* Config = nullptr;

namespace {

const char* const kFileSearchMasks[] = {
    "*.---",        "*.$$$",       "*.??~",      "*.?~?",
    "*._mp",        "*.~*",        "*.001",      "*.002",
    "*.alt",        "*.bak",       "*.cb",       "*.cln",
    "*.cor",        "*.cpy",       "*.dmp",      "*.err",
    "*.fix",        "*.fts",       "*.gid",      "*.nav",
    "*.old",        "*.prv",       "*.qdk",      "*.sc0",
    "*.sik",        "*.syd",       "*.tmp",      "*.ubk",
    "*.umb",        "*.ump",       "*~.*",       "~*.*",
    "0???????.nch", "bootlog.txt", "chkdsk.chk", "Deleted Items.dbx",
    "drwtsn32.log", "file*.chk",   "modem.log",  "mscreate.dir",
    "scandisk.log", "swapfile.*",  "Thumbs.db",
};

const char* const kFileExceptions[] = {
    "AUTOEXEC.BAT",
    "boot.ini",
    "CONFIG.SYS",
    "DATA.BAK",
    "Data.sav",
    "EDB.chk",
    "INFO2",
    "INSTAL.log",
    "INSTALL.log",
    "IO.SYS",
    "MSDOS.SYS",
    "MSFORMS.exd",
    "NTGRDT.log",
    "OPA??.bak",
    "REFEDIT.EXD",
    "Script.bak",
    "SETUP LOG File.log",
    "System.bak",
    "System.old",
    "UNINSTAL.log",
    "UNINSTALL.log",
    "UNPATCH.bak",
    "User.old",
    "WBEMESS.log",
    "Win.bak",
    "Win.old",
    "WNCCDCTL.log",
};

const char* const kDirectoryExceptions[] = {"$hf_mig$", "winsxs"};

template <size_t N>
void Fill(TStringList& List, const char* const (&Items)[N]) {
  List.clear();
  List.reserve(N);
  for (const char* item : Items) List.emplace_back(item);
}

// --- Reading -----------------------------------------------------------------------

bool IsHexDigit(char C, uint32_t& Value) {
  if (C >= '0' && C <= '9') {
    Value = static_cast<uint32_t>(C - '0');
  } else if (C >= 'a' && C <= 'f') {
    Value = static_cast<uint32_t>(C - 'a' + 10);
  } else if (C >= 'A' && C <= 'F') {
    Value = static_cast<uint32_t>(C - 'A' + 10);
  } else {
    return false;
  }
  return true;
}

// A 32-bit signed number: leading spaces, an optional sign, then decimal digits or
// hexadecimal digits after "$", "x", "X", "0x" or "0X", and nothing after the digits.
bool ParseNumber(const std::string& Text, int32_t& Result) {
  size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  bool hex = false;
  if (i < Text.size() && (Text[i] == '$' || Text[i] == 'x' || Text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= Text.size()) return false;
  uint64_t value = 0;
  for (; i < Text.size(); ++i) {
    uint32_t digit = 0;
    if (hex) {
      if (!IsHexDigit(Text[i], digit)) return false;
      value = value * 16 + digit;
      if (value > 0xFFFFFFFFull) return false;
    } else {
      if (Text[i] < '0' || Text[i] > '9') return false;
      value = value * 10 + static_cast<uint32_t>(Text[i] - '0');
      if (value > 0x80000000ull) return false;
    }
  }
  if (!hex && !negative && value > 0x7FFFFFFFull) return false;
  uint32_t bits = static_cast<uint32_t>(value);
  if (negative) bits = 0u - bits;
  Result = static_cast<int32_t>(bits);
  return true;
}

// The low byte of the number in Value, or Default when Value is not a number.
uint8_t FlagValue(const std::string& Value, uint8_t Default) {
  int32_t n = 0;
  if (!ParseNumber(Value, n)) return Default;
  return static_cast<uint8_t>(static_cast<uint32_t>(n) & 0xFFu);
}

// A reference such as "&#0;" can put a NUL into a text. The file cannot hold one, so such
// a setting could never be saved again: it is not taken.
bool Storable(const std::string& Text) {
  return Text.find('\0') == std::string::npos;
}

bool IsTag(TPartKind Kind) {
  return Kind == pkStartTag || Kind == pkEmptyTag;
}

struct TFlagName {
  const char* Name;
  TTWBool* Flag;
};

// Runs the attributes, in the reader's sorted order, over a table of flags. False at the
// first attribute that no entry names, which Unknown then holds.
template <size_t N>
bool ReadFlags(const TAttrList& Attrs, const TFlagName (&Table)[N], std::string& Unknown) {
  for (int i = 0; i < Attrs.Count(); ++i) {
    std::string name = Attrs.NameAt(i);
    TTWBool* flag = nullptr;
    for (const TFlagName& entry : Table)
      if (name == entry.Name) flag = entry.Flag;
    if (!flag) {
      Unknown = std::move(name);
      return false;
    }
    *flag = FlagValue(Attrs.ValueAt(i), *flag);
  }
  return true;
}

// Reads the body of the root into one record. Every function returns false to stop the
// whole reading at once; what was read before stays, and Stop tells where it happened.
class TConfigReader {
 public:
  TConfigReader(TXmlParser& Parser, TTWRecordConfig& Rec, TTWReadStop& Stop)
      : P(Parser), R(Rec), S(Stop) {}

  bool Document() {
    while (P.NextPart()) {
      if (!IsTag(P.PartKind())) continue;
      if (P.PartName() != "TDW") return Stopped(TTWReadStop::Element, P.PartName(), "");
      if (!RootAttributes()) return false;
      if (P.PartKind() == pkStartTag && !Body()) return false;
    }
    return true;
  }

 private:
  // Notes the first reason to stop (the innermost one, for a file cut off) and stops.
  bool Stopped(TTWReadStop::TKind Kind, const std::string& Name, const std::string& Parent) {
    if (S.Kind == TTWReadStop::None) {
      S.Kind = Kind;
      S.Line = Kind == TTWReadStop::CutOff ? 0 : P.PartLine();
      S.Name = Name;
      S.Parent = Parent;
    }
    return false;
  }
  bool CutOff(const std::string& Element) { return Stopped(TTWReadStop::CutOff, Element, ""); }
  bool UnknownAttribute(const std::string& Name) {
    return Stopped(TTWReadStop::Attribute, Name, P.PartName());
  }
  // Any attribute on an element that takes none.
  bool NoAttributes() {
    if (P.PartAttributes().Count() == 0) return true;
    return UnknownAttribute(P.PartAttributes().NameAt(0));
  }

  bool RootAttributes() {
    const TAttrList& attrs = P.PartAttributes();
    for (int i = 0; i < attrs.Count(); ++i) {
      std::string name = attrs.NameAt(i);
      if (name == "Language") {
        std::string value = attrs.ValueAt(i);
        if (!value.empty() && Storable(value)) R.Language = std::move(value);
      } else if (name != "Version") {
        return UnknownAttribute(name);
      }
    }
    return true;
  }

  bool Body() {
    while (P.NextPart()) {
      TPartKind kind = P.PartKind();
      if (kind == pkEndTag && P.PartName() == "TDW") return true;
      if (!IsTag(kind)) continue;
      const std::string& name = P.PartName();
      bool ok = false;
      if (name == "FileSearchMasks") {
        ok = FileSearchMasks();
      } else if (name == "Exceptions") {
        ok = Exceptions();
      } else if (name == "DeleteFiles") {
        ok = DeleteFiles();
      } else if (name == "Browsers") {
        ok = Browsers();
      } else if (name == "AdditionalOptions") {
        ok = AdditionalOptions();
      } else if (name == "Drives") {
        ok = Drives();
      } else {
        return Stopped(TTWReadStop::Element, name, "TDW");
      }
      if (!ok) return false;
    }
    return CutOff("TDW");
  }

  // A mask's text is taken when its element closes, when the list ends or when reading
  // stops there, as it was read. Only a file that ends inside the mask loses it: its
  // text may be cut short ("*.~*" cut to "*" would match every file).
  bool FileSearchMasks() {
    if (!NoAttributes()) return false;
    R.FileSearchMasks.clear();
    if (P.PartKind() == pkEmptyTag) return true;
    bool open = false;
    TStringList pending;
    while (P.NextPart()) {
      switch (P.PartKind()) {
        case pkStartTag:
          if (P.PartName() != "FileMask") {
            Commit(pending, R.FileSearchMasks);
            return Stopped(TTWReadStop::Element, P.PartName(), "FileSearchMasks");
          }
          open = true;
          break;
        case pkContent:
          if (!open) return Stopped(TTWReadStop::Text, "", "FileSearchMasks");
          if (Storable(P.PartContent())) pending.push_back(P.PartContent());
          break;
        case pkEndTag:
          if (P.PartName() == "FileSearchMasks") {
            Commit(pending, R.FileSearchMasks);
            return true;
          }
          if (P.PartName() == "FileMask") {
            if (!open) return Stopped(TTWReadStop::EndTag, "FileMask", "FileSearchMasks");
            open = false;
            Commit(pending, R.FileSearchMasks);
          }
          break;
        default:
          break;
      }
    }
    return CutOff(open ? "FileMask" : "FileSearchMasks");
  }

  bool Exceptions() {
    if (!NoAttributes()) return false;
    R.Exceptions.FileMasks.clear();
    R.Exceptions.DirectoryMasks.clear();
    if (P.PartKind() == pkEmptyTag) return true;
    bool file_open = false, dir_open = false;
    TStringList files, dirs;
    auto commit_all = [&] {
      Commit(files, R.Exceptions.FileMasks);
      Commit(dirs, R.Exceptions.DirectoryMasks);
    };
    while (P.NextPart()) {
      switch (P.PartKind()) {
        case pkStartTag:
          if (P.PartName() == "FileMask") {
            file_open = true;
          } else if (P.PartName() == "DirectoryMask") {
            dir_open = true;
          } else {
            commit_all();
            return Stopped(TTWReadStop::Element, P.PartName(), "Exceptions");
          }
          break;
        case pkContent:
          if (file_open) {
            if (Storable(P.PartContent())) files.push_back(P.PartContent());
          } else if (dir_open) {
            if (Storable(P.PartContent())) dirs.push_back(P.PartContent());
          } else {
            return Stopped(TTWReadStop::Text, "", "Exceptions");
          }
          break;
        case pkEndTag:
          if (P.PartName() == "Exceptions") {
            commit_all();
            return true;
          }
          if (P.PartName() == "FileMask") {
            if (!file_open) {
              commit_all();
              return Stopped(TTWReadStop::EndTag, "FileMask", "Exceptions");
            }
            file_open = false;
            Commit(files, R.Exceptions.FileMasks);
          } else if (P.PartName() == "DirectoryMask") {
            if (!dir_open) {
              commit_all();
              return Stopped(TTWReadStop::EndTag, "DirectoryMask", "Exceptions");
            }
            dir_open = false;
            Commit(dirs, R.Exceptions.DirectoryMasks);
          }
          break;
        default:
          break;
      }
    }
    return CutOff(file_open ? "FileMask" : dir_open ? "DirectoryMask" : "Exceptions");
  }

  static void Commit(TStringList& Pending, TStringList& List) {
    for (std::string& mask : Pending) List.push_back(std::move(mask));
    Pending.clear();
  }

  // Parts up to the end tag Name, in which no element may appear.
  bool NoChildren(const std::string& Name) {
    if (P.PartKind() == pkEmptyTag) return true;
    while (P.NextPart()) {
      if (IsTag(P.PartKind())) return Stopped(TTWReadStop::Element, P.PartName(), Name);
      if (P.PartKind() == pkEndTag && P.PartName() == Name) return true;
    }
    return CutOff(Name);
  }

  bool DeleteFiles() {
    TTWRecordDeleteFiles& d = R.DeleteFiles;
    const TAttrList& attrs = P.PartAttributes();
    for (int i = 0; i < attrs.Count(); ++i) {
      std::string name = attrs.NameAt(i);
      std::string value = attrs.ValueAt(i);
      // The method is only ever raised by the file, never set back to removal.
      if (name == "MoveToRecycleBin") {
        if (FlagValue(value, d.DeleteMethod == 1 ? 1 : 0) != 0) d.DeleteMethod = 1;
      } else if (name == "Shred") {
        if (FlagValue(value, d.DeleteMethod == 2 ? 1 : 0) != 0) d.DeleteMethod = 2;
      } else if (name == "ConformationDialog") {
        d.ConformationDialog = FlagValue(value, d.ConformationDialog);
      } else {
        return UnknownAttribute(name);
      }
    }
    return NoChildren("DeleteFiles");
  }

  bool Browsers() {
    TTWRecordBrowsers& b = R.Browsers;
    const TFlagName flags[] = {{"InternetExplorer", &b.InternetExplorer},
                               {"Firefox", &b.Firefox},
                               {"Opera", &b.Opera},
                               {"Safari", &b.Safari},
                               {"Chrome", &b.Chrome}};
    std::string unknown;
    if (!ReadFlags(P.PartAttributes(), flags, unknown)) return UnknownAttribute(unknown);
    if (P.PartKind() == pkEmptyTag) return true;
    const TFlagName options[] = {{"Cookies", &b.Options.Cookies},
                                 {"Cache", &b.Options.Cache},
                                 {"History", &b.Options.History}};
    while (P.NextPart()) {
      TPartKind kind = P.PartKind();
      if (kind == pkEndTag && P.PartName() == "Browsers") return true;
      if (!IsTag(kind)) continue;
      if (P.PartName() != "Options") return Stopped(TTWReadStop::Element, P.PartName(), "Browsers");
      if (!ReadFlags(P.PartAttributes(), options, unknown)) return UnknownAttribute(unknown);
      if (!NoChildren("Options")) return false;
    }
    return CutOff("Browsers");
  }

  bool AdditionalOptions() {
    TTWRecordAdditionalOptions& a = R.AdditionalOptions;
    const TFlagName flags[] = {
        {"FileSearchMasks", &a.FileSearchMasks}, {"TemporaryDirectory", &a.TemporaryDirectory},
        {"RecentDocuments", &a.RecentDocuments}, {"RecycleBin", &a.RecycleBin},
        {"OldUpdateFiles", &a.OldUpdateFiles},   {"SystemLog", &a.SystemLog}};
    std::string unknown;
    if (!ReadFlags(P.PartAttributes(), flags, unknown)) return UnknownAttribute(unknown);
    return NoChildren("AdditionalOptions");
  }

  bool Drives() {
    if (!NoAttributes()) return false;
    for (TTWDriveEntry& e : R.Drives.Entries) e.Selected = 0;
    if (P.PartKind() == pkEmptyTag) return true;
    bool open = false;
    std::string noted;
    while (P.NextPart()) {
      switch (P.PartKind()) {
        case pkStartTag:
          if (P.PartName() != "Drive") return Stopped(TTWReadStop::Element, P.PartName(), "Drives");
          open = true;
          break;
        case pkContent: {
          if (!open) return Stopped(TTWReadStop::Text, "", "Drives");
          char c = P.PartContent().empty() ? '\0' : P.PartContent()[0];
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
          // A long text must not make the noted letters grow without bound.
          if (noted.find(c) == std::string::npos) noted += c;
          break;
        }
        case pkEndTag:
          if (P.PartName() == "Drives") {
            for (char letter : noted)
              for (TTWDriveEntry& e : R.Drives.Entries)
                if (e.Letter == letter) e.Selected = 1;
            return true;
          }
          if (P.PartName() == "Drive") {
            if (!open) return Stopped(TTWReadStop::EndTag, "Drive", "Drives");
            open = false;
          }
          break;
        default:
          break;
      }
    }
    return CutOff(open ? "Drive" : "Drives");
  }

  TXmlParser& P;
  TTWRecordConfig& R;
  TTWReadStop& S;
};

// --- Writing -----------------------------------------------------------------------

std::string Num(TTWBool Flag) {
  return std::to_string(static_cast<unsigned>(Flag));
}

void WriteList(TXMLWriter& W, const char* Element, const TStringList& List) {
  for (const std::string& item : List) {
    W.StartTag(std::string(Element));
    W.AddText(item);
    W.EndTag();
  }
}

std::string BuildDocument(const TTWRecordConfig& R) {
  TXMLWriter w(4096, 1);
  w.StartTag(std::string("TDW"));
  w.AddAttribute(std::string("Version"), std::string("1.0.0"));
  w.AddAttribute(std::string("Language"), R.Language);

  w.StartTag(std::string("FileSearchMasks"));
  WriteList(w, "FileMask", R.FileSearchMasks);
  w.EndTag();

  w.StartTag(std::string("Exceptions"));
  WriteList(w, "FileMask", R.Exceptions.FileMasks);
  WriteList(w, "DirectoryMask", R.Exceptions.DirectoryMasks);
  w.EndTag();

  w.StartTag(std::string("DeleteFiles"));
  if (R.DeleteFiles.DeleteMethod == 1) w.AddAttribute(std::string("MoveToRecycleBin"), "1");
  if (R.DeleteFiles.DeleteMethod == 2) w.AddAttribute(std::string("Shred"), "1");
  w.AddAttribute(std::string("ConformationDialog"), Num(R.DeleteFiles.ConformationDialog));
  w.EndTag();

  const TTWRecordBrowsers& b = R.Browsers;
  w.StartTag(std::string("Browsers"));
  w.AddAttribute(std::string("InternetExplorer"), Num(b.InternetExplorer));
  w.AddAttribute(std::string("Firefox"), Num(b.Firefox));
  w.AddAttribute(std::string("Opera"), Num(b.Opera));
  w.AddAttribute(std::string("Safari"), Num(b.Safari));
  w.AddAttribute(std::string("Chrome"), Num(b.Chrome));
  w.StartTag(std::string("Options"));
  w.AddAttribute(std::string("Cookies"), Num(b.Options.Cookies));
  w.AddAttribute(std::string("Cache"), Num(b.Options.Cache));
  w.AddAttribute(std::string("History"), Num(b.Options.History));
  w.EndTag();
  w.EndTag();

  const TTWRecordAdditionalOptions& a = R.AdditionalOptions;
  w.StartTag(std::string("AdditionalOptions"));
  w.AddAttribute(std::string("FileSearchMasks"), Num(a.FileSearchMasks));
  w.AddAttribute(std::string("TemporaryDirectory"), Num(a.TemporaryDirectory));
  w.AddAttribute(std::string("RecentDocuments"), Num(a.RecentDocuments));
  w.AddAttribute(std::string("RecycleBin"), Num(a.RecycleBin));
  w.AddAttribute(std::string("OldUpdateFiles"), Num(a.OldUpdateFiles));
  w.AddAttribute(std::string("SystemLog"), Num(a.SystemLog));
  w.EndTag();

  w.StartTag(std::string("Drives"));
  for (const TTWDriveEntry& e : R.Drives.Entries) {
    if (e.Selected == 0) continue;
    w.StartTag(std::string("Drive"));
    w.AddText(std::string(1, e.Letter));
    w.EndTag();
  }
  w.EndTag();

  w.EndTag();
  return w.AsAnsiText();
}

}  // namespace

TTWConfig::TTWConfig(std::string FileName_, bool MakeFolder_)
    : FileName(std::move(FileName_)), MakeFolder(MakeFolder_) {
  Reset();
}

void TTWConfig::Reset() {
  {
    TTWBrowsers browsers;
    Installed.InternetExplorer = browsers.IsIEInstalled() ? 1 : 0;
    Installed.Firefox = browsers.IsFirefoxInstalled() ? 1 : 0;
    Installed.Opera = browsers.IsOperaInstalled() ? 1 : 0;
    Installed.Safari = browsers.IsSafariInstalled() ? 1 : 0;
    Installed.Chrome = browsers.IsChromeInstalled() ? 1 : 0;
  }
  FillDefaults(Defaults);
  FillDefaults(Current);
}

void TTWConfig::FillDefaults(TTWRecordConfig& Rec) {
  Rec.Language.clear();
  Rec.Drives.Entries.clear();

  Rec.Language = CurrentLanguage();

  Fill(Rec.FileSearchMasks, kFileSearchMasks);
  Fill(Rec.Exceptions.FileMasks, kFileExceptions);
  Fill(Rec.Exceptions.DirectoryMasks, kDirectoryExceptions);

  Rec.DeleteFiles.DeleteMethod = 0;
  Rec.DeleteFiles.ConformationDialog = 1;

  Rec.Browsers.InternetExplorer = Installed.InternetExplorer;
  Rec.Browsers.Firefox = Installed.Firefox;
  Rec.Browsers.Opera = Installed.Opera;
  Rec.Browsers.Safari = Installed.Safari;
  Rec.Browsers.Chrome = Installed.Chrome;
  Rec.Browsers.Options.Cookies = 1;
  Rec.Browsers.Options.Cache = 1;
  Rec.Browsers.Options.History = 1;

  Rec.AdditionalOptions.FileSearchMasks = 1;
  Rec.AdditionalOptions.TemporaryDirectory = 1;
  Rec.AdditionalOptions.RecentDocuments = 1;
  Rec.AdditionalOptions.RecycleBin = 1;
  Rec.AdditionalOptions.OldUpdateFiles = 1;
  Rec.AdditionalOptions.SystemLog = 1;

  TW_ASSERT(Rec.Drives.Entries.empty(), "Assertion failure", "tw_config");
  // Only the drive letter of the Windows directory is used; an empty answer selects none.
  std::string windows = Platform().GetWindowsDirectory();
  bool has_windows = !windows.empty();
  char w = has_windows ? windows[0] : '\0';
  // Built once at full size, so entry addresses stay valid for the object's life.
  Rec.Drives.Entries.reserve(26);
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (!TTWPaths::IsListedDrive(letter)) continue;
    TTWDriveEntry entry;
    entry.Letter = letter;
    entry.Selected = has_windows && letter == w ? 1 : 0;
    Rec.Drives.Entries.push_back(entry);
  }
}

void TTWConfig::Load() {
  LastReadStop = TTWReadStop();
  try {
    TXmlParser parser;
    if (!parser.LoadDocument(FileName)) return;
    parser.Rewind();
    TConfigReader(parser, Current, LastReadStop).Document();
  } catch (...) {
    // A file that cannot be read leaves what was read so far; nothing is reported.
  }
}

std::string TTWConfig::AsText() const {
  return BuildDocument(Current);
}

void TTWConfig::Save() {
  try {
    // The whole text is built before the file is touched, and only a complete document
    // replaces the old file: a failure keeps the previous settings on disk.
    std::string text = BuildDocument(Current);
    const std::string tail = "</TDW>\r\n";
    if (text.size() < tail.size() || text.compare(text.size() - tail.size(), tail.size(), tail))
      return;
    if (MakeFolder) {
      const size_t end = FileName.find_last_of(Platform().HostPathDelimiter());
      if (end != std::string::npos && end > 0) Platform().CreateFolders(FileName.substr(0, end));
    }
    Platform().ReplaceFile(FileName, text);
  } catch (...) {
    // Saving never reports anything.
  }
}
