#include "xml/LibXmlParser.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <string_view>

#include "platform/tw_platform.h"

// Every scan below is bounded by Len, the index of the first zero byte of the buffer: the
// text of a document ends there, whatever follows it in the file.

namespace {

constexpr size_t npos = std::string_view::npos;

bool IsBlank(char C) {
  return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

bool IsAttrNameStart(unsigned char C) {
  return C == ':' || C == '_' || (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') ||
         (C >= 192 && C <= 214) || (C >= 216 && C <= 246) || C >= 248;
}

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// "#65", "#x41", "#X41": the character's code modulo 256. False when the digits are not
// a number (none, or anything else among them).
bool NumericReference(std::string_view Name, char& Out) {
  if (Name.size() < 2 || Name[0] != '#') return false;
  unsigned Code = 0;
  if (Name[1] == 'x' || Name[1] == 'X') {
    if (Name.size() < 3) return false;
    for (size_t I = 2; I < Name.size(); ++I) {
      int V = HexValue(Name[I]);
      if (V < 0) return false;
      Code = (Code * 16 + static_cast<unsigned>(V)) & 0xFF;
    }
  } else {
    for (size_t I = 1; I < Name.size(); ++I) {
      if (!IsDigit(Name[I])) return false;
      Code = (Code * 10 + static_cast<unsigned>(Name[I] - '0')) & 0xFF;
    }
  }
  Out = static_cast<char>(static_cast<unsigned char>(Code));
  return true;
}

bool PredefinedEntity(std::string_view Name, char& Out) {
  if (Name == "lt")
    Out = '<';
  else if (Name == "gt")
    Out = '>';
  else if (Name == "amp")
    Out = '&';
  else if (Name == "apos")
    Out = '\'';
  else if (Name == "quot")
    Out = '"';
  else
    return false;
  return true;
}

// Unicode code points of Windows-1252 positions 128 to 159; 0 marks the positions the
// code page leaves unassigned, which stand for the code of the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

unsigned char ToCp1252(unsigned Code) {
  if (Code < 128 || (Code >= 160 && Code <= 255)) return static_cast<unsigned char>(Code);
  if (Code < 160) {
    if (kCp1252High[Code - 128] == 0) return static_cast<unsigned char>(Code);
    return 191;
  }
  for (unsigned I = 0; I < 32; ++I)
    if (kCp1252High[I] == Code) return static_cast<unsigned char>(128 + I);
  return 191;
}

int LeadingOnes(unsigned char B) {
  int N = 0;
  while (N < 8 && (B & (0x80u >> N))) ++N;
  return N;
}

void AppendUtf8AsCp1252(std::string_view Text, std::string& Out) {
  size_t I = 0;
  const size_t N = Text.size();
  while (I < N) {
    auto B = static_cast<unsigned char>(Text[I]);
    unsigned Code;
    if (B < 128) {
      Code = B;
      I += 1;
    } else if ((B & 0xE0) == 0xC0 && N - I >= 2) {
      Code = ((B & 0x1Fu) << 6) | (static_cast<unsigned char>(Text[I + 1]) & 0x3Fu);
      I += 2;
    } else if ((B & 0xF0) == 0xE0 && N - I >= 3) {
      Code = ((B & 0x0Fu) << 12) | ((static_cast<unsigned char>(Text[I + 1]) & 0x3Fu) << 6) |
             (static_cast<unsigned char>(Text[I + 2]) & 0x3Fu);
      I += 3;
    } else {
      Code = 191;
      int Ones = LeadingOnes(B);
      size_t Skip = Ones == 8 ? 1 : static_cast<size_t>(Ones);
      I += std::min(Skip, N - I);
    }
    Out.push_back(static_cast<char>(ToCp1252(Code)));
  }
}

// Trims blanks, tabs, CRs and LFs at both ends and turns every inner run into one blank.
std::string NormaliseWhitespace(const std::string& S) {
  std::string Out;
  Out.reserve(S.size());
  bool Pending = false;
  for (char C : S) {
    if (IsBlank(C)) {
      Pending = !Out.empty();
      continue;
    }
    if (Pending) Out.push_back(' ');
    Pending = false;
    Out.push_back(C);
  }
  return Out;
}

void AppendTranslated(std::string_view Raw, bool Utf8, std::string& Out) {
  if (Utf8)
    AppendUtf8AsCp1252(Raw, Out);
  else
    Out.append(Raw);
}

std::string ProcessAttributeValue(const std::string& Raw, bool Utf8) {
  // Literal runs are translated; what a reference yields is already a code-page byte and
  // is taken as it is (translating it again would merge it with the bytes after it).
  std::string Out;
  Out.reserve(Raw.size());
  size_t Pos = 0, Run = 0;
  auto Flush = [&](size_t To) {
    if (To > Run) AppendTranslated(std::string_view(Raw).substr(Run, To - Run), Utf8, Out);
  };
  while (Pos < Raw.size()) {
    if (Raw[Pos] != '&') {
      ++Pos;
      continue;
    }
    size_t Semi = Raw.find(';', Pos + 1);
    if (Semi == std::string::npos) break;  // the rest stays as it is
    std::string_view Ref = std::string_view(Raw).substr(Pos + 1, Semi - Pos - 1);
    char C;
    if (PredefinedEntity(Ref, C) || NumericReference(Ref, C)) {
      Flush(Pos);
      Out.push_back(C);
      Run = Semi + 1;
    }
    Pos = Semi + 1;  // any other reference stays as written
  }
  Flush(Raw.size());
  for (char& Ch : Out)
    if (Ch == '\t' || Ch == '\r' || Ch == '\n') Ch = ' ';
  return Out;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TAttrList

namespace {
bool NameLess(const TAttr& A, const std::string& Name) {
  return std::string_view(A.Name) < std::string_view(Name);  // bytes, as unsigned
}
}  // namespace

std::string TAttrList::NameAt(int Index) const {
  if (Index < 0 || Index >= Count()) return {};
  return Items[static_cast<size_t>(Index)].Name;
}

std::string TAttrList::ValueAt(int Index) const {
  if (Index < 0 || Index >= Count()) return {};
  return Items[static_cast<size_t>(Index)].Value;
}

int TAttrList::IndexOf(const std::string& Name) const {
  auto It = std::lower_bound(Items.begin(), Items.end(), Name, NameLess);
  if (It == Items.end() || It->Name != Name) return -1;
  return static_cast<int>(It - Items.begin());
}

std::string TAttrList::ValueOf(const std::string& Name) const {
  int I = IndexOf(Name);
  return I < 0 ? std::string() : Items[static_cast<size_t>(I)].Value;
}

void TAttrList::Add(std::string Name, std::string Value) {
  // After the last smaller name, so before any equal one.
  auto It = std::lower_bound(Items.begin(), Items.end(), Name, NameLess);
  Items.insert(It, TAttr{std::move(Name), std::move(Value)});
}

void TAttrList::Assign(std::vector<TAttr> List) {
  // Adding one by one puts a later equal name before an earlier one: reverse, then a
  // stable sort keeps that order among equals.
  std::reverse(List.begin(), List.end());
  std::stable_sort(List.begin(), List.end(), [](const TAttr& A, const TAttr& B) {
    return std::string_view(A.Name) < std::string_view(B.Name);
  });
  Items = std::move(List);
}

// ---------------------------------------------------------------------------------------
// TXmlParser

struct TXmlParser::TImpl {
  std::string Buffer = std::string(1, '\0');  // the document's bytes and one zero byte
  size_t Len = 0;                             // index of the first zero byte
  bool WhitespaceRule = true;
  size_t Next = 0;     // where the next part starts
  bool Ended = false;  // NextPart has reported the end
  size_t PartStart = 0, PartEnd = 0;
  // Last search for ";" in character data: from SemiFrom, found at SemiPos (or npos).
  size_t SemiFrom = 0, SemiPos = npos;
  bool SemiValid = false;

  std::string_view Text() const { return std::string_view(Buffer.data(), Len); }
  bool At(size_t Pos, std::string_view S) const {
    return Pos <= Len && Len - Pos >= S.size() && Text().compare(Pos, S.size(), S) == 0;
  }
  size_t Find(std::string_view S, size_t From) const {
    return From > Len ? npos : Text().find(S, From);
  }
  size_t FindChar(char C, size_t From, size_t Limit) const {
    if (From >= Limit) return npos;
    const void* P = std::memchr(Buffer.data() + From, C, Limit - From);
    return P ? static_cast<size_t>(static_cast<const char*>(P) - Buffer.data()) : npos;
  }
  // Searches only move forward within a pass, so a cached answer that lies ahead of
  // From (or a cached "none") is still right; this keeps many "&" without ";" linear.
  size_t NextSemicolon(size_t From) {
    if (!SemiValid || From < SemiFrom || (SemiPos != npos && From > SemiPos)) {
      SemiFrom = From;
      SemiPos = FindChar(';', From, Len);
      SemiValid = true;
    }
    return SemiPos;
  }
  // Last character of a construct whose closing sequence starts at Close (Size long),
  // or of the whole text when it is missing.
  size_t EndOf(size_t Close, size_t Size) const {
    return Close == npos ? (Len > 0 ? Len - 1 : 0) : Close + Size - 1;
  }
  size_t ParseAttributes(size_t From, size_t Limit, std::vector<TAttr>& Out) const;
  size_t DocTypeEnd(size_t From) const;
};

size_t TXmlParser::TImpl::ParseAttributes(size_t From, size_t Limit,
                                          std::vector<TAttr>& Out) const {
  enum { ExpectName, ExpectEquals, ExpectQuote } State = ExpectName;
  std::string Name;
  size_t Pos = From;
  while (Pos < Limit) {
    char C = Buffer[Pos];
    if (C == '>') return Pos;
    if (IsBlank(C)) {
      ++Pos;
      continue;
    }
    switch (State) {
      case ExpectName: {
        if (!IsAttrNameStart(static_cast<unsigned char>(C))) return Pos;
        size_t Start = Pos;
        while (Pos < Limit && !IsBlank(Buffer[Pos]) && Buffer[Pos] != '/' && Buffer[Pos] != '=' &&
               Buffer[Pos] != '>')
          ++Pos;
        Name.assign(Buffer, Start, Pos - Start);
        State = ExpectEquals;
        break;
      }
      case ExpectEquals:
        if (C == '=') State = ExpectQuote;
        ++Pos;
        break;
      case ExpectQuote:
        if (C == '"' || C == '\'') {
          size_t Close = FindChar(C, Pos + 1, Limit);
          size_t ValueEnd = Close == npos ? Limit : Close;
          Out.push_back(TAttr{Name, Buffer.substr(Pos + 1, ValueEnd - Pos - 1)});
          Pos = Close == npos ? Limit : Close + 1;
          State = ExpectName;
        } else {
          ++Pos;
        }
        break;
    }
  }
  return Pos;
}

// The closing ">" of a document type declaration, after any internal subset; quoted
// literals and comments may hold "[", "]" or ">" without ending anything.
size_t TXmlParser::TImpl::DocTypeEnd(size_t From) const {
  const size_t Missing = Len > 0 ? Len - 1 : 0;
  bool InSubset = false;
  size_t Pos = From;
  while (Pos < Len) {
    char C = Buffer[Pos];
    if (C == '"' || C == '\'') {
      size_t Close = FindChar(C, Pos + 1, Len);
      if (Close == npos) return Missing;
      Pos = Close + 1;
    } else if (InSubset && At(Pos, "<!--")) {
      size_t Close = Find("-->", Pos + 4);
      if (Close == npos) return Missing;
      Pos = Close + 3;
    } else if (InSubset && At(Pos, "<?")) {
      size_t Close = Find("?>", Pos + 2);
      if (Close == npos) return Missing;
      Pos = Close + 2;
    } else if (!InSubset && C == '[') {
      InSubset = true;
      ++Pos;
    } else if (InSubset && C == ']') {
      InSubset = false;
      ++Pos;
    } else if (!InSubset && C == '>') {
      return Pos;
    } else {
      ++Pos;
    }
  }
  return Missing;
}

TXmlParser::TXmlParser() : Impl(std::make_unique<TImpl>()) {}

TXmlParser::~TXmlParser() = default;

bool TXmlParser::LoadDocument(const std::string& FileName) {
  std::string Data;
  bool Ok = false;
  try {
    Ok = Platform().ReadWholeFile(FileName, Data);
  } catch (const std::exception&) {
    Ok = false;
  }
  if (!Ok) {
    LoadFromBuffer(nullptr, 0);
    return false;
  }
  LoadFromBuffer(Data.data(), Data.size());
  FSourceName = FileName;
  return true;
}

void TXmlParser::LoadFromBuffer(const char* Data, size_t Size) {
  TImpl& I = *Impl;
  I.Buffer.clear();
  I.Buffer.reserve(Size + 1);
  if (Size > 0) I.Buffer.append(Data, Size);
  I.Buffer.push_back('\0');
  I.Len = std::strlen(I.Buffer.c_str());
  I.WhitespaceRule = true;
  FVersion.clear();
  FEncoding.clear();
  FStandalone = false;
  FSourceName.clear();
  Rewind();
}

void TXmlParser::Rewind() {
  // Every pass starts untranslated until the document's declaration says otherwise, so
  // a pass never depends on an earlier pass or an earlier document.
  FDocumentEncoding.clear();
  FPartKind = pkNone;
  FPartName.clear();
  FPartContent.clear();
  FPartAttributes.Clear();
  Impl->Next = 0;
  Impl->Ended = false;
  Impl->PartStart = Impl->PartEnd = 0;
  Impl->SemiValid = false;
}

int TXmlParser::PartLine() const {
  if (FPartKind == pkNone) return 0;
  const size_t Upto = std::min(Impl->PartStart, Impl->Len);
  size_t Lines =
      1 + static_cast<size_t>(std::count(Impl->Buffer.begin(), Impl->Buffer.begin() + Upto, '\n'));
  return Lines > INT_MAX ? INT_MAX : static_cast<int>(Lines);
}

bool TXmlParser::NextPart() {
  TImpl& I = *Impl;
  const std::string& B = I.Buffer;
  const bool Utf8 = FDocumentEncoding == "UTF-8";
  for (;;) {
    const size_t S = I.Next;
    if (I.Ended || S >= I.Len) {
      I.Ended = true;
      I.Next = I.Len;
      FPartKind = pkNone;
      FPartName.clear();
      FPartContent.clear();
      FPartAttributes.Clear();
      return false;
    }
    FPartName.clear();
    FPartContent.clear();
    FPartAttributes.Clear();
    std::vector<TAttr> Attrs;
    size_t End;

    if (I.At(S, "<?xml") && S + 5 < I.Len && IsBlank(B[S + 5])) {
      FPartKind = pkDeclaration;
      size_t P = I.ParseAttributes(S + 5, I.Len, Attrs);
      FPartAttributes.Assign(std::move(Attrs));
      End = I.EndOf(I.Find("?>", P), 2);
      FVersion = FPartAttributes.ValueOf("version");
      FEncoding = FPartAttributes.ValueOf("encoding");
      FStandalone = FPartAttributes.ValueOf("standalone") == "yes";
      if (FPartAttributes.IndexOf("encoding") >= 0) {
        FDocumentEncoding = FEncoding;
        for (char& C : FDocumentEncoding)
          if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
      } else {
        FDocumentEncoding = "UTF-8";
      }
      I.PartStart = S;
      I.PartEnd = End;
      I.Next = End + 1;
      return true;
    }

    if (I.At(S, "<?")) {
      FPartKind = pkProcessingInstruction;
      size_t Close = I.Find("?>", S + 2);
      size_t Limit = Close == npos ? I.Len : Close;
      size_t NameEnd = S + 2;
      if (NameEnd < I.Len) ++NameEnd;  // the first character always belongs to the name
      while (NameEnd < I.Len && !IsBlank(B[NameEnd]) && B[NameEnd] != '?' && B[NameEnd] != '>')
        ++NameEnd;
      FPartName.assign(B, S + 2, NameEnd - (S + 2));
      size_t ContentStart = std::min(NameEnd + 1, I.Len);
      if (ContentStart < Limit) {
        FPartContent.assign(B, ContentStart, Limit - ContentStart);
        I.ParseAttributes(ContentStart, Limit, Attrs);
        FPartAttributes.Assign(std::move(Attrs));
      }
      End = I.EndOf(Close, 2);
    } else if (I.At(S, "<!--")) {
      FPartKind = pkComment;
      End = I.EndOf(I.Find("-->", S + 4), 3);
    } else if (I.At(S, "<!DOCTYPE")) {
      // Reported whole; its declarations take no effect and nothing is ever fetched.
      FPartKind = pkDocumentType;
      End = I.DocTypeEnd(S + 9);
    } else if (I.At(S, "<![CDATA[")) {
      FPartKind = pkCData;
      size_t Close = I.Find("]]>", S + 9);
      size_t ContentEnd = Close == npos ? I.Len : Close;
      AppendTranslated(std::string_view(B).substr(S + 9, ContentEnd - (S + 9)), Utf8, FPartContent);
      End = I.EndOf(Close, 3);
    } else if (B[S] == '<') {
      FPartKind = pkStartTag;
      size_t NameStart = S + 1;
      if (NameStart < I.Len && B[NameStart] == '/') {
        FPartKind = pkEndTag;
        ++NameStart;
      }
      size_t NameEnd = NameStart;
      if (NameEnd < I.Len) ++NameEnd;
      while (NameEnd < I.Len && !IsBlank(B[NameEnd]) && B[NameEnd] != '/' && B[NameEnd] != '>')
        ++NameEnd;
      FPartName.assign(B, NameStart, NameEnd - NameStart);
      size_t P = I.ParseAttributes(NameEnd, I.Len, Attrs);
      if (P < I.Len && B[P] == '/') FPartKind = pkEmptyTag;
      End = I.EndOf(I.FindChar('>', P, I.Len), 1);
      if (FPartKind != pkEndTag)
        for (TAttr& A : Attrs) A.Value = ProcessAttributeValue(A.Value, Utf8);
      FPartAttributes.Assign(std::move(Attrs));
    } else {
      FPartKind = pkContent;
      size_t Pos = S, Run = S;
      auto Flush = [&](size_t To) {
        if (To > Run)
          AppendTranslated(std::string_view(B).substr(Run, To - Run), Utf8, FPartContent);
      };
      while (Pos < I.Len && B[Pos] != '<') {
        if (B[Pos] != '&') {
          ++Pos;
          continue;
        }
        Flush(Pos);
        size_t Semi = I.NextSemicolon(Pos + 1);
        if (Semi == npos) {
          ++Pos;  // a lone "&" is dropped
          Run = Pos;
          continue;
        }
        std::string_view Ref = std::string_view(B).substr(Pos + 1, Semi - Pos - 1);
        char C;
        if (!Ref.empty() && Ref[0] == '#')
          FPartContent.push_back(NumericReference(Ref, C) ? C : ' ');
        else if (PredefinedEntity(Ref, C))
          FPartContent.push_back(C);
        else
          FPartContent.append(Ref);  // undeclared: the bare name
        Pos = Semi + 1;
        Run = Pos;
      }
      Flush(Pos);
      End = Pos - 1;
      if (I.WhitespaceRule) FPartContent = NormaliseWhitespace(FPartContent);
    }

    I.PartStart = S;
    I.PartEnd = End;
    I.Next = End + 1;
    if (FPartKind == pkContent && FPartContent.empty()) continue;
    return true;
  }
}
