#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/tw_i18n.h"
#include "support/null_platform.h"

namespace {

class TLocalePlatform : public TTWNullPlatform {
 public:
  std::string GetEnvironmentVariable(const std::string& Name) override {
    return Name == "LANG" ? Lang : std::string();
  }
  bool GetUserLocale(std::string& Language, std::string& Country) override {
    if (!HasLocale) return false;
    Language = LocaleLanguage;
    Country = LocaleCountry;
    return true;
  }
  bool ReadWholeFile(const std::string& HostPath, std::string& Data) override {
    Asked.push_back(HostPath);
    auto it = Files.find(HostPath);
    if (it == Files.end()) return false;
    Data = it->second;
    return true;
  }
  std::string Lang;
  bool HasLocale = false;
  std::string LocaleLanguage, LocaleCountry;
  std::map<std::string, std::string> Files;
  std::vector<std::string> Asked;
};

const char* const kUtf8Header =
    "Project-Id-Version: tidewell\nMIME-Version: 1.0\n"
    "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n";

void Put32(std::string& Out, uint32_t V, bool Big) {
  for (int i = 0; i < 4; ++i) {
    int shift = Big ? 24 - 8 * i : 8 * i;
    Out += static_cast<char>((V >> shift) & 0xFF);
  }
}

// A compiled catalog in the layout msgfmt writes (no hash table).
std::string MakeCatalog(std::vector<std::pair<std::string, std::string>> Entries,
                        const std::string& Header = kUtf8Header, bool Big = false) {
  Entries.emplace_back("", Header);
  std::sort(Entries.begin(), Entries.end());
  const uint32_t n = static_cast<uint32_t>(Entries.size());
  const uint32_t originals = 28, translations = originals + 8 * n;
  uint32_t data = translations + 8 * n;
  std::string head, tables, strings;
  Put32(head, 0x950412de, Big);
  Put32(head, 0, Big);
  Put32(head, n, Big);
  Put32(head, originals, Big);
  Put32(head, translations, Big);
  Put32(head, 0, Big);
  Put32(head, data, Big);
  std::string orig_table, trans_table;
  for (const auto& e : Entries) {
    Put32(orig_table, static_cast<uint32_t>(e.first.size()), Big);
    Put32(orig_table, data + static_cast<uint32_t>(strings.size()), Big);
    strings += e.first + '\0';
  }
  for (const auto& e : Entries) {
    Put32(trans_table, static_cast<uint32_t>(e.second.size()), Big);
    Put32(trans_table, data + static_cast<uint32_t>(strings.size()), Big);
    strings += e.second + '\0';
  }
  return head + orig_table + trans_table + strings;
}

const std::string kGermanPath = "/opt/tidewell/locale/de/LC_MESSAGES/default.mo";
const std::string kAustrianPath = "/opt/tidewell/locale/de_AT/LC_MESSAGES/default.mo";
const std::string kFrenchPath = "/opt/tidewell/locale/fr/LC_MESSAGES/default.mo";

class I18n : public ::testing::Test {
 protected:
  I18n() { ResetTranslationLayer(); }
  ~I18n() override {
    SetLocalisationProblemHandler(nullptr);
    ResetTranslationLayer();
  }
  TLocalePlatform P;
  ScopedPlatform Scope{P};
};

TEST_F(I18n, EnvironmentLanguage) {
  const struct {
    const char* Lang;
    bool HasLocale;
    const char* Language;
    const char* Country;
    const char* Expected;
  } cases[] = {
      {"de_DE.UTF-8", true, "fr", "FR", "de_DE"},
      {"tr_TR", false, "", "", "tr_TR"},
      {"ja", false, "", "", "ja"},
      {"fr_FR@euro", false, "", "", "fr_FR"},
      {"de_DE.ISO-8859-15@euro", false, "", "", "de_DE"},
      {"C.UTF-8", false, "", "", "C"},
      {"", true, "de", "AT", "de_AT"},
      {"", true, "no", "NO", "nb_NO"},
      {"", true, "pt", "", "pt"},
      {".UTF-8", true, "nl", "BE", "nl_BE"},
      {"", true, "", "US", "C"},
      {"", false, "", "", "C"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("LANG=") + c.Lang + " locale " + c.Language + "_" + c.Country);
    P.Lang = c.Lang;
    P.HasLocale = c.HasLocale;
    P.LocaleLanguage = c.Language;
    P.LocaleCountry = c.Country;
    EXPECT_EQ(DetectEnvironmentLanguage(), c.Expected);
  }
}

TEST_F(I18n, CurrentLanguageIsDetectedOnceAndCanBeSet) {
  P.Lang = "tr_TR.UTF-8";
  EXPECT_EQ(CurrentLanguage(), "tr_TR");
  P.Lang = "fr_FR";
  EXPECT_EQ(CurrentLanguage(), "tr_TR") << "the environment is read on first use only";
  UseLanguage("de");
  EXPECT_EQ(CurrentLanguage(), "de");
  UseLanguage("pt");
  EXPECT_EQ(CurrentLanguage(), "pt");
  UseLanguage("");
  EXPECT_EQ(CurrentLanguage(), "fr_FR") << "an empty code detects again";
}

TEST_F(I18n, LooksUpTheCatalogOfTheLanguageThenOfItsFirstTwoLetters) {
  P.Files[kGermanPath] = MakeCatalog({{"Finished", "Fertig"}, {"Canceled", "Abgebrochen"}});
  P.Files[kAustrianPath] = MakeCatalog({{"Finished", "Erledigt"}});
  P.Files[kFrenchPath] = MakeCatalog({{"Finished", "Termin\xc3\xa9"}});

  const struct {
    const char* Code;
    const char* Finished;
    const char* Canceled;
  } cases[] = {
      {"de", "Fertig", "Abgebrochen"},      {"de_DE", "Fertig", "Abgebrochen"},  // only "de" exists
      {"de_AT", "Erledigt", "Canceled"},  // no fallback for a missing text
      {"fr", "Termin\xc3\xa9", "Canceled"}, {"pt", "Finished", "Canceled"},
      {"C", "Finished", "Canceled"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Code);
    UseLanguage(c.Code);
    EXPECT_EQ(Translate("Finished"), c.Finished);
    EXPECT_EQ(Translate("Canceled"), c.Canceled);
    EXPECT_EQ(Translate("MB"), "MB");
  }
}

// A code as a locale spells it, with a code set or a modifier: its own folder if there
// is one, else the two-letter one; the check on the code applies to each folder tried.
TEST_F(I18n, ALocaleSpelledCodeFallsBackToItsFirstTwoLetters) {
  P.Files[kGermanPath] = MakeCatalog({{"Finished", "Fertig"}});
  P.Files["/opt/tidewell/locale/fr_FR.UTF-8/LC_MESSAGES/default.mo"] =
      MakeCatalog({{"Finished", "Fini"}});
  const struct {
    const char* Code;
    const char* Finished;
  } cases[] = {
      {"de_DE.UTF-8", "Fertig"}, {"de_DE@euro", "Fertig"}, {"de.ISO-8859-1", "Fertig"},
      {"de/../x", "Fertig"},     {"fr_FR.UTF-8", "Fini"},  {"fr_FR", "Finished"},
      {"..", "Finished"},        {"..de", "Finished"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Code);
    UseLanguage(c.Code);
    EXPECT_EQ(Translate("Finished"), c.Finished);
  }
  for (const std::string& path : P.Asked) EXPECT_EQ(path.find("/../"), std::string::npos) << path;
}

TEST_F(I18n, TheCatalogIsOpenedOnTheFirstLookupAfterAChange) {
  P.Files[kGermanPath] = MakeCatalog({{"Finished", "Fertig"}});
  UseLanguage("de");
  EXPECT_TRUE(P.Asked.empty());
  EXPECT_EQ(Translate("Finished"), "Fertig");
  EXPECT_EQ(Translate("Finished"), "Fertig");
  EXPECT_EQ(P.Asked, (std::vector<std::string>{kGermanPath}));
  UseLanguage("de");  // no change: nothing to reopen
  Translate("Finished");
  EXPECT_EQ(P.Asked.size(), 1u);
}

TEST_F(I18n, LineBreaks) {
  P.Files[kGermanPath] = MakeCatalog({{"One\nTwo", "Eins\nZwei"},
                                      {"A\nB", "X\r\nY\n"},
                                      {"\nLead", "\nVorne"},
                                      {"Plural", std::string("Einzahl\0Mehrzahl", 16)}});
  UseLanguage("de");
  const struct {
    const char* Text;
    const char* Expected;
  } cases[] = {
      {"One\r\nTwo", "Eins\r\nZwei"},  // CR removed before the lookup
      {"One\nTwo", "Eins\r\nZwei"},   {"One\r\r\nTwo", "Eins\r\nZwei"},
      {"A\nB", "X\r\nY\r\n"},  // an existing CR LF is kept as it is
      {"\nLead", "\r\nVorne"},        {"Plural", "Einzahl"},
      {"Two\nOne", "Two\nOne"},  // untranslated: the text itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(Translate(c.Text), c.Expected);
  }
}

TEST_F(I18n, ACatalogThatIsNotUtf8TurnsTranslationsOff) {
  P.Files[kGermanPath] =
      MakeCatalog({{"Finished", "Fertig"}}, "Content-Type: text/plain; charset=ISO-8859-1\n");
  P.Files[kFrenchPath] = MakeCatalog({{"Finished", "Fini"}});
  std::vector<std::pair<std::string, std::string>> told;
  SetLocalisationProblemHandler(
      [&](const std::string& Title, const std::string& Text) { told.emplace_back(Title, Text); });

  UseLanguage("de_DE");
  EXPECT_EQ(Translate("Finished"), "Finished");
  EXPECT_EQ(Translate("Finished"), "Finished");
  UseLanguage("fr");
  EXPECT_EQ(Translate("Finished"), "Finished") << "off for the rest of the process";
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].first, "Localization problem");
  EXPECT_EQ(told[0].second, "The translation for the language code de_DE (in " + kGermanPath +
                                ") does not have charset=utf-8 in its Content-Type. "
                                "Translations are turned off.");
}

