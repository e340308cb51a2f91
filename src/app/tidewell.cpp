// tidewell: the desktop program.
#include <QApplication>
#include <string>
#include <vector>

#include "app/tw_gui_startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The desktop file's id, which Wayland compositors match the window against.
  QGuiApplication::setDesktopFileName("io.github.tidewell.Tidewell");
  // The main window ends the loop itself when it closes, after saving the settings.
  QApplication::setQuitOnLastWindowClosed(false);
  // The arguments as bytes (Qt's own options are gone from argv by now).
  std::vector<std::string> args(argv + 1, argv + argc);
  return TidewellMain(app, args);
}
