// Wildcard masks for file names: "*" any run of bytes, "?" one byte, "[...]" one byte of
// a set ("[!...]" not of it, "a-z" ranges), any other byte itself. ASCII letters match
// in either case; every other byte (UTF-8 included) matches only itself. A mask always
// has to match the whole name.
//
// A mask is compiled once into a sequence of states and matched without allocating, so
// the finder can test every name it meets against every mask.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// The message is English ("'%s' is an invalid mask at (%d)" filled in); the window shows
// the template in the interface language, filled with MaskText and Position.
class EMaskException : public std::runtime_error {
 public:
  explicit EMaskException(const std::string& Message) : std::runtime_error(Message) {}
  EMaskException(const std::string& Message, std::string Mask, size_t At)
      : std::runtime_error(Message), MaskText(std::move(Mask)), Position(At) {}
  std::string MaskText;
  size_t Position = 0;
};

// Whether a byte starts a double-byte character in the code page of names. UTF-8 has
// no such bytes; a double-byte code page supplies its own test.
using TMaskLeadBytePredicate = bool (*)(unsigned char);

class TMask {
 public:
  // Throws EMaskException "'<text>' is an invalid mask at (<1-based position>)".
  explicit TMask(const std::string& MaskText);
  TMask(const std::string& MaskText, TMaskLeadBytePredicate IsLeadByte);

  bool Matches(const std::string& Name) const { return Matches(Name.data(), Name.size()); }
  bool Matches(const char* Name, size_t Length) const;

  // At most this many states may follow a "*" (the end of the mask included).
  static constexpr int MaxSkipStates = 30;

 private:
  enum class TKind : uint8_t { Literal, Any, Set, DoubleByte, End };
  struct TState {
    TKind Kind = TKind::Literal;
    bool SkipTo = false;  // one or more "*" stood before this state
    bool Negate = false;  // sets only
    uint8_t Byte = 0;     // literal (upper-cased) or lead byte
    uint8_t Trail = 0;    // double-byte literal
    uint32_t SetIndex = 0;
  };

  void Compile(const std::string& MaskText, TMaskLeadBytePredicate IsLeadByte);
  void Append(TState State, bool& PendingSkip, int& SkipCount, const std::string& MaskText,
              size_t Position);
  bool Accepts(const TState& State, const uint8_t* Name, size_t Length, size_t Pos) const;
  static size_t Width(const TState& State);

  std::vector<TState> FStates;
  std::vector<std::bitset<256>> FSets;
  size_t FMinLength = 0;  // bytes any matching name has at least
  // The part after the last "*" (ending with the end state) has a fixed width, so it
  // can only sit at the very end of the name: no scan needed for it.
  size_t FTailStart = 0;  // index of the last state with SkipTo; npos when none
  size_t FTailWidth = 0;
  // Most masks are a plain name or "*" and a plain tail ("*.tmp", "Thumbs.db", with "?"
  // allowed): those compare bytes directly. FWild marks the "?" positions.
  enum class TShape : uint8_t { General, Exact, Suffix };
  TShape FShape = TShape::General;
  std::string FFixed;
  std::string FWild;
};
