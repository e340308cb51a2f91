// Shared pieces of the dialog tests: a platform double, the helper object, small found-
// file lists, and a way to act on a modal dialog while its exec() runs.
#pragma once

#include <QDialog>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "search/tw_files.h"
#include "search/tw_helper.h"
#include "support/null_platform.h"

class TDialogPlatform : public TTWNullPlatform {
 public:
  bool ShowProperties(const std::string& Path) override {
    Shown.push_back(Path);
    return Answers;
  }
  bool FindOne(const std::string& Path, TTWFindData& Data) override {
    auto It = Objects.find(Path);
    if (It == Objects.end()) return false;
    Data = It->second;
    return true;
  }
  bool GetLastWriteTime(const std::string& Path, int64_t& Seconds) override {
    if (!Objects.count(Path)) return false;
    Seconds = 1000000000;
    return true;
  }
  std::vector<std::string> Shown;
  bool Answers = true;  // whether a file manager takes the request
  std::map<std::string, TTWFindData> Objects;
};

// One entry of a test list.
struct TEntrySpec {
  std::string Path;
  int64_t Size = 0;
  uint8_t Kind = TW_KIND_FILE;
  uint8_t Group = 0;
  bool Checked = false;
  bool Deleted = false;
};

class TTestList {
 public:
  explicit TTestList(const std::vector<TEntrySpec>& Specs) {
    FSettings.DeleteFiles.ConformationDialog = 1;
    FList = std::make_unique<TTWFileList>(FSettings);
    for (const TEntrySpec& S : Specs) {
      FList->Add(S.Path, S.Size, S.Kind, S.Group);
      TTWRecordFile& E = FList->Items(FList->Count() - 1);
      E.Checked = S.Checked;
      E.Deleted = S.Deleted;
    }
  }
  TTWFileList* operator->() { return FList.get(); }
  TTWFileList* Get() { return FList.get(); }

 private:
  TTWRecordConfig FSettings;
  std::unique_ptr<TTWFileList> FList;
};

// Runs Body once the modal loop of Dialog is running; Close ends it afterwards if Body
// did not (also when a check in Body failed and returned early).
inline void WhileModal(QDialog* Dialog, std::function<void()> Body,
                       std::function<void()> Close = {}) {
  QTimer::singleShot(0, Dialog, [Dialog, Body, Close] {
    if (!QTest::qWaitForWindowExposed(Dialog)) qWarning("dialog not exposed");
    Body();
    if (Dialog->isVisible()) {
      if (Close)
        Close();
      else
        Dialog->reject();
    }
  });
}

// Installs the double and the helper for the life of a test program.
class TDialogEnvironment {
 public:
  TDialogEnvironment() : FScoped(Platform) {
    FHelper = std::make_unique<TTWHelper>();
    FHelper->SetDecimalSeparator(".");
    Helper = FHelper.get();
  }
  ~TDialogEnvironment() { Helper = nullptr; }
  TDialogPlatform Platform;

 private:
  ScopedPlatform FScoped;
  std::unique_ptr<TTWHelper> FHelper;
};
