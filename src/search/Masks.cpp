#include "search/Masks.h"

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// ASCII only: names are UTF-8, and no other byte has a case of its own.
inline uint8_t UpCase(uint8_t C) {
  return (C >= 'a' && C <= 'z') ? static_cast<uint8_t>(C - 32) : C;
}

[[noreturn]] void Invalid(const std::string& MaskText, size_t Position) {
  throw EMaskException(
      "'" + MaskText + "' is an invalid mask at (" + std::to_string(Position) + ")", MaskText,
      Position);
}

}  // namespace

TMask::TMask(const std::string& MaskText) : TMask(MaskText, nullptr) {}

TMask::TMask(const std::string& MaskText, TMaskLeadBytePredicate IsLeadByte) {
  Compile(MaskText, IsLeadByte);
}

size_t TMask::Width(const TState& State) {
  switch (State.Kind) {
    case TKind::End:
      return 0;
    case TKind::DoubleByte:
      return 2;
    default:
      return 1;
  }
}

void TMask::Append(TState State, bool& PendingSkip, int& SkipCount, const std::string& MaskText,
                   size_t Position) {
  if (PendingSkip && ++SkipCount > MaxSkipStates) Invalid(MaskText, Position);
  State.SkipTo = PendingSkip;
  PendingSkip = false;
  FStates.push_back(State);
}

void TMask::Compile(const std::string& MaskText, TMaskLeadBytePredicate IsLeadByte) {
  const size_t n = MaskText.size();
  auto at = [&](size_t i) { return static_cast<uint8_t>(MaskText[i]); };
  auto isLead = [&](size_t i) { return IsLeadByte != nullptr && IsLeadByte(at(i)); };
  bool pending = false;
  int skipCount = 0;
  size_t i = 0;
  while (i < n) {
    const uint8_t c = at(i);
    if (c == '*') {
      pending = true;
      ++i;
    } else if (c == '?') {
      // Right after a "*" a "?" adds nothing: "*?.txt" is "*.txt".
      if (!pending) {
        TState s;
        s.Kind = TKind::Any;
        Append(s, pending, skipCount, MaskText, i + 1);
      }
      ++i;
    } else if (c == '[') {
      std::bitset<256> set;
      TState s;
      s.Kind = TKind::Set;
      size_t j = i + 1;
      if (j < n && at(j) == '!') {
        s.Negate = true;
        ++j;
      }
      bool haveStart = false;
      unsigned rangeStart = 0;
      for (;;) {
        if (j >= n) Invalid(MaskText, n + 1);
        const uint8_t b = at(j);
        if (b == ']') {
          if (set.none()) Invalid(MaskText, j + 1);
          break;
        }
        if (b == '-') {
          if (!haveStart) Invalid(MaskText, j + 1);
          // The byte after "-" always ends the range, even a "]".
          if (j + 1 >= n) Invalid(MaskText, n + 1);
          const unsigned rangeEnd = UpCase(at(j + 1));
          for (unsigned v = rangeStart; v <= rangeEnd; ++v) set.set(v);
          j += 2;
        } else if (isLead(j)) {
          j += 2;  // a double-byte character cannot be part of a set
        } else {
          rangeStart = UpCase(b);
          set.set(rangeStart);
          haveStart = true;
          ++j;
        }
      }
      s.SetIndex = static_cast<uint32_t>(FSets.size());
      FSets.push_back(set);
      Append(s, pending, skipCount, MaskText, j + 1);
      i = j + 1;
    } else if (isLead(i) && i + 1 < n) {
      TState s;
      s.Kind = TKind::DoubleByte;
      s.Byte = c;
      s.Trail = at(i + 1);
      Append(s, pending, skipCount, MaskText, i + 1);
      i += 2;
    } else {
      // A lead byte without its trail byte at the very end stays a plain byte.
      TState s;
      s.Kind = TKind::Literal;
      s.Byte = UpCase(c);
      Append(s, pending, skipCount, MaskText, i + 1);
      ++i;
    }
  }
  TState end;
  end.Kind = TKind::End;
  Append(end, pending, skipCount, MaskText, n + 1);

  FTailStart = kNone;
  for (size_t k = 0; k < FStates.size(); ++k) {
    FMinLength += Width(FStates[k]);
    if (FStates[k].SkipTo) FTailStart = k;
  }
  FTailWidth = 0;
  if (FTailStart != kNone)
    for (size_t k = FTailStart; k < FStates.size(); ++k) FTailWidth += Width(FStates[k]);

  bool plain = FTailStart == kNone || FTailStart == 0;
  for (size_t k = 0; plain && k + 1 < FStates.size(); ++k) {
    const TState& st = FStates[k];
    plain = st.Kind == TKind::Literal || st.Kind == TKind::Any;
    FFixed += static_cast<char>(st.Byte);
    FWild += static_cast<char>(st.Kind == TKind::Any);
  }
  if (plain) {
    FShape = FTailStart == kNone ? TShape::Exact : TShape::Suffix;
  } else {
    FFixed.clear();
    FWild.clear();
  }
}

