// Reader for Wine's registry files (system.reg, user.reg, userdef.reg). Answers what
// RegOpenKeyExA / RegQueryValueExA would answer for the keys under the file's root.
// The files are snapshots: Wine's server may rewrite them at any time, so they are only
// ever read, and anything in them is treated as untrusted input.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class TWineRegistry {
 public:
  // Wine's text format ("WINE REGISTRY Version 2"). False, and empty, when line 1 is not that.
  bool LoadText(const std::string& Text);
  void Clear();
  // Key paths are relative to the file's root, components separated by '\\', compared
  // without regard to case (ASCII and, for UTF-8 names, simple Latin upper-casing is enough).
  bool KeyExists(const std::string& KeyPath) const;
  // As RegQueryValueExA returns it: REG_SZ / REG_EXPAND_SZ / REG_MULTI_SZ as UTF-8 text
  // including the terminating NUL(s); REG_DWORD 4 bytes little-endian; others raw bytes.
  // ValueName "" is the default value ("@").
  bool QueryValue(const std::string& KeyPath, const std::string& ValueName, uint32_t& Type,
                  std::string& Data) const;
  // A REG_SZ or REG_EXPAND_SZ value as text without its NUL.
  bool QueryString(const std::string& KeyPath, const std::string& ValueName,
                   std::string& Value) const;
  // Names of a key's values as spelled in the file, in Wine's order (sorted without
  // regard to case). False when the key does not exist.
  bool ValueNames(const std::string& KeyPath, std::vector<std::string>& Names) const;

 private:
  struct TValue {
    std::string Name;  // spelling from the file
    uint32_t Type = 0;
    std::string Data;
  };
  struct TNode {
    std::map<std::string, size_t> Children;  // folded name -> index into Nodes
    std::map<std::string, TValue> Values;    // folded name -> value
    bool IsLink = false;                     // target in its "SymbolicLinkValue"
  };
  // Nodes[0] is the root; the flat layout keeps copies cheap to write and teardown flat.
  std::vector<TNode> Nodes;
  std::string RootPath;  // folded "REGISTRY\MACHINE" from the file's header, if it has one

  size_t FindNode(const std::string& KeyPath) const;
  size_t AddPath(const std::vector<std::string>& Components);
};

// UTF-16 units as UTF-8; a lone surrogate becomes U+FFFD.
std::string WineUtf16ToUtf8(const uint16_t* Units, size_t Count);
// Little-endian UTF-16 bytes as UTF-8; an odd last byte is ignored.
std::string WineUtf16LeBytesToUtf8(const std::string& Bytes);

// Case folding used for key and value names: ASCII plus simple upper-casing of the Latin,
// Greek and Cyrillic letters of UTF-8 text. Invalid UTF-8 is left as it is.
std::string WineFoldName(const std::string& Name);
