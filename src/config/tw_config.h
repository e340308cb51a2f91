// The settings of the program: defaults, and the XML configuration file.
#pragma once

#include <cstdint>
#include <string>

#include "config/tw_types.h"

// Where the last Load stopped before the end of the file. Reading stops at the first
// thing its rules do not allow; the settings after that point keep their defaults, which
// a front end may want to tell the user about.
struct TTWReadStop {
  enum TKind : uint8_t {
    None,       // read to the end, or no file
    Element,    // an element that is not allowed where it stands
    Attribute,  // an attribute that no rule names
    Text,       // text outside a mask or drive
    EndTag,     // an end tag of a mask or drive that is not open
    CutOff,     // the file ends before the element's end tag
  };
  TKind Kind = None;
  int Line = 0;        // from 1; 0 for CutOff
  std::string Name;    // the element, attribute or end tag; for CutOff the open element
  std::string Parent;  // the element it stands in; empty at the top level
};

class TTWConfig {
 public:
  // Every setting at its default, browsers detected, drives listed; the file is not read.
  // MakeFolder: Save first creates the file's folder and its parents when missing.
  explicit TTWConfig(std::string FileName, bool MakeFolder = false);

  void Reset();
  void FillDefaults(TTWRecordConfig& Rec);
  void Load();  // never fails, reports nothing; notes in LastReadStop where it stopped
  void Save();  // never fails, reports nothing; replaces the file atomically
  // The document that Save writes for Current.
  std::string AsText() const;

  std::string FileName;  // host path
  bool MakeFolder = false;
  TTWRecordConfig Current;
  TTWRecordConfig Defaults;
  TTWInstalledBrowsers Installed;
  TTWReadStop LastReadStop;
};

// The one settings object of the process (created by start-up).
extern TTWConfig* Config;