bool TMask::Accepts(const TState& State, const uint8_t* Name, size_t Length, size_t Pos) const {
  switch (State.Kind) {
    case TKind::Literal:
      return Pos < Length && UpCase(Name[Pos]) == State.Byte;
    case TKind::Any:
      return Pos < Length;
    case TKind::Set:
      return Pos < Length && FSets[State.SetIndex].test(UpCase(Name[Pos])) != State.Negate;
    case TKind::DoubleByte:
      return Pos + 1 < Length && Name[Pos] == State.Byte && Name[Pos + 1] == State.Trail;
    case TKind::End:
      return Pos == Length;
  }
  return false;
}

// Matching with resume points: a state after a "*" is tried at the first position that
// it accepts, and on a later failure matching resumes one byte further on. Only the
// most recent resume point is kept. Between two "*" every state has a fixed width, so
// when the states after the latest "*" fail at every position, moving an earlier "*"
// further on cannot help (it only shortens what the latest one may scan). Dropping the
// older points gives the same answers and keeps a crafted name from taking exponential
// time.
bool TMask::Matches(const char* Name, size_t Length) const {
  if (Length < FMinLength) return false;
  const auto* s = reinterpret_cast<const uint8_t*>(Name);
  if (FShape != TShape::General) {
    if (FShape == TShape::Exact && Length != FFixed.size()) return false;
    // From the end: names differ there most (the extension).
    const uint8_t* tail = s + (Length - FFixed.size());
    for (size_t k = FFixed.size(); k-- > 0;)
      if (FWild[k] == 0 && UpCase(tail[k]) != static_cast<uint8_t>(FFixed[k])) return false;
    return true;
  }
  const size_t count = FStates.size();
  size_t pos = 0;
  size_t si = 0;
  bool resumable = false;
  size_t resumePos = 0;
  size_t resumeState = 0;
  for (;;) {
    const TState& st = FStates[si];
    if (st.SkipTo) {
      if (si == FTailStart) {
        // What follows the last "*" has to end with the name: one place to try.
        if (Length - pos < FTailWidth) return false;
        pos = Length - FTailWidth;
        for (; si < count; ++si) {
          if (!Accepts(FStates[si], s, Length, pos)) return false;
          pos += Width(FStates[si]);
        }
        return true;
      }
      while (pos < Length && !Accepts(st, s, Length, pos)) ++pos;
      if (pos >= Length) return false;  // only the end state accepts the end
      resumable = true;
      resumePos = pos + 1;
      resumeState = si;
      pos += Width(st);
      ++si;
      continue;
    }
    if (Accepts(st, s, Length, pos)) {
      if (st.Kind == TKind::End) return true;
      pos += Width(st);
      ++si;
      continue;
    }
    if (!resumable) return false;
    pos = resumePos;
    si = resumeState;
  }
}