TEST_F(I18n, CatalogHeaderVariants) {
  const struct {
    const char* Name;
    std::string Catalog;
    const char* Expected;
  } cases[] = {
      {"charset in other case",
       MakeCatalog({{"Finished", "Fertig"}}, "Content-Type: text/plain; CHARSET=utf-8\n"),
       "Fertig"},
      {"big-endian file", MakeCatalog({{"Finished", "Fertig"}}, kUtf8Header, true), "Fertig"},
      {"charset elsewhere than Content-Type",
       MakeCatalog({{"Finished", "Fertig"}}, "X-Note: charset=utf-8\nContent-Type: text/plain\n"),
       "Finished"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ResetTranslationLayer();
    P.Files[kGermanPath] = c.Catalog;
    UseLanguage("de");
    EXPECT_EQ(Translate("Finished"), c.Expected);
  }
}

TEST_F(I18n, DamagedCatalogsGiveTheEnglishText) {
  const std::string good = MakeCatalog({{"Finished", "Fertig"}, {"Canceled", "Abgebrochen"}});
  std::vector<std::string> bad;
  for (size_t cut = 0; cut < good.size(); ++cut) bad.push_back(good.substr(0, cut));
  std::string huge_count = good;
  huge_count[8] = huge_count[9] = huge_count[10] = huge_count[11] = '\xff';
  bad.push_back(huge_count);
  std::string wild_offset = good;
  wild_offset[12] = wild_offset[13] = wild_offset[14] = '\xff';
  bad.push_back(wild_offset);
  std::string wild_string = good;
  wild_string[28 + 4] = wild_string[28 + 5] = wild_string[28 + 6] = '\x7f';
  bad.push_back(wild_string);
  std::string new_major = good;
  new_major[6] = '\x05';
  bad.push_back(new_major);
  bad.push_back(std::string(64, '\0'));

  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE("damaged catalog " + std::to_string(i));
    ResetTranslationLayer();
    P.Files[kGermanPath] = bad[i];
    UseLanguage("de");
    std::string finished = Translate("Finished");
    EXPECT_TRUE(finished == "Finished" || finished == "Fertig") << finished;
    EXPECT_EQ(Translate("Options"), "Options");
  }
}

