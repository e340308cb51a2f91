#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "search/Masks.h"

namespace {

struct MatchCase {
  const char* Mask;
  const char* Name;
  bool Expected;
};

class MaskMatching : public testing::TestWithParam<MatchCase> {};

TEST_P(MaskMatching, MatchesWholeNameIgnoringAsciiCase) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(TMask(c.Mask).Matches(c.Name), c.Expected) << c.Mask << " vs " << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, MaskMatching,
    testing::Values(
        MatchCase{"*.tmp", "A.TMP", true}, MatchCase{"*.tmp", "a.tmp", true},
        MatchCase{"*.tmp", ".tmp", true}, MatchCase{"*.tmp", "a.tmp.bak", false},
        MatchCase{"*.tmp", "tmp", false}, MatchCase{"~*.*", "~x.doc", true},
        MatchCase{"~*.*", "~.", true}, MatchCase{"~*.*", "~x", false},
        MatchCase{"*.??~", "report.do~", true}, MatchCase{"*.??~", "report.d~", false},
        MatchCase{"0???????.nch", "01234567.nch", true},
        MatchCase{"0???????.nch", "0123456.nch", false}, MatchCase{"*?.txt", ".txt", true},
        MatchCase{"*??", "", true}, MatchCase{"[a-c]*", "Beta", true},
        MatchCase{"[a-c]*", "delta", false}, MatchCase{"[!a]", "b", true},
        MatchCase{"[!a]", "A", false}, MatchCase{"[!a]", "", false},
        MatchCase{"Thumbs.db", "THUMBS.DB", true}, MatchCase{"Thumbs.db", "oldthumbs.db", false},
        MatchCase{"Thumbs.db", "Thumbs.db.old", false}, MatchCase{"*", "", true},
        MatchCase{"*", "anything at all", true}, MatchCase{"", "", true}, MatchCase{"", "a", false},
        MatchCase{"?", "", false}, MatchCase{"??", "ab", true}, MatchCase{"??", "abc", false},
        MatchCase{"a*", "a", true}, MatchCase{"*a", "bab", false}, MatchCase{"*a*", "bab", true},
        // Ranges: the start stays, the end is upper-cased, a reversed range adds nothing.
        MatchCase{"[a-c-e]", "D", true}, MatchCase{"[a-c-e]", "f", false},
        MatchCase{"[z-a]", "z", true}, MatchCase{"[z-a]", "m", false},
        MatchCase{"[0-9]x", "7X", true}, MatchCase{"[0-9]x", "ax", false},
        // "-" right before "]" takes the "]" as the range end: A to "]".
        MatchCase{"[a-]]", "]", true}, MatchCase{"[a-]]", "\\", true},
        MatchCase{"[a-]]", "^", false}, MatchCase{"[!a-c]x", "dx", true},
        MatchCase{"[!a-c]x", "Bx", false}, MatchCase{"[!!]", "!", false},
        MatchCase{"[!!]", "?", true}, MatchCase{"[ab!]", "!", true},
        MatchCase{"a[*]b", "a*b", true}, MatchCase{"a[*]b", "axb", false},
        MatchCase{"[?]", "?", true}, MatchCase{"[?]", "x", false},
        // Backtracking over several stars.
        MatchCase{"*a*b*c", "xxaxxbxxaxxbxxc", true}, MatchCase{"*a*b*c", "cccbbbaaa", false},
        MatchCase{"*ab*ab", "abab", true}, MatchCase{"*ab*ab", "aab", false},
        MatchCase{"*.~*", "x.~1", true}, MatchCase{"*~.*", "doc~.", true},
        MatchCase{"file*.chk", "FILE0001.CHK", true}, MatchCase{"file*.chk", "file.chk", true},
        MatchCase{"OPA??.bak", "opa12.BAK", true}, MatchCase{"OPA??.bak", "opa1.bak", false},
        MatchCase{"SETUP LOG File.log", "setup log file.LOG", true},
        // UTF-8: only ASCII letters fold; every other byte matches only itself.
        MatchCase{"café.txt", "CAFé.TXT", true}, MatchCase{"café.txt", "CAFÉ.TXT", false},
        MatchCase{"*é", "résumé", true}, MatchCase{"?", "é", false}, MatchCase{"??", "é", true},
        // A set holds bytes, so it never holds a whole multi-byte character.
        MatchCase{"[é]", "é", false}, MatchCase{"[é]", "\xc3", true}));

