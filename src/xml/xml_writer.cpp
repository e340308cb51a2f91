#include "xml/xml_writer.h"

#include "platform/tw_assert.h"

namespace {

constexpr const char* kUnit = "xml_writer";

std::string WrongName(const char* Head, const std::u16string& Name) {
  return Head + TextToAnsi(Name) + ").";
}

bool IsLetter(char16_t C) {
  return (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z');
}

}  // namespace

TXMLWriter::TXMLWriter(int32_t ACapacity, uint8_t AEncoding)
    : Encoding(AEncoding), Capacity(ACapacity) {
  TW_ASSERT(Capacity >= 0, "require: positive capacity.", kUnit);
  Stack = std::make_unique<TStringStack>();
  Reset();
}

TXMLWriter::~TXMLWriter() = default;

void TXMLWriter::Reset() {
  Stack->Clear();
  Stream.reset();
  Stream = std::make_unique<TSmartMemoryStream>();
  Stream->SetCapacity(static_cast<size_t>(Capacity));
  StartTagClosed = true;
  Write(u"<?xml version=\"1.0\"");
  const char16_t* Name = nullptr;
  switch (Encoding) {
    case 1:
      Name = u"ISO-8859-1";
      break;
    case 2:
      Name = u"UTF-16";
      break;
    case 3:
      Name = u"UTF-8";
      break;
    default:
      // 0, and codes that name no encoding: the declaration carries no label.
      break;
  }
  if (Name) {
    Write(u" encoding=\"");
    Write(Name);
    Write(u"\"");
  }
  Write(u"?>");
  NewLine();
}

void TXMLWriter::StartTag(const std::u16string& Name) {
  TW_ASSERT(IsValidName(Name), WrongName("require: valid tag name (wrong: ", Name).c_str(), kUnit);
  // Checked before anything is written, so a refused element leaves no trace.
  TW_ASSERT(Stack->Count < TStringStack::MaxEntries, "require: stack has room for entries.", kUnit);
  CloseStartTag();
  if (!AtLineStart) NewLine();
  Indent();
  Write(u"<");
  Write(Name);
  StartTagClosed = false;
  Stack->Push(Name);
}

void TXMLWriter::AddAttribute(const std::u16string& Name, const std::u16string& Value) {
  TW_ASSERT(IsValidName(Name), WrongName("require: valid attribute name (wrong: ", Name).c_str(),
            kUnit);
  TW_ASSERT(TagIsStarted(), "require: there should be a tag to set attributes.", kUnit);
  TW_ASSERT(!StartTagClosed, "require: start tag's closing > not already written.", kUnit);
  Write(u" ");
  Write(Name);
  Write(u"=\"");
  Write(EscapeAttributeValue(Value));
  Write(u"\"");
}

void TXMLWriter::AddText(const std::u16string& Text) {
  CloseStartTag();
  Write(EscapeText(Text));
}

void TXMLWriter::EndTag() {
  TW_ASSERT(TagIsStarted(), "require: tag_is_started.", kUnit);
  std::u16string Name = CurrentTag();
  Stack->Pop();
  if (StartTagClosed) {
    if (AtLineStart) Indent();
    Write(u"</");
    Write(Name);
    Write(u">");
  } else {
    Write(u"/>");
    StartTagClosed = true;
  }
  TW_ASSERT(StartTagClosed, "ensure: start tag ends with >.", kUnit);
  NewLine();
}

std::u16string TXMLWriter::CurrentTag() const {
  TW_ASSERT(TagIsStarted(), "require: tag_is_started.", kUnit);
  return Stack->Top;
}

bool TXMLWriter::TagIsStarted() const {
  return Stack->Count > 0;
}

std::u16string TXMLWriter::AsText() {
  TW_ASSERT(!TagIsStarted(), "require: no tag has been started.", kUnit);
  if (!AtLineStart) NewLine();
  return Stream->AsText();
}

std::string TXMLWriter::AsAnsiText() {
  return TextToAnsi(AsText());
}

void TXMLWriter::StartTag(const std::string& Name) {
  StartTag(AnsiToText(Name));
}

void TXMLWriter::AddAttribute(const std::string& Name, const std::string& Value) {
  AddAttribute(AnsiToText(Name), AnsiToText(Value));
}

void TXMLWriter::AddText(const std::string& Text) {
  AddText(AnsiToText(Text));
}

void TXMLWriter::CloseStartTag() {
  if (!StartTagClosed) Write(u">");
  StartTagClosed = true;
  TW_ASSERT(StartTagClosed, "ensure: start tag ends with >.", kUnit);
}

void TXMLWriter::NewLine() {
  Write(u"\r\n");
  AtLineStart = true;
}

void TXMLWriter::Indent() {
  for (int32_t I = 0; I < Stack->Count; ++I) Write(u"  ");
  AtLineStart = false;
}

void TXMLWriter::Write(const std::u16string& Text) {
  Stream->WriteText(Text);
}

bool IsValidName(const std::u16string& Name) {
  if (Name.empty()) return false;
  char16_t First = Name[0];
  if (!(First >= 256 || First == u':' || First == u'_' || IsLetter(First))) return false;
  for (size_t I = 1; I < Name.size(); ++I) {
    char16_t C = Name[I];
    bool Ok = C >= 256 || IsLetter(C) || (C >= u'0' && C <= u'9') || C == u'-' || C == u'.' ||
              C == u':' || C == u'_' || C == 183;
    if (!Ok) return false;
  }
  return true;
}

namespace {
// Both escapes scan once, left to right; what they insert is not scanned again.
std::u16string Escape(const std::u16string& Text, bool Quote) {
  std::u16string Out;
  Out.reserve(Text.size());
  for (char16_t C : Text) {
    if (C == u'&')
      Out += u"&amp;";
    else if (C == u'<')
      Out += u"&lt;";
    else if (Quote && C == u'"')
      Out += u"&quot;";
    else
      Out.push_back(C);
  }
  return Out;
}
}  // namespace

std::u16string EscapeText(const std::u16string& Text) {
  return Escape(Text, false);
}

std::u16string EscapeAttributeValue(const std::u16string& Text) {
  return Escape(Text, true);
}

std::u16string AnsiToText(const std::string& S) {
  std::u16string Out;
  Out.reserve(S.size());
  for (char C : S) Out.push_back(static_cast<char16_t>(static_cast<unsigned char>(C)));
  return Out;
}

std::string TextToAnsi(const std::u16string& S) {
  std::string Out;
  Out.reserve(S.size());
  for (char16_t U : S)
    Out.push_back(U < 256 ? static_cast<char>(static_cast<unsigned char>(U)) : '?');
  return Out;
}
