#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/null_platform.h"
#include "xml/LibXmlParser.h"
#include "xml/xml_writer.h"

namespace {

const char* KindName(TPartKind K) {
  switch (K) {
    case pkNone:
      return "None";
    case pkDeclaration:
      return "Decl";
    case pkComment:
      return "Comment";
    case pkProcessingInstruction:
      return "PI";
    case pkDocumentType:
      return "DocType";
    case pkStartTag:
      return "Start";
    case pkEmptyTag:
      return "Empty";
    case pkEndTag:
      return "End";
    case pkContent:
      return "Text";
    case pkCData:
      return "CData";
  }
  return "?";
}

std::string Attrs(const TAttrList& L) {
  if (L.Count() == 0) return {};
  std::string S = "[";
  for (int I = 0; I < L.Count(); ++I) {
    if (I) S += ",";
    S += L.NameAt(I) + "=" + L.ValueAt(I);
  }
  return S + "]";
}

// One line per part: kind, then what that kind carries.
std::string Describe(const TXmlParser& P) {
  std::string S = KindName(P.PartKind());
  switch (P.PartKind()) {
    case pkStartTag:
    case pkEmptyTag:
    case pkEndTag:
      return S + ":" + P.PartName() + Attrs(P.PartAttributes());
    case pkContent:
    case pkCData:
      return S + ":" + P.PartContent();
    case pkProcessingInstruction:
      return S + ":" + P.PartName() + "|" + P.PartContent() + Attrs(P.PartAttributes());
    case pkDeclaration:
      return S + Attrs(P.PartAttributes());
    default:
      return S;
  }
}

std::vector<std::string> Parts(const std::string& Doc) {
  TXmlParser P;
  P.LoadFromBuffer(Doc.data(), Doc.size());
  P.Rewind();
  std::vector<std::string> Out;
  // A part always consumes at least one byte, so this bound can only trip on a hang.
  for (size_t Guard = 0; Guard <= Doc.size() && P.NextPart(); ++Guard) Out.push_back(Describe(P));
  EXPECT_FALSE(P.NextPart()) << "after the end";
  return Out;
}

using V = std::vector<std::string>;

struct TCase {
  std::string Doc;
  V Expected;
};

void RunTable(const std::vector<TCase>& Cases) {
  for (const auto& C : Cases) EXPECT_EQ(Parts(C.Doc), C.Expected) << "document: " << C.Doc;
}

TEST(XmlReader, PartsOfWellFormedDocuments) {
  RunTable({
      {"", {}},
      {" \r\n\t ", {}},
      {"<FileMask/>", {"Empty:FileMask"}},
      {"<Drives >", {"Start:Drives"}},
      {"<a>x</a>", {"Start:a", "Text:x", "End:a"}},
      {"</a >", {"End:a"}},
      {"<a>\r\n  <b/>\r\n</a>\r\n", {"Start:a", "Empty:b", "End:a"}},
      {"<a>  a \t\r\n b  </a>", {"Start:a", "Text:a b", "End:a"}},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TDW/>",
       {"Decl[encoding=ISO-8859-1,version=1.0]", "Empty:TDW"}},
      {"<?xml-stylesheet href='a.css' type=\"t\"?>",
       {"PI:xml-stylesheet|href='a.css' type=\"t\"[href=a.css,type=t]"}},
      {"<?pi?>", {"PI:pi|"}},
      {"<?xml?>", {"PI:xml|"}},
      {"<?pi>x?>", {"PI:pi|x"}},
      {"<a><!-- <b/> --></a>", {"Start:a", "Comment", "End:a"}},
      {"<![CDATA[ x ]]>", {"CData: x "}},
      {"<a><![CDATA[]]></a>", {"Start:a", "CData:", "End:a"}},
      {"<![CDATA[<a>&amp;]]>", {"CData:<a>&amp;"}},
      {"<!DOCTYPE TDW SYSTEM \"file:///etc/passwd\"><TDW/>", {"DocType", "Empty:TDW"}},
      {"<!DOCTYPE a [<!ENTITY e \"x>]\"><!-- ] > --><?p ]>?>]><a>&e;</a>",
       {"DocType", "Start:a", "Text:e", "End:a"}},
  });
}

