// A pull scanner over an 8-bit XML document held whole in memory. It never fails:
// malformed input only yields odd parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TPartKind : uint8_t {
  pkNone = 0,
  pkDeclaration,
  pkComment,
  pkProcessingInstruction,
  pkDocumentType,
  pkStartTag,
  pkEmptyTag,
  pkEndTag,
  pkContent,
  pkCData,
};

struct TAttr {
  std::string Name;
  std::string Value;
};

// Kept sorted by Name in ascending byte order; an equal name goes before the existing one.
class TAttrList {
 public:
  int Count() const { return static_cast<int>(Items.size()); }
  std::string NameAt(int Index) const;
  std::string ValueAt(int Index) const;
  std::string ValueOf(const std::string& Name) const;  // bisection; "" when absent
  // Index of an attribute with exactly this name (the first of equals), or -1.
  int IndexOf(const std::string& Name) const;
  void Add(std::string Name, std::string Value);
  // Replaces the content, as if each attribute were added in the given order, in
  // O(n log n) so that a tag with very many attributes cannot stall the scanner.
  void Assign(std::vector<TAttr> List);
  void Clear() { Items.clear(); }

 private:
  std::vector<TAttr> Items;
};

class TXmlParser {
 public:
  TXmlParser();
  ~TXmlParser();
  TXmlParser(const TXmlParser&) = delete;
  TXmlParser& operator=(const TXmlParser&) = delete;

  // Host path; the file is opened without denying others any access.
  bool LoadDocument(const std::string& FileName);
  // The same from bytes already in memory (used by LoadDocument, tests and fuzzing).
  void LoadFromBuffer(const char* Data, size_t Size);
  void Rewind();
  bool NextPart();

  TPartKind PartKind() const { return FPartKind; }
  const std::string& PartName() const { return FPartName; }
  const std::string& PartContent() const { return FPartContent; }
  const TAttrList& PartAttributes() const { return FPartAttributes; }
  // The line (from 1, counted by LF) on which the current part begins; 0 before the
  // first part. Costs a scan of the text before the part: meant for messages.
  int PartLine() const;

  const std::string& DeclaredVersion() const { return FVersion; }
  const std::string& DeclaredEncoding() const { return FEncoding; }
  bool Standalone() const { return FStandalone; }
  const std::string& DocumentEncoding() const { return FDocumentEncoding; }
  const std::string& SourceName() const { return FSourceName; }

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
  TPartKind FPartKind = pkNone;
  std::string FPartName;
  std::string FPartContent;
  TAttrList FPartAttributes;
  std::string FVersion, FEncoding, FSourceName, FDocumentEncoding;
  bool FStandalone = false;
};