struct InvalidCase {
  std::string Mask;
  int Position;
};

class InvalidMask : public testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidMask, ReportsTextAndPosition) {
  const InvalidCase& c = GetParam();
  try {
    TMask m(c.Mask);
    FAIL() << "accepted " << c.Mask;
  } catch (const EMaskException& e) {
    EXPECT_EQ(std::string(e.what()),
              "'" + c.Mask + "' is an invalid mask at (" + std::to_string(c.Position) + ")");
  }
}

std::string Repeat(const std::string& S, int N) {
  std::string out;
  for (int i = 0; i < N; ++i) out += S;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, InvalidMask,
    testing::Values(InvalidCase{"[]x", 2}, InvalidCase{"[-a]", 2}, InvalidCase{"[abc", 5},
                    InvalidCase{"[", 2}, InvalidCase{"[!", 3}, InvalidCase{"[!]", 3},
                    InvalidCase{"[!-a]", 3}, InvalidCase{"x[a-", 5}, InvalidCase{"[a-]", 5},
                    InvalidCase{"ok*[", 5},
                    // The 31st state after a "*": a letter, a set (at its "]"), the end.
                    InvalidCase{Repeat("*a", 31), 62}, InvalidCase{Repeat("*a", 30) + "*[b]", 64},
                    InvalidCase{Repeat("*a", 30) + "*", 62},
                    InvalidCase{Repeat("*a", 30) + "**??*", 66}));

TEST(MaskLimits, ThirtySkipStatesAreAllowed) {
  const std::string mask = Repeat("*a", 30);
  TMask m(mask);
  EXPECT_TRUE(m.Matches(Repeat("xa", 30)));
  EXPECT_FALSE(m.Matches(Repeat("xa", 29)));
  // Stars that merge, and "?" swallowed after a star, do not count.
  EXPECT_NO_THROW(TMask(Repeat("**?a", 30)));
}

// Names that would make a matcher keeping every resume point run for ages.
TEST(MaskBacktracking, LongNamesWithManyStars) {
  const std::string mask = Repeat("*a", 29) + "*b";
  const std::string allA(400, 'a');
  EXPECT_FALSE(TMask(mask).Matches(allA));
  EXPECT_TRUE(TMask(mask).Matches(allA + "b"));
  EXPECT_FALSE(TMask("*a*b*c").Matches(Repeat("ab", 200)));
  EXPECT_TRUE(TMask("*a*b*c").Matches(Repeat("ab", 200) + "c"));
  EXPECT_FALSE(TMask(Repeat("*?a", 20) + "*[!a]").Matches(allA));
}

// The obvious reading of a glob, on the mask text: "*" any run, "?" one byte, "[!a]"
// one byte other than a/A, letters in either case. A "?" right after stars stands for
// nothing, as the compiler treats it.
std::string DropQuestionsAfterStars(const std::string& Mask) {
  std::string out;
  bool afterStar = false;
  for (char c : Mask) {
    if (c == '?' && afterStar) continue;
    afterStar = (c == '*') || (afterStar && c == '?');
    out += c;
  }
  return out;
}

