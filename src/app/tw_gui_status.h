// A status field: a lowered panel that shows one line of text. Setting the text only
// copies it and asks for a repaint, so a worker held by a status message is released
// at once; the text is converted and drawn when the panel paints.
#pragma once

#include <QFrame>
#include <string>

class TTWStatusPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TTWStatusPanel(QWidget* Parent = nullptr);

  void SetText(const std::string& Text);
  const std::string& Text() const { return FText; }
  QString text() const {
    return QString::fromUtf8(FText.data(), static_cast<qsizetype>(FText.size()));
  }
  // How often SetText was called (for the benchmark).
  uint64_t Updates() const { return FUpdates; }

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  std::string FText;
  uint64_t FUpdates = 0;
};

// Makes the panels known to assistive technologies with their text as name.
void InstallStatusPanelAccessibility();
