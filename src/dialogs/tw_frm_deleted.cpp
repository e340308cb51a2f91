#include "dialogs/tw_frm_deleted.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <vector>

#include "app/tw_gui_translate.h"
#include "dialogs/tw_file_model.h"
#include "search/tw_files.h"
#include "search/tw_helper.h"

TFrmDeleted* FrmDeleted = nullptr;

namespace {

constexpr int kDesignWidth = 604;
constexpr int kDesignHeight = 435;
constexpr int kColumnWidths[] = {80, 315, 100, 55};
constexpr int kColumnKinds[] = {TW_COLUMN_TEXT, TW_COLUMN_TEXT, TW_COLUMN_TEXT, TW_COLUMN_NUMBER};

QLabel* NewLabel(QWidget* Parent, const char* Name) {
  auto* L = new QLabel(Parent);
  L->setObjectName(QString::fromLatin1(Name));
  L->setTextFormat(Qt::PlainText);
  return L;
}

}  // namespace

TFrmDeleted::TFrmDeleted(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("FrmDeleted"));
  setSizeGripEnabled(true);
  int MinWidth = 0;
  int MinHeight = 0;
  FormCanResize(MinWidth, MinHeight);
  setMinimumSize(MinWidth, MinHeight);

  setWindowTitle(N_("Deleted files"));
  lblDeletedFiles = NewLabel(this, "lblDeletedFiles");
  lblDeletedFiles->setAutoFillBackground(true);
  lblDeletedFiles->move(8, 8);

  FModel = new TTWFileListModel(TTWFileListModel::TLayout::Deleted, this);
  FModel->SetHeaders({N_("Type"), N_("Name"), N_("Group"), N_("Size (KB)")});
  lvDeletedFiles = new QTreeView(this);
  lvDeletedFiles->setObjectName(QStringLiteral("lvDeletedFiles"));
  lvDeletedFiles->setModel(FModel);
  lvDeletedFiles->setRootIsDecorated(false);
  lvDeletedFiles->setItemsExpandable(false);
  lvDeletedFiles->setUniformRowHeights(true);
  lvDeletedFiles->setAllColumnsShowFocus(true);
  lvDeletedFiles->setSelectionMode(QAbstractItemView::SingleSelection);
  lvDeletedFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvDeletedFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  {
    QPalette P = lvDeletedFiles->palette();
    P.setColor(QPalette::Inactive, QPalette::Highlight,
               P.color(QPalette::Active, QPalette::Highlight));
    P.setColor(QPalette::Inactive, QPalette::HighlightedText,
               P.color(QPalette::Active, QPalette::HighlightedText));
    lvDeletedFiles->setPalette(P);
  }
  QHeaderView* Header = lvDeletedFiles->header();
  Header->setStretchLastSection(false);
  Header->setSectionsMovable(false);
  Header->setSectionsClickable(true);
  Header->setSortIndicatorShown(true);
  for (int C = 0; C < 4; ++C) Header->resizeSection(C, kColumnWidths[C]);

  lblDeletedFilesSize = NewLabel(this, "lblDeletedFilesSize");
  lblDeletedFilesSize->setText(N_("Size of deleted files:"));
  lblSize = NewLabel(this, "lblSize");
  bbtnClose =
      new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), N_("&Close"), this);
  bbtnClose->setObjectName(QStringLiteral("bbtnClose"));
  bbtnClose->resize(86, 25);
  bbtnClose->setDefault(true);

  setTabOrder(lvDeletedFiles, bbtnClose);
  connect(Header, &QHeaderView::sectionClicked, this,
          [this](int Column) { lvDeletedFilesColumnClick(Column); });
  connect(bbtnClose, &QPushButton::clicked, this, [this] { bbtnCloseClick(); });

  resize(kDesignWidth, kDesignHeight);
  FormCreate();
}

void TFrmDeleted::FormCreate() {
  // The outcome and the figure are set by code, looked up when they are set.
  FTranslator.ExemptProperty(lblDeletedFiles, "text");
  FTranslator.ExemptProperty(lblSize, "text");
  TranslateForm(false);
}

void TFrmDeleted::TranslateForm(bool Retranslate) {
  if (!FTranslator.Translate(this, Retranslate)) return;
  lblDeletedFilesSize->adjustSize();
  ShowOutcome();
  ShowDeletedSize();
  PlaceControls();
  FitCaptions(this);
}

void TFrmDeleted::ShowOutcome() {
  QPalette P = palette();
  if (FCanceled) {
    lblDeletedFiles->setText(UiText("Following files have been already deleted."));
    P.setColor(QPalette::Window, QColor(255, 0, 0));
  } else {
    lblDeletedFiles->setText(UiText("Following files have been successfully deleted."));
  }
  lblDeletedFiles->setPalette(P);
  lblDeletedFiles->adjustSize();
}

void TFrmDeleted::ShowDeletedSize() {
  lblSize->setText(QString::fromStdString(Helper->SizeToMB(FDeletedTotal)) + QLatin1Char(' ') +
                   UiText("MB"));
  lblSize->adjustSize();
}

void TFrmDeleted::PlaceControls() {
  const int W = width();
  const int H = height();
  lvDeletedFiles->setGeometry(8, 25, W - (kDesignWidth - 580), H - (kDesignHeight - 360));
  lblDeletedFilesSize->move(8, H - (kDesignHeight - 390));
  lblSize->move(lblDeletedFilesSize->x() + lblDeletedFilesSize->width() + 8,
                lblDeletedFilesSize->y());
  bbtnClose->move(W - (kDesignWidth - 502), H - (kDesignHeight - 394));
}

void TFrmDeleted::resizeEvent(QResizeEvent* Event) {
  QDialog::resizeEvent(Event);
  PlaceControls();
}

bool TFrmDeleted::FormCanResize(int& NewWidth, int& NewHeight) {
  NewHeight = std::max(NewHeight, 300);
  NewWidth = std::max(NewWidth, 600);
  return true;
}

void TFrmDeleted::ShowDeletedFiles(TTWFileList* List, bool Canceled) {
  FSortDescending = false;
  FDeletedTotal = 0;
  FCanceled = Canceled;
  ShowOutcome();
  std::vector<int> Rows;
  const int Count = List ? List->Count() : 0;
  for (int I = 0; I < Count; ++I) {
    const TTWRecordFile& E = List->Items(I);
    if (E.Checked && E.Deleted) {
      Rows.push_back(I);
      FDeletedTotal += E.Size;
    }
  }
  FModel->SetRows(List, std::move(Rows));
  SortByColumn(1);
  ShowDeletedSize();
  PlaceControls();
  lvDeletedFiles->scrollToTop();

  exec();

  FModel->Clear();
}

void TFrmDeleted::SortByColumn(int Column) {
  if (Column < 0 || Column >= FModel->columnCount()) return;
  FSortColumn = Column;
  FModel->Sort(Column, [this](const TTWListRow& A, const TTWListRow& B) {
    return lvDeletedFilesCompare(A, B);
  });
  lvDeletedFiles->header()->setSortIndicator(
      Column, FSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  FSortDescending = !FSortDescending;
}

void TFrmDeleted::lvDeletedFilesColumnClick(int Column) {
  SortByColumn(Column);
}

int TFrmDeleted::lvDeletedFilesCompare(const TTWListRow& Item1, const TTWListRow& Item2) const {
  return Helper->CompareItems(Item1, Item2, FSortColumn, kColumnKinds[FSortColumn],
                              FSortDescending);
}

void TFrmDeleted::bbtnCloseClick() {
  close();
}
