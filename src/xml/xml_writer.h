// An XML document built in memory from a stream of calls, with contract checks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "xml/smart_mem.h"
#include "xml/string_stack.h"

class TXMLWriter {
 public:
  // Encoding: 0 none, 1 "ISO-8859-1", 2 "UTF-16", 3 "UTF-8" (only the declaration's label).
  TXMLWriter(int32_t Capacity, uint8_t Encoding);
  ~TXMLWriter();
  TXMLWriter(const TXMLWriter&) = delete;
  TXMLWriter& operator=(const TXMLWriter&) = delete;

  void Reset();
  void StartTag(const std::u16string& Name);
  void AddAttribute(const std::u16string& Name, const std::u16string& Value);
  void AddText(const std::u16string& Text);
  void EndTag();
  std::u16string CurrentTag() const;
  bool TagIsStarted() const;
  std::u16string AsText();
  // The document in the 8-bit code page: each UTF-16 unit below 256 becomes its byte.
  std::string AsAnsiText();

  // 8-bit conveniences: each byte is taken as one character of the 8-bit code page.
  void StartTag(const std::string& Name);
  void AddAttribute(const std::string& Name, const std::string& Value);
  void AddText(const std::string& Text);

  uint8_t Encoding;
  int32_t Capacity;

 private:
  void CloseStartTag();
  void NewLine();
  void Indent();
  void Write(const std::u16string& Text);

  bool AtLineStart = true;
  std::unique_ptr<TSmartMemoryStream> Stream;
  std::unique_ptr<TStringStack> Stack;
  bool StartTagClosed = true;
};

bool IsValidName(const std::u16string& Name);
std::u16string EscapeText(const std::u16string& Text);
std::u16string EscapeAttributeValue(const std::u16string& Text);
// Widens 8-bit text unit by unit (Latin-1 style), and back (units above 255 become '?').
std::u16string AnsiToText(const std::string& S);
std::string TextToAnsi(const std::u16string& S);
