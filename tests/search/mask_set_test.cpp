#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/Masks.h"
#include "search/tw_helper.h"
#include "search/tw_mask_set.h"

namespace {

// The default search masks plus masks that end in every kind of state: a wildcard, a
// set, a "?" swallowed by a "*", a literal "]" or "-", and nothing at all.
const TStringList kMasks = {
    "*.tmp",      "*.temp",   "*.$$$",   "*.---",     "*.~*",        "~*.*",      "*~",
    "*.??~",      "*.??$",    "*.bak",   "*.old",     "*.chk",       "*.gid",     "*.dmp",
    "*.log",      "*.err",    "*.wbk",   "*.xlk",     "*.syd",       "*.prv",     "*.sik",
    "*.nch",      "*.fts",    "*.ftg",   "*.diz",     "*.mch",       "*.swp",     "*._mp",
    "*._dd",      "*._detmp", "*.bk!",   "*.bk$",     "*.ilk",       "*.ncb",     "*.aps",
    "*.sbr",      "*.~mp",    "*.sav",   "thumbs.db", "ehthumbs.db", ".ds_store", "mscreate.dir",
    "chklist.ms", "*??",      "",        "?",         "[a-c]*",      "x[!.]",     "*]",
    "a]",         "ab-",      "*.Tm[p]", "*a*b*c",    "~",           "*.",        "0???????.nch"};

// Names made from each mask ("*" a run, "?" one byte, a set its first member), in
// both cases and with the last byte changed, so every mask meets names it matches and
// near misses.
std::vector<std::string> NamesFrom(const TStringList& Masks) {
  std::vector<std::string> out;
  for (const std::string& m : Masks) {
    std::string n;
    for (size_t i = 0; i < m.size(); ++i) {
      if (m[i] == '*') {
        n += "Xy";
      } else if (m[i] == '?') {
        n += 'q';
      } else if (m[i] == '[') {
        size_t j = i + 1;
        if (j < m.size() && m[j] == '!') {
          n += '#';
          ++j;
        } else if (j < m.size()) {
          n += m[j];
        }
        while (j < m.size() && m[j] != ']') ++j;
        i = j;
      } else {
        n += m[i];
      }
    }
    out.push_back(n);
    std::string flipped = n;
    for (char& c : flipped)
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 32);
      else if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c + 32);
    out.push_back(flipped);
    if (!n.empty()) {
      out.push_back(n.substr(0, n.size() - 1));
      out.push_back(n + "x");
      std::string changed = n;
      changed.back() = changed.back() == 'z' ? 'y' : 'z';
      out.push_back(changed);
    }
  }
  return out;
}

// Every short name over an alphabet of letters in both cases, dots, wildcard-like and
// non-ASCII bytes.
std::vector<std::string> ShortNames() {
  const std::string alphabet = "aBc.~$]-Tp\xc3";
  std::vector<std::string> out = {""};
  for (size_t start = 0, len = 0; len < 4; ++len) {
    const size_t end = out.size();
    for (size_t i = start; i < end; ++i)
      for (char c : alphabet) out.push_back(out[i] + c);
    start = end;
  }
  return out;
}

TEST(MaskSet, AnswersAsTestingEveryMaskInTurn) {
  std::vector<std::string> names = NamesFrom(kMasks);
  const std::vector<std::string> shorts = ShortNames();
  names.insert(names.end(), shorts.begin(), shorts.end());
  for (const char* n : {"tmp.txt", "temp.dir.txt", "backup.bakx", "log", "my.tmpl", "x.logx",
                        "thumbs.db.txt", "a.b.c.oldx", "swap.swpx", "dump.dmpx", "REPORT.TMP",
                        "ab.lo~", "ab.log~", "\xc3\x84RGER.TMP", "~$doc.docx", "notes~"})
    names.push_back(n);

  // The whole list, and each mask on its own (its place in the index has to be right).
  std::vector<TStringList> lists = {kMasks};
  for (const std::string& m : kMasks) lists.push_back({m});
  for (const TStringList& list : lists) {
    TTWArrayMasks masks;
    TTWHelper::CreateMasks(masks, list);
    const TTWMaskSet set(masks, list);
    for (const std::string& n : names)
      ASSERT_EQ(set.Matches(n), TTWHelper::MatchesAny(masks, n))
          << "'" << n << "' against " << (list.size() == 1 ? list[0] : "all masks");
  }
}

TEST(MaskSet, EmptyOrUnpairedListsStillAnswerAsMatchesAny) {
  TTWArrayMasks none;
  const TTWMaskSet empty(none, {});
  EXPECT_FALSE(empty.Matches(""));
  EXPECT_FALSE(empty.Matches("a.tmp"));
  // Texts that do not pair with the masks cannot place them: every mask is then tried.
  TTWArrayMasks masks;
  TTWHelper::CreateMasks(masks, {"*.tmp", "thumbs.db"});
  const TTWMaskSet unpaired(masks, {"*.tmp"});
  for (const char* n : {"a.TMP", "Thumbs.db", "a.txt", ""})
    EXPECT_EQ(unpaired.Matches(n), TTWHelper::MatchesAny(masks, n)) << n;
}

}  // namespace