TEST(XmlReader, AttributesAreSortedByName) {
  RunTable({
      {"<TDW Version=\"1.0.0\" Language=\"de\">", {"Start:TDW[Language=de,Version=1.0.0]"}},
      {"<a z='1' B='2' b='3' _='4'/>", {"Empty:a[B=2,_=4,b=3,z=1]"}},
      // An equal name goes before the one already there: the later one comes first.
      {"<a x=\"1\" x=\"2\"/>", {"Empty:a[x=2,x=1]"}},
      {"<a b='x\"y' c=\"p'q\"/>", {"Empty:a[b=x\"y,c=p'q]"}},
      {"<a\r\n\tb\t=\r\n'1'>", {"Start:a[b=1]"}},
      // Text between the name and the quote is skipped; a name needs a quoted value.
      {"<a b=1 c=\"2\">", {"Start:a[b=2]"}},
      {"<a b>", {"Start:a"}},
      {"<a 1='x'>", {"Start:a"}},
      {"<a \xE9t\xE9='1'>", {"Start:a[\xE9t\xE9=1]"}},
  });
  TXmlParser P;
  std::string Doc = "<a x=\"1\" x=\"2\" m=\"3\"/>";
  P.LoadFromBuffer(Doc.data(), Doc.size());
  P.Rewind();
  ASSERT_TRUE(P.NextPart());
  const TAttrList& L = P.PartAttributes();
  EXPECT_EQ(L.ValueOf("x"), "2");
  EXPECT_EQ(L.ValueOf("m"), "3");
  EXPECT_EQ(L.ValueOf("X"), "");
  EXPECT_EQ(L.ValueOf(""), "");
  EXPECT_EQ(L.NameAt(-1), "");
  EXPECT_EQ(L.ValueAt(3), "");
}

TEST(XmlReader, AttrListInsertionAndLookup) {
  // Ascending byte order: upper case before lower case, bytes above 127 last.
  const std::vector<std::pair<std::string, std::string>> Adds = {
      {"b", "1"}, {"a", "2"}, {"\xE9", "3"}, {"b", "4"}, {"B", "5"}, {"ab", "6"}, {"z", "7"}};
  TAttrList L;
  std::vector<TAttr> Bulk;
  for (const auto& [N, Val] : Adds) {
    L.Add(N, Val);
    Bulk.push_back(TAttr{N, Val});
  }
  const V Names = {"B", "a", "ab", "b", "b", "z", "\xE9"};
  const V Values = {"5", "2", "6", "4", "1", "7", "3"};
  TAttrList Assigned;
  Assigned.Assign(Bulk);
  for (const TAttrList* List : {&L, &Assigned}) {
    ASSERT_EQ(List->Count(), 7);
    for (int I = 0; I < 7; ++I) {
      EXPECT_EQ(List->NameAt(I), Names[I]);
      EXPECT_EQ(List->ValueAt(I), Values[I]);
    }
    for (const auto& [N, Val] : Adds) {
      if (N == "b") continue;  // two of them: the later one is found
      EXPECT_EQ(List->ValueOf(N), Val) << N;
    }
    EXPECT_EQ(List->ValueOf("b"), "4");
    EXPECT_EQ(List->ValueOf("c"), "");
    EXPECT_EQ(List->ValueOf("zz"), "");
  }
}

TEST(XmlReader, ReferencesInTextAndAttributes) {
  RunTable({
      {"a&amp;b&lt;c&gt;d&apos;e&quot;f", {"Text:a&b<c>d'e\"f"}},
      {"&foo;", {"Text:foo"}},
      {"<a v=\"&foo;\"/>", {"Empty:a[v=&foo;]"}},
      {"<a v=\"1 &amp;#65; 2\"/>", {"Empty:a[v=1 &#65; 2]"}},
      {"&#65;&#x42;&#X43;&#321;&#x141;", {"Text:ABCAA"}},
      // Digits that are no number give a blank in text and stay as written in a value.
      {"x&#6a;y&#;z&#x;w&#xg;v", {"Text:x y z w v"}},
      {"<a v='&#65;&#x42;&#6a;&#;&#x;&#x1g;'/>", {"Empty:a[v=AB&#6a;&#;&#x;&#x1g;]"}},
      {"<a v='&lt;&gt;&amp;&apos;&quot;'/>", {"Empty:a[v=<>&'\"]"}},
      // A lone "&" is dropped in text; in a value it stays, with the rest.
      {"a & b", {"Text:a b"}},
      {"<a v='x&amp;y & z'/>", {"Empty:a[v=x&y & z]"}},
      {"<a v='&amp y'/>", {"Empty:a[v=&amp y]"}},
      // The reference runs to the next ";" of the document, over the "<" of a tag.
      {"a&b<x>c;d<y/>", {"Text:ab<x>cd", "Empty:y"}},
      // Tabs and line breaks in values become blanks, nothing is collapsed.
      {"<a v='a\tb\r\n c  '/>", {"Empty:a[v=a b   c  ]"}},
      {"<a v='&#9;x'/>", {"Empty:a[v= x]"}},
      // End tags keep their attributes as written.
      {"</a v='&amp;'>", {"End:a[v=&amp;]"}},
  });
}

