#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/tw_assert.h"
#include "xml/smart_mem.h"
#include "xml/string_stack.h"
#include "xml/xml_writer.h"

namespace {

const std::string kDecl = "<?xml version=\"1.0\"?>\r\n";

std::string Lines(std::initializer_list<const char*> L) {
  std::string S = kDecl;
  for (const char* Line : L) S += std::string(Line) + "\r\n";
  return S;
}

// Runs F and returns the assertion message it raised ("" when none).
std::string Failure(const std::function<void()>& F) {
  try {
    F();
  } catch (const EAssertionFailed& E) {
    return E.what();
  }
  return {};
}

// The message is the contract text, then the unit and a line number.
void ExpectContract(const std::string& Message, const std::string& Text, const std::string& Unit) {
  std::string Head = Text + " (" + Unit + ", line ";
  ASSERT_EQ(Message.rfind(Head, 0), 0u) << Message;
  ASSERT_GT(Message.size(), Head.size() + 1);
  EXPECT_EQ(Message.back(), ')');
  EXPECT_NE(Message.find_first_of("0123456789", Head.size()), std::string::npos);
}

TEST(XmlWriter, DeclarationNamesTheEncoding) {
  const struct {
    uint8_t Encoding;
    const char* Line;
  } Cases[] = {
      {0, "<?xml version=\"1.0\"?>\r\n"},
      {1, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"},
      {2, "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"},
      {3, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"},
      {9, "<?xml version=\"1.0\"?>\r\n"},  // no such encoding: no label
  };
  for (const auto& C : Cases) {
    TXMLWriter W(4096, C.Encoding);
    EXPECT_EQ(W.AsAnsiText(), C.Line) << int(C.Encoding);
  }
}

TEST(XmlWriter, LaysOutElements) {
  const struct {
    const char* Name;
    std::function<void(TXMLWriter&)> Build;
    std::string Expected;
  } Cases[] = {
      {"empty element",
       [](TXMLWriter& W) {
         W.StartTag("a");
         W.EndTag();
       },
       Lines({"<a/>"})},
      {"empty text still closes the start tag",
       [](TXMLWriter& W) {
         W.StartTag("a");
         W.AddText("");
         W.EndTag();
       },
       Lines({"<a></a>"})},
      {"nesting",
       [](TXMLWriter& W) {
         W.StartTag("a");
         W.StartTag("b");
         W.StartTag("c");
         W.AddText("x");
         W.EndTag();
         W.EndTag();
         W.EndTag();
       },
       Lines({"<a>", "  <b>", "    <c>x</c>", "  </b>", "</a>"})},
      {"attributes on empty and parent elements",
       [](TXMLWriter& W) {
         W.StartTag("TDW");
         W.AddAttribute("Version", "1.0.0");
         W.AddAttribute("Language", "de_DE");
         W.StartTag("DeleteFiles");
         W.AddAttribute("ConformationDialog", "1");
         W.EndTag();
         W.StartTag("Drives");
         W.EndTag();
         W.EndTag();
       },
       Lines({"<TDW Version=\"1.0.0\" Language=\"de_DE\">",
              "  <DeleteFiles ConformationDialog=\"1\"/>", "  <Drives/>", "</TDW>"})},
      {"text then a child",
       [](TXMLWriter& W) {
         W.StartTag("a");
         W.AddText("t");
         W.StartTag("b");
         W.EndTag();
         W.EndTag();
       },
       Lines({"<a>t", "  <b/>", "</a>"})},
      {"two texts in one element stay on one line",
       [](TXMLWriter& W) {
         W.StartTag("a");
         W.AddText("x");
         W.AddText("y");
         W.EndTag();
       },
       Lines({"<a>xy</a>"})},
  };
  for (const auto& C : Cases) {
    TXMLWriter W(4096, 0);
    C.Build(W);
    EXPECT_EQ(W.AsAnsiText(), C.Expected) << C.Name;
  }
}

TEST(XmlWriter, EscapesTextAndAttributeValues) {
  const std::u16string Raw = u"a\"b&c<d>";
  EXPECT_EQ(EscapeAttributeValue(Raw), u"a&quot;b&amp;c&lt;d>");
  EXPECT_EQ(EscapeText(Raw), u"a\"b&amp;c&lt;d>");
  // What is inserted is not escaped again; apostrophes and control characters pass.
  EXPECT_EQ(EscapeText(u"&amp;'\t"), u"&amp;amp;'\t");
  EXPECT_EQ(EscapeAttributeValue(u"&quot;'"), u"&amp;quot;'");

  TXMLWriter W(4096, 0);
  W.StartTag("m");
  W.AddAttribute("v", "a\"b&c<d>");
  W.AddText("a\"b&c<d>");
  W.EndTag();
  EXPECT_EQ(W.AsAnsiText(), Lines({"<m v=\"a&quot;b&amp;c&lt;d>\">a\"b&amp;c&lt;d></m>"}));
}

TEST(XmlWriter, ValidNames) {
  const struct {
    std::u16string Name;
    bool Valid;
  } Cases[] = {
      {u"Drive", true},    {u"xml:lang", true},       {u"_x-1.2", true},   {u":a", true},
      {u"a\u00B7b", true}, {u"\u0100x", true},        {u"a\u4E00", true},  {u"", false},
      {u"1abc", false},    {u"a b", false},           {u"-a", false},      {u".a", false},
      {u"\u00B7a", false}, {u"\u00E9t\u00E9", false}, {u"a\u00E9", false}, {u"a/b", false},
      {u"a\tb", false},    {u"a\"", false},
  };
  for (const auto& C : Cases) EXPECT_EQ(IsValidName(C.Name), C.Valid) << TextToAnsi(C.Name);
}

TEST(XmlWriter, ContractViolations) {
  const struct {
    const char* Text;
    std::function<void()> Act;
  } Cases[] = {
      {"require: positive capacity.", [] { TXMLWriter W(-1, 0); }},
      {"require: valid tag name (wrong: 1abc).",
       [] {
         TXMLWriter W(0, 0);
         W.StartTag("1abc");
       }},
      {"require: valid attribute name (wrong: a b).",
       [] {
         TXMLWriter W(0, 0);
         W.StartTag("x");
         W.AddAttribute("a b", "1");
       }},
      {"require: there should be a tag to set attributes.",
       [] {
         TXMLWriter W(0, 0);
         W.AddAttribute("a", "1");
       }},
      {"require: start tag's closing > not already written.",
       [] {
         TXMLWriter W(0, 0);
         W.StartTag("x");
         W.AddText("t");
         W.AddAttribute("a", "1");
       }},
      {"require: start tag's closing > not already written.",
       [] {
         TXMLWriter W(0, 0);
         W.StartTag("x");
         W.StartTag("y");
         W.EndTag();
         W.AddAttribute("a", "1");
       }},
      {"require: tag_is_started.",
       [] {
         TXMLWriter W(0, 0);
         W.EndTag();
       }},
      {"require: tag_is_started.",
       [] {
         TXMLWriter W(0, 0);
         (void)W.CurrentTag();
       }},
      {"require: no tag has been started.",
       [] {
         TXMLWriter W(0, 0);
         W.StartTag("x");
         (void)W.AsText();
       }},
      {"require: no tag has been started.",
       [] {
         TXMLWriter W(0, 0);
         W.StartTag("x");
         (void)W.AsAnsiText();
       }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Text);
    ExpectContract(Failure(C.Act), C.Text, "xml_writer");
  }
}

TEST(XmlWriter, NestsAtMost256Elements) {
  TXMLWriter W(4096, 0);
  for (int I = 0; I < 256; ++I) W.StartTag("e");
  EXPECT_EQ(W.CurrentTag(), u"e");
  ExpectContract(Failure([&] { W.StartTag("f"); }), "require: stack has room for entries.",
                 "xml_writer");
  for (int I = 0; I < 256; ++I) W.EndTag();
  EXPECT_FALSE(W.TagIsStarted());
  std::string Doc = W.AsAnsiText();
  // The refused element left no trace; the innermost is indented by 255 levels.
  EXPECT_EQ(Doc.find('f'), std::string::npos);
  EXPECT_NE(Doc.find("\r\n" + std::string(510, ' ') + "<e/>\r\n"), std::string::npos);
  EXPECT_EQ(Doc.substr(Doc.size() - 6), "</e>\r\n");
}

TEST(XmlWriter, AsTextIsRepeatableAndResetStartsOver) {
  TXMLWriter W(0, 1);  // capacity 0 is allowed
  W.StartTag("a");
  W.AddText("x");
  W.EndTag();
  std::u16string First = W.AsText();
  EXPECT_EQ(W.AsText(), First);
  W.Reset();
  EXPECT_EQ(W.AsAnsiText(), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n");
}

TEST(XmlWriter, EightBitTextPassesThroughUnchanged) {
  std::string All;
  for (int B = 1; B < 256; ++B)
    if (B != '&' && B != '<' && B != '"') All.push_back(static_cast<char>(B));
  TXMLWriter W(4096, 1);
  W.StartTag("m");
  W.AddAttribute("v", All);
  W.AddText(All);
  W.EndTag();
  std::string Doc = W.AsAnsiText();
  EXPECT_NE(Doc.find("<m v=\"" + All + "\">" + All + "</m>\r\n"), std::string::npos);

  EXPECT_EQ(AnsiToText("\xE9\x80"), u"\u00E9\u0080");
  EXPECT_EQ(TextToAnsi(u"a\u00FF\u0100\u20AC"), "a\xFF??");
}

TEST(XmlWriter, LargeDocumentOutgrowsTheFirstBlock) {
  TXMLWriter W(16, 0);
  W.StartTag("r");
  const std::string Mask(1000, 'm');
  for (int I = 0; I < 1200; ++I) {  // about 2.4 MB of UTF-16
    W.StartTag("FileMask");
    W.AddText(Mask);
    W.EndTag();
  }
  W.EndTag();
  std::string Doc = W.AsAnsiText();
  EXPECT_EQ(Doc.size(), kDecl.size() + 5 + 1200 * (2 + 10 + 1000 + 11 + 2) + 6);
  EXPECT_EQ(Doc.substr(Doc.size() - 6), "</r>\r\n");
}

TEST(StringStack, PushPopAndContracts) {
  TStringStack S;
  EXPECT_TRUE(S.IsEmpty());
  S.Push(u"a");
  S.Push(u"b");
  S.Push(u"c");
  EXPECT_EQ(S.Count, 3);
  EXPECT_EQ(S.Top, u"c");
  S.Pop();
  EXPECT_EQ(S.Top, u"b");
  S.Pop();
  EXPECT_EQ(S.Top, u"a");
  S.Pop();
  EXPECT_TRUE(S.IsEmpty());
  EXPECT_EQ(S.Top, u"");
  ExpectContract(Failure([&] { S.Pop(); }), "require: stack should not be empty.", "string_stack");

  for (int I = 0; I < 256; ++I) S.Push(std::u16string(1, static_cast<char16_t>(u'A' + I % 26)));
  ExpectContract(Failure([&] { S.Push(u"x"); }), "require: stack has room for entries.",
                 "string_stack");
  for (int I = 255; I >= 0; --I) {
    EXPECT_EQ(S.Top, std::u16string(1, static_cast<char16_t>(u'A' + I % 26)));
    S.Pop();
  }
  S.Push(u"a");
  S.Clear();
  EXPECT_TRUE(S.IsEmpty());
}

TEST(SmartMemoryStream, CapacityGrowsWithHeadroomAndNeverShrinks) {
  TSmartMemoryStream M;
  M.SetCapacity(4096);
  EXPECT_EQ(M.Capacity(), 1056768u);
  M.SetCapacity(100);  // smaller: unchanged
  EXPECT_EQ(M.Capacity(), 1056768u);
  M.SetCapacity(1056768);  // equal: unchanged
  EXPECT_EQ(M.Capacity(), 1056768u);
  M.SetCapacity(1056769);
  EXPECT_EQ(M.Capacity(), 2113536u);  // 1056769 + 1 MiB, up to a multiple of 8192
  M.SetCapacity(1);
  EXPECT_EQ(M.Capacity(), 2113536u);
  M.SetCapacity(0);
  EXPECT_EQ(M.Capacity(), 0u);
  M.SetCapacity(1);  // from nothing: 1 MiB and one granule
  EXPECT_EQ(M.Capacity(), 1048576u + 8192u);
}

TEST(SmartMemoryStream, WritesKeepTheirDataAcrossGrowth) {
  TSmartMemoryStream M;
  M.WriteText(u"");
  EXPECT_EQ(M.Size(), 0u);
  EXPECT_EQ(M.Capacity(), 0u);
  M.WriteText(u"ab");
  EXPECT_EQ(M.Capacity(), 1048576u + 8192u);  // 4 bytes requested, plus headroom
  std::u16string Big(M.Capacity() / 2, u'x');
  M.WriteText(Big);  // outgrows the block
  EXPECT_GT(M.Capacity(), M.Size());
  EXPECT_EQ(M.Capacity() % 8192, 0u);
  EXPECT_EQ(M.AsText(), u"ab" + Big);
  EXPECT_EQ(M.Size(), (2 + Big.size()) * 2);
}

TEST(SmartMemoryStream, TextEndsAtTheFirstNull) {
  TSmartMemoryStream M;
  EXPECT_EQ(M.AsText(), u"");
  M.WriteText(std::u16string(u"ab\0cd", 5));
  EXPECT_EQ(M.AsText(), u"ab");
  EXPECT_EQ(M.AsText(), u"ab");
}

}  // namespace
