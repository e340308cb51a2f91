#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "config/tw_config.h"
#include "config_compare.h"
#include "config_platform.h"

namespace {

class ConfigLoad : public ::testing::Test {
 protected:
  ConfigLoad() {
    P.RegisterChrome();
    P.Drives['E'] = DRIVE_REMOVABLE;
  }
  // A fresh object (every setting at its default) that has read Text.
  std::unique_ptr<TTWConfig> LoadText(const std::string& Text) {
    P.Files[kConfigFile] = Text;
    auto c = std::make_unique<TTWConfig>(kConfigFile);
    c->Load();
    return c;
  }
  static std::string Root(const std::string& Body) { return "<TDW>" + Body + "</TDW>"; }
  TConfigPlatform P;
  TConfigMachine M{P, "de_DE"};
};

// Every field away from its default, so that a round trip shows each one.
void ChangeEverything(TTWRecordConfig& R) {
  R.FileSearchMasks = {"*.one", "two?.*", "*.one"};
  R.Exceptions.FileMasks = {"keep.me"};
  R.Exceptions.DirectoryMasks = {"System Volume Information", "x&y"};
  R.DeleteFiles.DeleteMethod = 1;
  R.DeleteFiles.ConformationDialog = 0;
  R.Browsers.InternetExplorer = 0;
  R.Browsers.Firefox = 1;
  R.Browsers.Opera = 2;
  R.Browsers.Safari = 1;
  R.Browsers.Chrome = 0;
  R.Browsers.Options.Cookies = 0;
  R.Browsers.Options.Cache = 200;
  R.Browsers.Options.History = 0;
  R.AdditionalOptions.FileSearchMasks = 0;
  R.AdditionalOptions.TemporaryDirectory = 0;
  R.AdditionalOptions.RecentDocuments = 0;
  R.AdditionalOptions.RecycleBin = 0;
  R.AdditionalOptions.OldUpdateFiles = 0;
  R.AdditionalOptions.SystemLog = 0;
  for (TTWDriveEntry& e : R.Drives.Entries) e.Selected = e.Letter == 'E';
  R.Language = "tr";
}

TEST_F(ConfigLoad, SavedSettingsReadBackEqual) {
  for (bool changed : {false, true}) {
    SCOPED_TRACE(changed ? "changed settings" : "defaults");
    TTWConfig config(kConfigFile);
    if (changed) ChangeEverything(config.Current);
    config.Save();
    TTWConfig again(kConfigFile);
    if (changed) {
      ASSERT_NE(RecordDifference(again.Current, config.Current), "");
    }
    again.Load();
    EXPECT_EQ(RecordDifference(again.Current, config.Current), "");
  }
}

TEST_F(ConfigLoad, MasksComeBackTrimmedAndEmptyOnesDisappear) {
  TTWConfig config(kConfigFile);
  config.Current.FileSearchMasks = {"  a   b\t", "", "\r\nc\n", " "};
  config.Save();
  TTWConfig again(kConfigFile);
  again.Load();
  EXPECT_EQ(again.Current.FileSearchMasks, (TStringList{"a b", "c"}));
}

TEST_F(ConfigLoad, UnreadableOrForeignFilesKeepTheDefaults) {
  const struct {
    const char* Name;
    const char* Text;
  } cases[] = {
      {"empty", ""},
      {"declaration only", "<?xml version=\"1.0\"?>\r\n"},
      {"plain text", "FileSearchMasks=*.tmp"},
      {"foreign root", "<html><TDW Language=\"fr\"/></html>"},
      {"root in other case", "<tdw Language=\"fr\"><FileSearchMasks/></tdw>"},
      {"binary", "\x01\xff\xfe<\x00>\x00\x00"},
      {"only an end tag", "</TDW>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto config = LoadText(c.Text);
    EXPECT_EQ(RecordDifference(config->Current, config->Defaults), "");
  }
  // No file at all.
  P.Files.clear();
  TTWConfig missing(kConfigFile);
  missing.Load();
  EXPECT_EQ(RecordDifference(missing.Current, missing.Defaults), "");
}

TEST_F(ConfigLoad, DeleteMethodIsOnlyRaisedAndShredWins) {
  const struct {
    uint8_t Before;
    const char* Attributes;
    uint8_t After;
  } cases[] = {
      {0, "MoveToRecycleBin=\"1\"", 1},
      {0, "Shred=\"1\"", 2},
      {0, "Shred=\"1\" MoveToRecycleBin=\"1\"", 2},
      {0, "MoveToRecycleBin=\"1\" Shred=\"1\"", 2},
      {2, "MoveToRecycleBin=\"1\"", 1},
      {1, "Shred=\"5\"", 2},
      {1, "MoveToRecycleBin=\"0\" Shred=\"0\"", 1},
      {2, "MoveToRecycleBin=\"0\"", 2},
      {0, "MoveToRecycleBin=\"256\"", 0},  // low byte 0
      {0, "MoveToRecycleBin=\"$101\"", 1},
      {1, "MoveToRecycleBin=\"yes\"", 1},  // not a number: unchanged
      {2, "Shred=\"\"", 2},
      {0, "Shred=\"on\"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Attributes);
    P.Files[kConfigFile] =
        Root(std::string("<DeleteFiles ") + c.Attributes + " ConformationDialog=\"0\"/>");
    TTWConfig config(kConfigFile);
    config.Current.DeleteFiles.DeleteMethod = c.Before;
    config.Load();
    EXPECT_EQ(config.Current.DeleteFiles.DeleteMethod, c.After);
    EXPECT_EQ(config.Current.DeleteFiles.ConformationDialog, 0);
  }
}

TEST_F(ConfigLoad, NumbersFollowTheNumberRule) {
  const uint8_t kUnchanged = 7;
  const struct {
    const char* Value;
    uint8_t Flag;
  } cases[] = {
      {"0", 0},
      {"1", 1},
      {"2", 2},
      {"256", 0},
      {"257", 1},
      {"-1", 255},
      {"+5", 5},
      {"   3", 3},
      {"\t4", 4},  // the reader turns a tab into a blank
      {"0010", 10},
      {"08", 8},
      {"$1", 1},
      {"$ff", 255},
      {"x10", 16},
      {"X1f", 31},
      {"0x1FF", 255},
      {"0X0a", 10},
      {"-$1", 255},
      {"$FFFFFFFF", 255},
      {"$0000000FE", 254},
      {"2147483647", 255},
      {"-2147483648", 0},
      {"&#49;", 1},
      {"", kUnchanged},
      {" ", kUnchanged},
      {"1 ", kUnchanged},
      {"1a", kUnchanged},
      {"1.0", kUnchanged},
      {"abc", kUnchanged},
      {"$", kUnchanged},
      {"0x", kUnchanged},
      {"x", kUnchanged},
      {"-", kUnchanged},
      {"+-1", kUnchanged},
      {"$-1", kUnchanged},
      {"$G", kUnchanged},
      {"$100000000", kUnchanged},
      {"2147483648", kUnchanged},
      {"-2147483649", kUnchanged},
      {"99999999999999999999", kUnchanged},
      {"0b1", kUnchanged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("value \"") + c.Value + "\"");
    P.Files[kConfigFile] = Root(std::string("<AdditionalOptions SystemLog=\"") + c.Value + "\"/>");
    TTWConfig config(kConfigFile);
    config.Current.AdditionalOptions.SystemLog = kUnchanged;
    config.Load();
    EXPECT_EQ(config.Current.AdditionalOptions.SystemLog, c.Flag);
  }
}

// The reader hands attributes over sorted by name; the rules run in that order and stop
// at the first unknown one.
TEST_F(ConfigLoad, AnUnknownBrowsersAttributeStopsInSortedOrder) {
  const std::string rest =
      "<Options Cookies=\"0\"/></Browsers>"
      "<AdditionalOptions SystemLog=\"0\"/><Drives><Drive>E</Drive></Drives>";
  {
    SCOPED_TRACE("Zebra sorts after Chrome and Firefox");
    auto c = LoadText(Root("<Browsers Zebra=\"1\" Chrome=\"0\" Firefox=\"1\">" + rest));
    EXPECT_EQ(c->Current.Browsers.Chrome, 0);
    EXPECT_EQ(c->Current.Browsers.Firefox, 1);
    EXPECT_EQ(c->Current.Browsers.Options.Cookies, 1);
    EXPECT_EQ(c->Current.AdditionalOptions.SystemLog, 1);
    EXPECT_EQ(SelectedDrives(c->Current), "C");
  }
  {
    SCOPED_TRACE("Dolphin sorts between Chrome and Firefox");
    auto c = LoadText(Root("<Browsers Chrome=\"0\" Firefox=\"1\" Dolphin=\"1\">" + rest));
    EXPECT_EQ(c->Current.Browsers.Chrome, 0);
    EXPECT_EQ(c->Current.Browsers.Firefox, 0);
    EXPECT_EQ(c->Current.Browsers.Options.Cookies, 1);
    EXPECT_EQ(SelectedDrives(c->Current), "C");
  }
}

TEST_F(ConfigLoad, RootAttributes) {
  const struct {
    const char* Root;
    const char* Language;
    bool BodyRead;
  } cases[] = {
      {"<TDW Version=\"1.0.0\" Language=\"fr\">", "fr", true},
      {"<TDW Language=\"fr\" Version=\"9.9\">", "fr", true},
      {"<TDW Language=\"\">", "de_DE", true},
      {"<TDW>", "de_DE", true},
      {"<TDW Build=\"7\" Language=\"fr\" Version=\"1.0.0\">", "de_DE", false},
      {"<TDW Language=\"fr\" Zebra=\"1\">", "fr", false},
      {"<TDW language=\"fr\">", "de_DE", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Root);
    auto config = LoadText(std::string(c.Root) +
                           "<FileSearchMasks><FileMask>*.x</FileMask></FileSearchMasks></TDW>");
    EXPECT_EQ(config->Current.Language, c.Language);
    EXPECT_EQ(config->Current.FileSearchMasks.size(), c.BodyRead ? 1u : 43u);
  }
}

TEST_F(ConfigLoad, AnythingOutOfPlaceStopsAndKeepsWhatWasRead) {
  const struct {
    const char* Name;
    const char* Body;
  } cases[] = {
      {"unknown element", "<Extra/>"},
      {"element in other case", "<deletefiles Shred=\"1\"/>"},
      {"attribute on a list", "<Exceptions Kind=\"1\"/>"},
      {"child in DeleteFiles", "<DeleteFiles Shred=\"1\"><X/></DeleteFiles>"},
      {"unknown DeleteFiles attribute", "<DeleteFiles Shred=\"1\" Wipe=\"1\"/>"},
      {"text outside a mask", "<Exceptions>loose</Exceptions>"},
      {"wrong end tag in Exceptions", "<Exceptions><FileMask>a</DirectoryMask></Exceptions>"},
      {"foreign child in Browsers", "<Browsers><Option Cookies=\"0\"/></Browsers>"},
      {"child in Options", "<Browsers><Options><X/></Options></Browsers>"},
      {"child in AdditionalOptions", "<AdditionalOptions><X/></AdditionalOptions>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto config = LoadText(Root(std::string("<FileSearchMasks><FileMask>*.x</FileMask>"
                                            "</FileSearchMasks>") +
                                c.Body + "<AdditionalOptions SystemLog=\"0\"/><Drives/>"));
    EXPECT_EQ(config->Current.FileSearchMasks, (TStringList{"*.x"}));
    EXPECT_EQ(config->Current.Browsers.Options.Cookies, 1);
    EXPECT_EQ(config->Current.AdditionalOptions.SystemLog, 1);
    EXPECT_EQ(SelectedDrives(config->Current), "C");
  }
}

TEST_F(ConfigLoad, ListElements) {
  {
    SCOPED_TRACE("empty elements empty the lists");
    auto c = LoadText(Root("<FileSearchMasks/><Exceptions></Exceptions><Drives></Drives>"));
    EXPECT_TRUE(c->Current.FileSearchMasks.empty());
    EXPECT_TRUE(c->Current.Exceptions.FileMasks.empty());
    EXPECT_TRUE(c->Current.Exceptions.DirectoryMasks.empty());
    EXPECT_EQ(SelectedDrives(c->Current), "");
  }
  {
    SCOPED_TRACE("empty masks, empty-element tags and CDATA add nothing");
    auto c =
        LoadText(Root("<FileSearchMasks><FileMask></FileMask><FileMask/><FileMask>  </FileMask>"
                      "<FileMask><![CDATA[*.cdata]]></FileMask><FileMask> *.a </FileMask>"
                      "</FileSearchMasks>"));
    EXPECT_EQ(c->Current.FileSearchMasks, (TStringList{"*.a"}));
  }
  {
    SCOPED_TRACE("file and directory masks in any order, duplicates kept");
    auto c =
        LoadText(Root("<Exceptions><DirectoryMask>d1</DirectoryMask><FileMask>f1</FileMask>"
                      "<DirectoryMask>d2</DirectoryMask><FileMask>f1</FileMask></Exceptions>"));
    EXPECT_EQ(c->Current.Exceptions.FileMasks, (TStringList{"f1", "f1"}));
    EXPECT_EQ(c->Current.Exceptions.DirectoryMasks, (TStringList{"d1", "d2"}));
  }
  {
    SCOPED_TRACE("references are resolved");
    auto c =
        LoadText(Root("<FileSearchMasks><FileMask>a&amp;b&lt;c&gt;</FileMask>"
                      "</FileSearchMasks>"));
    EXPECT_EQ(c->Current.FileSearchMasks, (TStringList{"a&b<c>"}));
  }
}

// A mask whose element is not closed still counts when the list ends or reading stops
// right after its text; only the end of the file inside a mask drops it.
TEST_F(ConfigLoad, AMaskLeftOpenCountsUnlessTheFileEndsInIt) {
  const struct {
    const char* Name;
    const char* Body;
    TStringList Search, Files, Dirs;
  } cases[] = {
      {"list ends inside a mask",
       "<FileSearchMasks><FileMask>a</FileMask><FileMask>k</FileSearchMasks>",
       {"a", "k"},
       {},
       {}},
      {"unknown element after the text",
       "<FileSearchMasks><FileMask>a</FileMask><FileMask>k<Bogus/></FileMask></FileSearchMasks>",
       {"a", "k"},
       {},
       {}},
      {"exceptions end inside a file mask", "<Exceptions><FileMask>f</Exceptions>", {}, {"f"}, {}},
      {"unknown element in a directory mask",
       "<Exceptions><DirectoryMask>d<X/></DirectoryMask></Exceptions>",
       {},
       {},
       {"d"}},
      {"mismatched end tag in a directory mask",
       "<Exceptions><DirectoryMask>d</FileMask></Exceptions>",
       {},
       {},
       {"d"}},
      {"file ends inside a mask",
       "<FileSearchMasks><FileMask>a</FileMask><FileMask>~*",
       {"a"},
       {},
       {}},
      {"file ends inside an exception",
       "<Exceptions><FileMask>f</FileMask><DirectoryMask>d</DirectoryMask><FileMask>x",
       {},
       {"f"},
       {"d"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const bool search = std::string(c.Body).find("<FileSearchMasks>") != std::string::npos;
    auto config = LoadText("<TDW>" + std::string(c.Body));
    if (search) {
      EXPECT_EQ(config->Current.FileSearchMasks, c.Search);
    } else {
      EXPECT_EQ(config->Current.Exceptions.FileMasks, c.Files);
      EXPECT_EQ(config->Current.Exceptions.DirectoryMasks, c.Dirs);
    }
  }
}

// Where reading stopped is noted for the front ends, which may warn about it.
TEST_F(ConfigLoad, WhereReadingStoppedIsNoted) {
  using K = TTWReadStop;
  const struct {
    const char* Name;
    std::string Text;
    TTWReadStop::TKind Kind;
    int Line;
    const char* What;
    const char* Parent;
  } cases[] = {
      {"whole file", Root("<DeleteFiles MoveToRecycleBin=\"1\"/>"), K::None, 0, "", ""},
      {"empty file", "", K::None, 0, "", ""},
      {"foreign root", "<?xml version=\"1.0\"?>\r\n<html>\r\n</html>", K::Element, 2, "html", ""},
      {"root attribute", "<TDW Build=\"7\" Language=\"de\"/>", K::Attribute, 1, "Build", "TDW"},
      {"unknown element", "<TDW>\r\n  <Extra/>\r\n</TDW>", K::Element, 2, "Extra", "TDW"},
      {"unknown attribute before the method",
       "<TDW>\n<DeleteFiles\n Aardvark=\"1\" MoveToRecycleBin=\"1\"/>\n</TDW>", K::Attribute, 2,
       "Aardvark", "DeleteFiles"},
      {"attribute on a list", Root("<Exceptions Kind=\"1\"/>"), K::Attribute, 1, "Kind",
       "Exceptions"},
      {"options attribute", Root("<Browsers><Options Zebra=\"1\"/></Browsers>"), K::Attribute, 1,
       "Zebra", "Options"},
      {"child of AdditionalOptions", Root("<AdditionalOptions>\n<X/></AdditionalOptions>"),
       K::Element, 2, "X", "AdditionalOptions"},
      {"text outside a mask", Root("<Exceptions>\n\nloose</Exceptions>"), K::Text, 1, "",
       "Exceptions"},
      {"stray end tag", Root("<Drives></Drive></Drives>"), K::EndTag, 1, "Drive", "Drives"},
      {"cut off in a mask", "<TDW><FileSearchMasks><FileMask>*.t", K::CutOff, 0, "FileMask", ""},
      {"cut off in the drives", "<TDW><Drives><Drive>C</Drive>", K::CutOff, 0, "Drives", ""},
      {"cut off in the root", "<TDW><Drives/>", K::CutOff, 0, "TDW", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto config = LoadText(c.Text);
    const TTWReadStop& s = config->LastReadStop;
    EXPECT_EQ(s.Kind, c.Kind);
    EXPECT_EQ(s.Line, c.Line);
    EXPECT_EQ(s.Name, c.What);
    EXPECT_EQ(s.Parent, c.Parent);
  }
  // A later Load starts afresh.
  P.Files[kConfigFile] = Root("");
  TTWConfig config(kConfigFile);
  config.LastReadStop.Kind = K::Element;
  config.Load();
  EXPECT_EQ(config.LastReadStop.Kind, K::None);
}

TEST_F(ConfigLoad, DriveLetters) {
  const struct {
    const char* Drives;
    const char* Selected;
  } cases[] = {
      {"<Drive>E</Drive>", "E"},
      {"<Drive>cdrom</Drive>", "C"},
      {"<Drive>e:\\</Drive><Drive>C</Drive>", "CE"},
      {"<Drive>D</Drive>", ""},  // a CD-ROM letter has no entry
      {"<Drive>Q</Drive>", ""},
      {"<Drive>1</Drive>", ""},
      {"<Drive/><Drive>E</Drive>", "E"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Drives);
    auto config = LoadText(Root(std::string("<Drives>") + c.Drives + "</Drives>"));
    EXPECT_EQ(SelectedDrives(config->Current), c.Selected);
    EXPECT_EQ(config->Current.Drives.Entries.size(), 2u);
  }
}

TEST_F(ConfigLoad, CommentsInstructionsAndDoctypeAreIgnored) {
  auto plain = LoadText(
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
      "<TDW Language=\"nl\"><FileSearchMasks><FileMask>*.a</FileMask></FileSearchMasks>"
      "<Browsers Firefox=\"1\"><Options History=\"0\"></Options></Browsers>"
      "<Drives><Drive>E</Drive></Drives></TDW>");
  auto noisy = LoadText(
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><!-- top -->"
      "<!DOCTYPE TDW [<!ELEMENT TDW ANY>]><?app hint?>"
      "<TDW Language=\"nl\"><!-- c --><?pi x?>"
      "<FileSearchMasks><!-- c --><FileMask><!-- c -->*.a<?pi?></FileMask><?pi?>"
      "</FileSearchMasks>stray text"
      "<Browsers Firefox=\"1\"><!-- c --><Options History=\"0\"><?pi?></Options>"
      "<![CDATA[x]]></Browsers>"
      "<Drives><!-- c --><Drive><!-- c -->E</Drive><?pi?></Drives></TDW><!-- end -->");
  EXPECT_EQ(plain->Current.FileSearchMasks, (TStringList{"*.a"}));
  EXPECT_EQ(plain->Current.Browsers.Options.History, 0);
  EXPECT_EQ(RecordDifference(noisy->Current, plain->Current), "");
}

TEST_F(ConfigLoad, ARootWrittenTwiceIsReadTwice) {
  auto c = LoadText(
      "<TDW Language=\"fr\"><FileSearchMasks><FileMask>first</FileMask></FileSearchMasks>"
      "<AdditionalOptions SystemLog=\"0\" RecycleBin=\"0\"/></TDW>"
      "<TDW Language=\"ja\"><FileSearchMasks><FileMask>second</FileMask></FileSearchMasks>"
      "<AdditionalOptions SystemLog=\"1\"/></TDW>"
      "<TDW Language=\"tr\"/>");
  EXPECT_EQ(c->Current.Language, "tr");
  EXPECT_EQ(c->Current.FileSearchMasks, (TStringList{"second"}));
  EXPECT_EQ(c->Current.AdditionalOptions.SystemLog, 1);
  EXPECT_EQ(c->Current.AdditionalOptions.RecycleBin, 0);
}

// A file cut off anywhere: lists hold only whole masks that were closed before the cut,
// a Drives element without its end tag ticks nothing.
TEST_F(ConfigLoad, TruncatedFilesKeepOnlyWhatWasWhole) {
  TTWConfig source(kConfigFile);
  ChangeEverything(source.Current);
  source.Current.FileSearchMasks = {"*.~*", "file*.chk", "Deleted Items.dbx"};
  source.Current.Exceptions.FileMasks = {"boot.ini", "OPA??.bak"};
  source.Current.Exceptions.DirectoryMasks = {"winsxs"};
  source.Save();
  const std::string full = P.Files[kConfigFile];
  const size_t drives_start = full.find("<Drives>");
  const size_t drives_end = full.find("</Drives>") + 9;
  ASSERT_NE(drives_start, std::string::npos);

  auto is_prefix = [](const TStringList& Got, const TStringList& Of) {
    return Got.size() <= Of.size() && std::equal(Got.begin(), Got.end(), Of.begin());
  };
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    auto c = LoadText(full.substr(0, cut));
    const TTWRecordConfig& r = c->Current;
    if (r.FileSearchMasks != c->Defaults.FileSearchMasks) {
      EXPECT_TRUE(is_prefix(r.FileSearchMasks, source.Current.FileSearchMasks));
    }
    if (r.Exceptions.FileMasks != c->Defaults.Exceptions.FileMasks) {
      EXPECT_TRUE(is_prefix(r.Exceptions.FileMasks, source.Current.Exceptions.FileMasks));
    }
    if (r.Exceptions.DirectoryMasks != c->Defaults.Exceptions.DirectoryMasks) {
      EXPECT_TRUE(is_prefix(r.Exceptions.DirectoryMasks, source.Current.Exceptions.DirectoryMasks));
    }
    // Around the tags themselves a cut may leave a tag whose name is still whole.
    const std::string ticked = SelectedDrives(r);
    if (cut <= drives_start) {
      EXPECT_EQ(ticked, "C");
    } else if (cut < drives_start + 7) {
      EXPECT_TRUE(ticked == "C" || ticked.empty()) << ticked;
    } else if (cut < drives_end - 1) {
      EXPECT_EQ(ticked, "");
    } else if (cut < drives_end) {
      EXPECT_TRUE(ticked == "E" || ticked.empty()) << ticked;
    } else {
      EXPECT_EQ(ticked, "E");
    }
    if (cut == full.size()) {
      EXPECT_EQ(RecordDifference(r, source.Current), "");
    }
  }
}

// The file cannot hold a NUL; a setting with one could never be saved again.
TEST_F(ConfigLoad, TextsWithANulReferenceAreNotTaken) {
  auto c = LoadText(
      "<TDW Language=\"a&#0;b\"><FileSearchMasks><FileMask>x&#0;y</FileMask>"
      "<FileMask>z</FileMask></FileSearchMasks>"
      "<Exceptions><FileMask>&#x0;</FileMask><DirectoryMask>d&#0;</DirectoryMask></Exceptions>"
      "</TDW>");
  EXPECT_EQ(c->Current.Language, "de_DE");
  EXPECT_EQ(c->Current.FileSearchMasks, (TStringList{"z"}));
  EXPECT_TRUE(c->Current.Exceptions.FileMasks.empty());
  EXPECT_TRUE(c->Current.Exceptions.DirectoryMasks.empty());
  P.Files.clear();
  c->Save();
  const std::string& saved = P.Files[kConfigFile];
  EXPECT_NE(saved.find("<FileMask>z</FileMask>\r\n  </FileSearchMasks>\r\n"), std::string::npos);
}

TEST_F(ConfigLoad, HostileFilesEndQuietly) {
  const std::string deep = std::string(100000, '<') + "TDW";
  std::string nested = "<TDW><FileSearchMasks>";
  for (int i = 0; i < 20000; ++i) nested += "<FileMask>";
  const std::string huge_value = "<TDW Language=\"" + std::string(1 << 20, 'x') + "\"/>";
  std::string many_drives = "<TDW><Drives>";
  for (int i = 0; i < 20000; ++i) many_drives += "<Drive>E</Drive>";
  many_drives += "</Drives></TDW>";
  const std::string laughs =
      "<!DOCTYPE TDW [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
      "<TDW><FileSearchMasks><FileMask>&d;</FileMask></FileSearchMasks></TDW>";
  const std::string external =
      "<!DOCTYPE TDW SYSTEM \"file:///etc/passwd\"><TDW Language=\"&x;\"/>";
  const std::string nul("<TDW Language=\"a\0b\"><FileSearchMasks><FileMask>\0</FileMask>", 59);
  for (const std::string* text : std::initializer_list<const std::string*>{
           &deep, &nested, &huge_value, &many_drives, &laughs, &external, &nul}) {
    auto c = LoadText(*text);
    EXPECT_EQ(c->Current.Drives.Entries.size(), 2u);
  }
  EXPECT_EQ(LoadText(many_drives)->Current.Drives.Entries[1].Selected, 1);
  EXPECT_EQ(LoadText(huge_value)->Current.Language.size(), size_t{1} << 20);
}

}  // namespace