TEST(XmlReader, OddAndUnterminatedConstructs) {
  RunTable({
      {"<a><!-- x <b/>", {"Start:a", "Comment"}},
      {"<![CDATA[abc", {"CData:abc"}},
      {"<![CDATA[abc]]", {"CData:abc]]"}},
      {"<?pi abc", {"PI:pi|abc"}},
      {"<?", {"PI:|"}},
      {"<?xml version='1.0'", {"Decl[version=1.0]"}},
      {"<!DOCTYPE a [ <!ENTITY e 'x", {"DocType"}},
      {"<!DOCTYPE a [ <!-- ]>", {"DocType"}},
      {"<!DOCTYPE a [ ]", {"DocType"}},
      {"<!DOCTYPE", {"DocType"}},
      {"<a b='x", {"Start:a[b=x]"}},
      {"<a b='x>y'>z", {"Start:a[b=x>y]", "Text:z"}},
      {"<a", {"Start:a"}},
      {"<", {"Start:"}},
      {"</", {"End:"}},
      {"<a/", {"Empty:a"}},
      {"<a/ b='1'>", {"Empty:a"}},
      {"x>y", {"Text:x>y"}},
      {"<!ENTITY x 'y'>", {"Start:!ENTITY"}},
      {"&", {}},
      {"a&", {"Text:a"}},
      {"&#", {"Text:#"}},
      {"<a>&#x", {"Start:a", "Text:#x"}},
      {"]]>", {"Text:]]>"}},
  });
}

TEST(XmlReader, ZeroByteEndsTheDocument) {
  RunTable({
      {std::string("<a>x\0<b/></a>", 13), {"Start:a", "Text:x"}},
      {std::string("\0<a/>", 5), {}},
      {std::string("<a b='x\0y'/><c/>", 16), {"Start:a[b=x]"}},
      {std::string("<!-- \0 --><c/>", 14), {"Comment"}},
      {std::string("a&b\0;c", 6), {"Text:ab"}},
  });
}

std::string Utf8Doc(const std::string& Declaration, const std::string& Text) {
  return Declaration + "<![CDATA[" + Text + "]]>";
}

TEST(XmlReader, EncodingChoosesTranslation) {
  const std::string Raw = "\xC3\xA9";
  const struct {
    std::string Declaration;
    std::string Expected;
  } Cases[] = {
      {"", Raw},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", Raw},
      {"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>", Raw},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>", Raw},
      {"<?xml version=\"1.0\" encoding=\"\"?>", Raw},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "\xE9"},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?>", "\xE9"},
      {"<?xml version=\"1.0\"?>", "\xE9"},
  };
  for (const auto& C : Cases) {
    TXmlParser P;
    std::string Doc = C.Declaration + "<a v=\"" + Raw + "\">" + Raw + "<![CDATA[" + Raw + "]]>";
    P.LoadFromBuffer(Doc.data(), Doc.size());
    P.Rewind();
    if (!C.Declaration.empty()) {
      ASSERT_TRUE(P.NextPart());
    }
    ASSERT_TRUE(P.NextPart());
    EXPECT_EQ(P.PartAttributes().ValueOf("v"), C.Expected) << C.Declaration;
    ASSERT_TRUE(P.NextPart());
    EXPECT_EQ(P.PartContent(), C.Expected) << C.Declaration;
    ASSERT_TRUE(P.NextPart());
    EXPECT_EQ(P.PartContent(), C.Expected) << C.Declaration;
  }
}

