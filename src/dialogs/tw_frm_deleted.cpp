#include "dialogs/tw_frm_deleted.h"

#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

TFrmDeleted* FrmDeleted = nullptr;

TFrmDeleted::TFrmDeleted(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FrmDeleted");
  lvDeletedFiles = new QTreeView(this);
  lvDeletedFiles->setObjectName("lvDeletedFiles");
  bbtnClose = new QPushButton(this);
  bbtnClose->setObjectName("bbtnClose");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lvDeletedFiles);
  layout->addWidget(bbtnClose);
  connect(bbtnClose, &QPushButton::clicked, this, &QDialog::accept);
  resize(612, 462);
  TranslateForm(false);
}

void TFrmDeleted::ShowDeletedFiles(TTWFileList*, bool) {
  exec();
}

void TFrmDeleted::TranslateForm(bool) {
  setWindowTitle("Deleted files");
  bbtnClose->setText("&Close");
}