TEST_F(I18n, ACodeThatLeavesTheLocaleFolderOpensNoFile) {
  P.Files["/opt/tidewell/locale/../../../tmp/x/LC_MESSAGES/default.mo"] =
      MakeCatalog({{"Finished", "pwned"}});
  for (const char* code : {"../../../tmp/x", "de/../..", "de\\..", "C:", ""}) {
    SCOPED_TRACE(code);
    UseLanguage(std::string(code).empty() ? "x y" : code);
    EXPECT_EQ(Translate("Finished"), "Finished");
  }
  for (const std::string& path : P.Asked) EXPECT_EQ(path.find(".."), std::string::npos) << path;
  EXPECT_EQ(CatalogFileName("nl"), "/opt/tidewell/locale/nl/LC_MESSAGES/default.mo");
}

}  // namespace

namespace {

TEST_F(I18n, EntriesThatShareTheirBytesClaimNoMoreThanTheFile) {
  // 2,000 entries whose translations all point at one 4 KB text: read naively, a file of
  // 20 KB would hold 8 MB of texts.
  const std::string text(4096, 'x');
  const uint32_t n = 2000, originals = 28, translations = originals + 8 * n;
  const uint32_t data = translations + 8 * n;
  std::string mo, ids;
  for (uint32_t v : {0x950412deu, 0u, n, originals, translations, 0u, data}) Put32(mo, v, false);
  for (uint32_t i = 0; i < n; ++i) {
    Put32(mo, 1 + i % 64, false);  // ids: distinct starts and lengths within the text
    Put32(mo, data + i % 1024, false);
  }
  for (uint32_t i = 0; i < n; ++i) {
    Put32(mo, static_cast<uint32_t>(text.size()), false);
    Put32(mo, data, false);
  }
  mo += text;
  TTWCatalog entries;
  std::string header;
  ASSERT_TRUE(ReadMoCatalog(mo, entries, header));
  size_t total = 0;
  for (const auto& [id, translation] : entries) total += id.size() + translation.size();
  EXPECT_LE(total, mo.size());
  EXPECT_FALSE(entries.empty());
}

TEST_F(I18n, TranslationsThatAreNotUtf8ReachTheProgramReplaced) {
  const struct {
    std::string Translation;
    std::string Shown;
  } cases[] = {
      {"Gr\xc3\xb6\xc3\x9f"
       "e",
       "Gr\xc3\xb6\xc3\x9f"
       "e"},  // valid: unchanged
      {"a\xff"
       "b",
       "a\xef\xbf\xbd"
       "b"},                       // a stray byte
      {"a\xc3", "a\xef\xbf\xbd"},  // cut at the end
      {"\xe6\x97"
       "x",
       "\xef\xbf\xbd"
       "x"},                                                     // one mark for a cut sequence
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},                  // overlong
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // a surrogate
      {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // > U+10FFFF
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},                                  // outside the BMP
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Shown);
    ResetTranslationLayer();
    P.Files[kGermanPath] = MakeCatalog({{"Text", c.Translation}});
    UseLanguage("de");
    EXPECT_EQ(Translate("Text"), c.Shown);
  }
}

}  // namespace