TEST(XmlReader, Utf8ToWindows1252) {
  const struct {
    std::string In;
    std::string Out;
  } Cases[] = {
      {"plain ASCII", "plain ASCII"},
      {"\xC3\xA9", "\xE9"},              // é
      {"\xC2\xA0\xC3\xBF", "\xA0\xFF"},  // Latin-1 range
      {"\xE2\x82\xAC", "\x80"},          // euro sign
      {"\xC5\x93\xE2\x80\x99\xC5\xB8", "\x9C\x92\x9F"},
      {"\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D", "\x81\x8D\x8F\x90\x9D"},  // unassigned
      {"\xC2\x80\xC2\x9F", "\xBF\xBF"},  // C1 codes that the table maps elsewhere
      {"\xE4\xB8\x80x", "\xBFx"},        // outside Windows-1252
      {"\xF0\x9F\x98\x80x", "\xBFx"},    // four-byte sequence: one character
      {"\x80x", "\xBFx"},                // stray continuation byte
      {"x\xC3", "x\xBF"},                // cut short at the end
      {"x\xE2\x82", "x\xBF"},
      {"\xC3x", "\xF8"},   // the next byte is taken whatever it is
      {"\xFFx", "\xBFx"},  // all ones: only itself
      {"\xFE"
       "123456x",
       "\xBFx"},                             // seven leading ones: seven bytes
      {"\xC0\x80x", std::string("\0x", 2)},  // overlong forms are decoded, not refused
  };
  for (const auto& C : Cases) {
    TXmlParser P;
    std::string Doc = Utf8Doc("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", C.In);
    P.LoadFromBuffer(Doc.data(), Doc.size());
    P.Rewind();
    ASSERT_TRUE(P.NextPart());
    ASSERT_TRUE(P.NextPart());
    EXPECT_EQ(P.PartContent(), C.Out) << C.In;
  }
}

TEST(XmlReader, ReferencesAreNotTranslatedAgain) {
  // In a UTF-8 document a reference yields a code-page character; it must not swallow the
  // bytes after it as if it began a sequence.
  RunTable({
      {"<?xml version=\"1.0\"?><a v='&#233;ab'>&#233;ab</a>",
       {"Decl[version=1.0]",
        "Start:a[v=\xE9"
        "ab]",
        "Text:\xE9"
        "ab",
        "End:a"}},
  });
}

TEST(XmlReader, EachPassStartsUntranslated) {
  TXmlParser P;
  // Text before the declaration reads the same on every pass.
  std::string Late = "\xC3\xA9<?xml version=\"1.0\"?>";
  P.LoadFromBuffer(Late.data(), Late.size());
  for (int Pass = 0; Pass < 2; ++Pass) {
    P.Rewind();
    ASSERT_TRUE(P.NextPart());
    EXPECT_EQ(P.PartContent(), "\xC3\xA9") << Pass;
    ASSERT_TRUE(P.NextPart());
    EXPECT_FALSE(P.NextPart());
  }

  std::string Utf8 = "<?xml version=\"1.0\"?><a/>";
  P.LoadFromBuffer(Utf8.data(), Utf8.size());
  P.Rewind();
  while (P.NextPart()) {
  }
  EXPECT_EQ(P.DocumentEncoding(), "UTF-8");
  std::string Plain = "\xC3\xA9";
  P.LoadFromBuffer(Plain.data(), Plain.size());
  P.Rewind();
  ASSERT_TRUE(P.NextPart());
  EXPECT_EQ(P.PartContent(), Plain);
}

TEST(XmlReader, DeclarationIsRecorded) {
  TXmlParser P;
  std::string Doc = "<?xml version=\"1.1\" encoding=\"iso-8859-1\" standalone=\"yes\"?><a/>";
  P.LoadFromBuffer(Doc.data(), Doc.size());
  P.Rewind();
  EXPECT_EQ(P.PartKind(), pkNone);
  ASSERT_TRUE(P.NextPart());
  EXPECT_EQ(P.PartKind(), pkDeclaration);
  EXPECT_EQ(P.PartName(), "");
  EXPECT_EQ(P.PartContent(), "");
  EXPECT_EQ(P.DeclaredVersion(), "1.1");
  EXPECT_EQ(P.DeclaredEncoding(), "iso-8859-1");
  EXPECT_TRUE(P.Standalone());
  EXPECT_EQ(P.DocumentEncoding(), "ISO-8859-1");
}

TEST(XmlReader, RewindStartsAgainAndTheEndStays) {
  TXmlParser P;
  std::string Doc = "<a>x</a>";
  P.LoadFromBuffer(Doc.data(), Doc.size());
  for (int Pass = 0; Pass < 2; ++Pass) {
    P.Rewind();
    V Seen;
    while (P.NextPart()) Seen.push_back(Describe(P));
    EXPECT_EQ(Seen, (V{"Start:a", "Text:x", "End:a"}));
    EXPECT_FALSE(P.NextPart());
    EXPECT_FALSE(P.NextPart());
  }
  TXmlParser Fresh;  // nothing loaded: nothing to read
  Fresh.Rewind();
  EXPECT_FALSE(Fresh.NextPart());
}

