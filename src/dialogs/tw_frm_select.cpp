#include "dialogs/tw_frm_select.h"

#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

TFrmSelect* FrmSelect = nullptr;

TFrmSelect::TFrmSelect(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FrmSelect");
  lvSelectFiles = new QTreeView(this);
  lvSelectFiles->setObjectName("lvSelectFiles");
  btnNext = new QPushButton(this);
  btnNext->setObjectName("btnNext");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lvSelectFiles);
  layout->addWidget(btnNext);
  connect(btnNext, &QPushButton::clicked, this, &QDialog::accept);
  resize(645, 462);
  TranslateForm(false);
}

bool TFrmSelect::SelectFiles(TTWFileList*) {
  return exec() == QDialog::Accepted;
}

void TFrmSelect::TranslateForm(bool) {
  setWindowTitle("Found files");
  btnNext->setText("Next");
}
