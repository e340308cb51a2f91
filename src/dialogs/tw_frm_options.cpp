#include "dialogs/tw_frm_options.h"

TFrmOptions* FrmOptions = nullptr;

TFrmOptions::TFrmOptions(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FrmOptions");
  resize(520, 420);
  TranslateForm(false);
}

void TFrmOptions::TranslateForm(bool) {
  setWindowTitle("Options");
}