bool Reference(const std::string& M, size_t Mi, const std::string& N, size_t Ni) {
  if (Mi == M.size()) return Ni == N.size();
  if (M[Mi] == '*') {
    for (size_t k = Ni; k <= N.size(); ++k)
      if (Reference(M, Mi + 1, N, k)) return true;
    return false;
  }
  if (Ni == N.size()) return false;
  if (M[Mi] == '?') return Reference(M, Mi + 1, N, Ni + 1);
  if (M[Mi] == '[') {  // only "[!a]" is generated
    if (std::toupper(static_cast<unsigned char>(N[Ni])) == 'A') return false;
    return Reference(M, Mi + 4, N, Ni + 1);
  }
  if (std::toupper(static_cast<unsigned char>(M[Mi])) !=
      std::toupper(static_cast<unsigned char>(N[Ni])))
    return false;
  return Reference(M, Mi + 1, N, Ni + 1);
}

void AllStrings(const std::vector<std::string>& Tokens, size_t MaxLength, std::string Prefix,
                std::vector<std::string>& Out) {
  Out.push_back(Prefix);
  if (MaxLength == 0) return;
  for (const std::string& t : Tokens) AllStrings(Tokens, MaxLength - 1, Prefix + t, Out);
}

TEST(MaskReference, AgreesWithPlainGlobOnEverySmallCase) {
  std::vector<std::string> masks;
  std::vector<std::string> names;
  AllStrings({"a", "B", "?", "*", "[!a]"}, 4, "", masks);
  AllStrings({"a", "A", "b"}, 6, "", names);
  int mismatches = 0;
  for (const std::string& mask : masks) {
    TMask m(mask);
    const std::string plain = DropQuestionsAfterStars(mask);
    for (const std::string& name : names) {
      if (m.Matches(name) != Reference(plain, 0, name, 0) && ++mismatches <= 5)
        ADD_FAILURE() << "mask \"" << mask << "\" name \"" << name << "\"";
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(MaskMatching, LengthOverloadSeesOnlyItsBytes) {
  const char buffer[] = "report.tmp.bak";
  TMask m("*.tmp");
  EXPECT_TRUE(m.Matches(buffer, 10));
  EXPECT_FALSE(m.Matches(buffer, sizeof buffer - 1));
  EXPECT_TRUE(TMask("").Matches(buffer, 0));
}

// Shift-JIS style lead bytes, to exercise double-byte characters.
bool IsShiftJisLead(unsigned char C) {
  return (C >= 0x81 && C <= 0x9F) || (C >= 0xE0 && C <= 0xFC);
}

TEST(MaskDoubleByte, CharactersCompareExactlyAndStayOutOfSets) {
  // "\x82" + "a" is one character: its trail byte is not case-folded.
  TMask dbcs(
      "*\x82"
      "a.txt",
      IsShiftJisLead);
  EXPECT_TRUE(
      dbcs.Matches("x\x82"
                   "a.TXT"));
  EXPECT_FALSE(
      dbcs.Matches("x\x82"
                   "A.txt"));
  // Without lead bytes the same text is three plain bytes.
  EXPECT_TRUE(TMask("*\x82"
                    "a.txt")
                  .Matches("x\x82"
                           "A.txt"));

  TMask set("[a\x82\xa0]", IsShiftJisLead);
  EXPECT_TRUE(set.Matches("A"));
  EXPECT_FALSE(set.Matches("\x82"));
  EXPECT_FALSE(set.Matches("\xa0"));
  EXPECT_THROW(TMask("[\x82\xa0]", IsShiftJisLead), EMaskException);
  // A set left open by a lead byte swallowing the "]".
  try {
    TMask m("[a\x82]", IsShiftJisLead);
    FAIL();
  } catch (const EMaskException& e) {
    EXPECT_EQ(std::string(e.what()), "'[a\x82]' is an invalid mask at (5)");
  }
  // A lead byte at the very end has no trail byte: a plain byte.
  EXPECT_TRUE(TMask("x\x82", IsShiftJisLead).Matches("X\x82"));
  // "?" is one byte, so a double-byte character needs two.
  EXPECT_TRUE(TMask("??", IsShiftJisLead).Matches("\x82\xa0"));
}

}  // namespace
