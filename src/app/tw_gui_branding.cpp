#include "app/tw_gui_branding.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QMessageBox>
#include <cstdio>

#include "app/UtilFuncs.h"
#include "app/globals.h"
#include "app/tw_i18n.h"
#include "platform/tw_platform.h"

std::string GetLogoFileName() {
  return GetProgramDir() + "logo.png";
}

void ShowOpenError(QWidget* Parent, const std::string& FileName, const std::string& Why) {
  const std::string Text = OpenErrorText(FileName, Why);
  // Also on stderr: a missing file is a deployment fault, and a program started from a
  // terminal (or a headless check of an install) should say which one.
  std::fprintf(stderr, "tidewell: %s\n", Text.c_str());
  QMessageBox Box(QMessageBox::Critical, QApplication::applicationDisplayName(),
                  QString::fromStdString(Text), QMessageBox::Ok, Parent);
  Box.setObjectName("OpenErrorBox");
  Box.setTextFormat(Qt::PlainText);
  Box.exec();
}

bool LoadBrandingValues(QWidget* Parent) {
  const std::string FileName = GetBrandingFileName();
  std::string Why;
  if (ReadBrandingFile(FileName, GlobalVars, Why)) return true;
  ShowOpenError(Parent, FileName, Why);
  return false;
}

QPixmap LoadBrandingPicture(const std::string& FileName, QWidget* Parent) {
  std::string Data;
  std::string Why;
  if (Platform().ReadSmallFile(FileName, TW_MAX_PICTURE_FILE, Data, Why)) {
    QByteArray Bytes(Data.data(), static_cast<qsizetype>(Data.size()));
    QBuffer Buffer(&Bytes);
    QImageReader Reader(&Buffer);
    QImage Image = Reader.read();
    if (!Image.isNull()) return QPixmap::fromImage(Image);
    Why = Reader.errorString().toStdString();
  }
  ShowOpenError(Parent, FileName, Why);
  return QPixmap();
}
