// A small properties window of our own, for desktops where no file manager shows one.
// It only reads what the platform reports about the object; nothing is opened or run.
#pragma once

#include <QDialog>
#include <string>

class TFrmProperties : public QDialog {
  Q_OBJECT
 public:
  // Path is a Windows path as the lists show it.
  TFrmProperties(QWidget* Parent, const std::string& Path);
  // Shown beside Parent (also while Parent is modal); deletes itself when closed.
  static TFrmProperties* ShowFor(QWidget* Parent, const std::string& Path);
};
