// Feeds arbitrary bytes to the XML reader and walks every part, twice; then writes the
// bytes as an attribute value and as text and checks that they read back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "xml/LibXmlParser.h"
#include "xml/xml_writer.h"

namespace {

#define Check(Ok)                                                         \
  do {                                                                    \
    if (!(Ok)) {                                                          \
      std::fprintf(stderr, "check failed, line %d: %s\n", __LINE__, #Ok); \
      std::abort();                                                       \
    }                                                                     \
  } while (0)

bool IsBlank(char C) {
  return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

std::vector<std::string> Walk(TXmlParser& P, size_t Size) {
  std::vector<std::string> Seen;
  P.Rewind();
  Check(P.PartKind() == pkNone);
  while (P.NextPart()) {
    // Every part consumes at least one byte.
    Check(Seen.size() < Size);
    Check(P.PartKind() > pkNone && P.PartKind() <= pkCData);
    Check(P.PartName().size() <= Size && P.PartContent().size() <= Size);
    if (P.PartKind() == pkContent) {
      const std::string& C = P.PartContent();
      Check(!C.empty() && !IsBlank(C.front()) && !IsBlank(C.back()));
    }
    std::string D = std::to_string(P.PartKind()) + "|" + P.PartName() + "|" + P.PartContent();
    const TAttrList& L = P.PartAttributes();
    for (int I = 0; I < L.Count(); ++I) {
      if (I > 0) Check(L.NameAt(I - 1) <= L.NameAt(I));
      Check(L.IndexOf(L.NameAt(I)) >= 0 && L.IndexOf(L.NameAt(I)) <= I);
      (void)L.ValueOf(L.NameAt(I));
      D += "|" + L.NameAt(I) + "=" + L.ValueAt(I);
    }
    Check(L.NameAt(L.Count()).empty() && L.ValueAt(-1).empty());
    Seen.push_back(std::move(D));
  }
  Check(!P.NextPart());
  return Seen;
}

std::string Normalised(const std::string& S) {
  std::string Out;
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

void RoundTrip(const std::string& Bytes) {
  std::string Text;
  for (char C : Bytes)
    if (C != '\0') Text.push_back(C);
  TXMLWriter W(4096, 1);
  W.StartTag("TDW");
  W.AddAttribute("Value", Text);
  W.StartTag("FileMask");
  W.AddText(Text);
  W.EndTag();
  W.EndTag();
  std::string Doc = W.AsAnsiText();

  TXmlParser P;
  P.LoadFromBuffer(Doc.data(), Doc.size());
  P.Rewind();
  Check(P.NextPart() && P.PartKind() == pkDeclaration);
  Check(P.NextPart() && P.PartKind() == pkStartTag && P.PartName() == "TDW");
  std::string Value = Text;
  for (char& C : Value)
    if (IsBlank(C)) C = ' ';
  Check(P.PartAttributes().Count() == 1 && P.PartAttributes().ValueOf("Value") == Value);
  Check(P.NextPart() && P.PartKind() == pkStartTag && P.PartName() == "FileMask");
  std::string Expected = Normalised(Text);
  if (!Expected.empty())
    Check(P.NextPart() && P.PartKind() == pkContent && P.PartContent() == Expected);
  Check(P.NextPart() && P.PartKind() == pkEndTag && P.PartName() == "FileMask");
  Check(P.NextPart() && P.PartKind() == pkEndTag && P.PartName() == "TDW");
  Check(!P.NextPart());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TXmlParser P;
  P.LoadFromBuffer(reinterpret_cast<const char*>(Data), Size);
  std::vector<std::string> First = Walk(P, Size);
  Check(Walk(P, Size) == First);
  // Every writer reserves over 1 MiB, which dominates a run; one input in eight is enough.
  if (Size <= 4096 && Size % 8 == 0)
    RoundTrip(std::string(reinterpret_cast<const char*>(Data), Size));
  return 0;
}