TEST(XmlReader, PartLineCountsLineFeedsBeforeThePart) {
  TXmlParser P;
  std::string Doc = "<?xml version=\"1.0\"?>\r\n<a\n b=\"1\">\n\n  text\n</a><!--\n-->\r<c/>";
  P.LoadFromBuffer(Doc.data(), Doc.size());
  P.Rewind();
  EXPECT_EQ(P.PartLine(), 0);
  std::vector<int> Lines;
  while (P.NextPart()) Lines.push_back(P.PartLine());
  // Declaration, a, text (starts right after the tag), end a, comment, c (a CR alone
  // does not end a line).
  EXPECT_EQ(Lines, (std::vector<int>{1, 2, 3, 6, 6, 7}));
  EXPECT_EQ(P.PartLine(), 0);  // after the end
}

class TempDir {
 public:
  TempDir() {
    Path = std::filesystem::temp_directory_path() /
           ("tw_xml_test_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(Path);
  }
  ~TempDir() { std::filesystem::remove_all(Path); }
  std::string File(const std::string& Name, const std::string& Content) const {
    std::string P = (Path / Name).string();
    std::ofstream(P, std::ios::binary) << Content;
    return P;
  }
  std::filesystem::path Path;
};

TEST(XmlReader, LoadDocumentReadsThroughThePlatform) {
  TTWNullPlatform Host;
  ScopedPlatform Scope(Host);
  TempDir Dir;
  TXmlParser P;

  EXPECT_TRUE(P.LoadDocument(Dir.File("empty.dat", "")));
  P.Rewind();
  EXPECT_FALSE(P.NextPart());

  std::string Name = Dir.File("system.dat", "<TDW Language=\"de\"/>");
  ASSERT_TRUE(P.LoadDocument(Name));
  EXPECT_EQ(P.SourceName(), Name);
  P.Rewind();
  ASSERT_TRUE(P.NextPart());
  EXPECT_EQ(Describe(P), "Empty:TDW[Language=de]");

  EXPECT_FALSE(P.LoadDocument((Dir.Path / "missing.dat").string()));
  EXPECT_EQ(P.SourceName(), "");
  P.Rewind();
  EXPECT_FALSE(P.NextPart());
}

// A document as the configuration writes it, escaped texts and all.
std::string SampleDocument() {
  TXMLWriter W(4096, 1);
  W.StartTag("TDW");
  W.AddAttribute("Version", "1.0.0");
  W.AddAttribute("Language", "de_DE");
  W.StartTag("FileSearchMasks");
  for (const char* M : {"*.---", "a&b<c>d'e\"f", "~*.tmp", "\xE9t\xE9.bak"}) {
    W.StartTag("FileMask");
    W.AddText(M);
    W.EndTag();
  }
  W.EndTag();
  W.StartTag("DeleteFiles");
  W.AddAttribute("Shred", "1");
  W.AddAttribute("ConformationDialog", "1");
  W.EndTag();
  W.StartTag("Browsers");
  W.AddAttribute("Opera", "a\"&<>'");
  W.StartTag("Options");
  W.AddAttribute("Cookies", "1");
  W.EndTag();
  W.EndTag();
  W.StartTag("Drives");
  W.EndTag();
  W.EndTag();
  return W.AsAnsiText();
}

TEST(XmlReader, ReadsWhatTheWriterWrote) {
  EXPECT_EQ(Parts(SampleDocument()), (V{"Decl[encoding=ISO-8859-1,version=1.0]",
                                        "Start:TDW[Language=de_DE,Version=1.0.0]",
                                        "Start:FileSearchMasks",
                                        "Start:FileMask",
                                        "Text:*.---",
                                        "End:FileMask",
                                        "Start:FileMask",
                                        "Text:a&b<c>d'e\"f",
                                        "End:FileMask",
                                        "Start:FileMask",
                                        "Text:~*.tmp",
                                        "End:FileMask",
                                        "Start:FileMask",
                                        "Text:\xE9t\xE9.bak",
                                        "End:FileMask",
                                        "End:FileSearchMasks",
                                        "Empty:DeleteFiles[ConformationDialog=1,Shred=1]",
                                        "Start:Browsers[Opera=a\"&<>']",
                                        "Empty:Options[Cookies=1]",
                                        "End:Browsers",
                                        "Empty:Drives",
                                        "End:TDW"}));
}

TEST(XmlReader, TruncatedDocumentChangesOnlyItsLastPart) {
  const std::string Doc = SampleDocument();
  const V Full = Parts(Doc);
  for (size_t Len = 0; Len < Doc.size(); ++Len) {
    V Cut = Parts(Doc.substr(0, Len));
    ASSERT_LE(Cut.size(), Full.size()) << Len;
    for (size_t I = 0; I + 1 < Cut.size(); ++I) ASSERT_EQ(Cut[I], Full[I]) << "cut at " << Len;
  }
}

TEST(XmlReader, RandomBytesNeverBreakTheScanner) {
  // Fragments that start constructs, mixed with arbitrary bytes, so that many inputs end
  // inside an unterminated construct.
  const std::vector<std::string> Pieces = {"<",
                                           ">",
                                           "/",
                                           "?",
                                           "!",
                                           "=",
                                           "'",
                                           "\"",
                                           "&",
                                           ";",
                                           "#x",
                                           "#",
                                           "]]>",
                                           "-->",
                                           "?>",
                                           "<!--",
                                           "<?",
                                           "<?xml ",
                                           "[",
                                           "]",
                                           " ",
                                           "\r\n",
                                           "a",
                                           "<![CDATA[",
                                           "<!DOCTYPE",
                                           "\xC3",
                                           "\xFF",
                                           "&amp;",
                                           "&#65;",
                                           "\xE2\x82",
                                           std::string(1, '\0'),
                                           "encoding='UTF-8'"};
  std::mt19937 Rng(12345);
  for (int Round = 0; Round < 3000; ++Round) {
    std::string Doc;
    int N = static_cast<int>(Rng() % 40);
    for (int I = 0; I < N; ++I) {
      if (Rng() % 4 == 0)
        Doc.push_back(static_cast<char>(Rng() % 256));
      else
        Doc += Pieces[Rng() % Pieces.size()];
    }
    TXmlParser P;
    P.LoadFromBuffer(Doc.data(), Doc.size());
    P.Rewind();
    size_t Count = 0;
    while (P.NextPart()) {
      ASSERT_LE(++Count, Doc.size()) << "no progress";
      const TAttrList& L = P.PartAttributes();
      for (int I = 0; I < L.Count(); ++I) (void)L.ValueOf(L.NameAt(I));
      ASSERT_LE(P.PartName().size() + P.PartContent().size(), 2 * Doc.size() + 2);
    }
    ASSERT_FALSE(P.NextPart());
  }
}

std::filesystem::path SourceDir() {
  if (const char* Dir = std::getenv("TW_SOURCE_DIR")) return Dir;
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

// The fuzzer's seeds and past crashers, replayed in every build.
TEST(XmlReader, FuzzCorpusReadsTheSameTwice) {
  const auto Dir = SourceDir() / "fuzz" / "corpus" / "xml_reader";
  ASSERT_TRUE(std::filesystem::is_directory(Dir)) << Dir;
  for (const auto& Entry : std::filesystem::directory_iterator(Dir)) {
    std::ifstream In(Entry.path(), std::ios::binary);
    std::string Doc((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    TXmlParser P;
    P.LoadFromBuffer(Doc.data(), Doc.size());
    V Passes[2];
    for (V& Seen : Passes) {
      P.Rewind();
      while (P.NextPart()) {
        ASSERT_LT(Seen.size(), Doc.size()) << Entry.path();
        Seen.push_back(Describe(P));
      }
    }
    EXPECT_EQ(Passes[0], Passes[1]) << Entry.path();
  }
}

TEST(XmlReader, ManyAttributesAndReferencesStayCheap) {
  // Inputs that would be quadratic with per-insert sorting or a fresh ";" search per "&".
  std::string Attrs = "<a";
  for (int I = 0; I < 20000; ++I) Attrs += " x=''";
  Attrs += "/>";
  TXmlParser P;
  P.LoadFromBuffer(Attrs.data(), Attrs.size());
  P.Rewind();
  ASSERT_TRUE(P.NextPart());
  EXPECT_EQ(P.PartAttributes().Count(), 20000);

  std::string Amps(200000, '&');
  P.LoadFromBuffer(Amps.data(), Amps.size());
  P.Rewind();
  EXPECT_FALSE(P.NextPart());  // every "&" is dropped, nothing remains
}

}  // namespace
