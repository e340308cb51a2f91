#include "app/tw_frm_about.h"

TFrmAbout* FrmAbout = nullptr;

TFrmAbout::TFrmAbout(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FrmAbout");
  setFixedSize(602, 305);
  TranslateForm(false);
}

void TFrmAbout::TranslateForm(bool) {
  setWindowTitle("About...");
}
