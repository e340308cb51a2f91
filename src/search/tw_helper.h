// The one helper object of the process: translated names of entry kinds and groups,
// size texts, list-view row comparison, shell services for the dialogs, the arrays of
// compiled masks and the reading of the command line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/tw_types.h"
#include "search/Masks.h"

// One row of the found and deleted files lists as the dialogs show it.
struct TTWListRow {
  std::string Caption;
  std::vector<std::string> SubItems;
  bool Checked = false;
};

// Column kinds of CompareItems.
inline constexpr int TW_COLUMN_TEXT = 0;
inline constexpr int TW_COLUMN_NUMBER = 1;
inline constexpr int TW_COLUMN_CHECKED = 2;

struct TTWCommandLine {
  std::string ConfigPath;  // host path
  bool AutoRun = false;
  // No "/f": the default file in the user's settings folder (see GetDefaultConfigLocation).
  bool ConfigInUserFolder = false;
};

// An argument the program does not accept. Front ends print the message and end with a
// non-zero exit code before anything else happens.
class ECommandLineError : public std::runtime_error {
 public:
  explicit ECommandLineError(const std::string& Message) : std::runtime_error(Message) {}
};

class TTWHelper {
 public:
  static constexpr int KindCount = 2;
  static constexpr int GroupCount = 21;

  TTWHelper();  // builds the names in the current language

  // Builds the names again in the current language (after every language change).
  void LoadNames();
  // Empty for an index outside the tables.
  const std::string& GetKindName(int Kind) const;
  const std::string& GetGroupName(int Group) const;
  // The same names untranslated, for machine-readable output; "" outside the tables.
  static std::string EnglishKindName(int Kind);
  static std::string EnglishGroupName(int Group);

  // Sizes for the dialogs: two decimals at most, the locale's decimal separator.
  std::string SizeToKB(int64_t Bytes) const;
  std::string SizeToMB(int64_t Bytes) const;
  // Taken from the C locale when the helper is created; front ends may set it.
  void SetDecimalSeparator(const std::string& Separator) { FDecimalSeparator = Separator; }
  const std::string& GetDecimalSeparator() const { return FDecimalSeparator; }

  // Ordering of two list rows by Column (0 the caption, c > 0 sub-item c - 1) compared
  // as ColumnKind (TW_COLUMN_*); negated when Descending.
  int CompareItems(const TTWListRow& Item1, const TTWListRow& Item2, int Column, int ColumnKind,
                   bool Descending) const;
  // 1, 0 or -1; a text that is not a number counts as 0.
  int CompareNumbers(const std::string& Text1, const std::string& Text2) const;
  // Ticked rows come first in ascending order.
  static int CompareChecked(bool Checked1, bool Checked2);

  // True when the desktop showed its properties sheet for Path.
  static bool ShowProperties(const std::string& Path);
  static std::string GetDriveDisplayName(char Letter);
  // Horizontal scroll width of a list box after adding an item TextWidth pixels wide.
  static int GetScrollWidth(int TextWidth, int CurrentScrollWidth);

  // Compiles one mask per text, in order. On a malformed text the masks compiled so far
  // are released, Masks is left empty and the EMaskException goes to the caller.
  static void CreateMasks(TTWArrayMasks& Masks, const TStringList& Texts);
  static bool MatchesAny(const TTWArrayMasks& Masks, const std::string& Name);
  static bool MatchesAny(const TTWArrayMasks& Masks, const char* Name, size_t Length);
  static void FreeMasks(TTWArrayMasks& Masks);

  // Args exclude the program's own path. Switches are "/f FILE" and "/autorun", exactly;
  // anything else throws ECommandLineError. Without a path the result is the default
  // settings file, GetDefaultConfigLocation.
  static TTWCommandLine ParseCommandLine(const std::vector<std::string>& Args);

 private:
  std::array<std::string, KindCount> FKindNames;
  std::array<std::string, GroupCount> FGroupNames;
  std::string FDecimalSeparator;
};

// The one helper object of the process (created by start-up).
extern TTWHelper* Helper;
