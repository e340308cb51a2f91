// The program's entry sequence: single instance, helper, command line, settings,
// language, the five windows, the message loop, and shut-down.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QApplication;

struct TTWStartupOptions {
  // Folder of the instance lock and socket; empty for the user's runtime folder.
  std::string InstanceFolder;
  // Told the name of each step as it begins (for tests).
  std::function<void(const std::string& Step)> OnStep;
  // Called once the windows exist, just before the message loop (for tests).
  std::function<void()> BeforeLoop;
};

// Args exclude the program's own path. Returns the exit code.
int TidewellMain(QApplication& App, const std::vector<std::string>& Args,
                 const TTWStartupOptions& Options = {});

// The message box of a catalog that cannot be used ("Localization problem").
void ShowLocalisationProblem(const std::string& Title, const std::string& Text);
