#include "dialogs/tw_frm_select.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <algorithm>
#include <numeric>
#include <vector>

#include "app/tw_gui_translate.h"
#include "dialogs/tw_file_model.h"
#include "dialogs/tw_frm_properties.h"
#include "search/tw_files.h"
#include "search/tw_helper.h"

TFrmSelect* FrmSelect = nullptr;

namespace {

// Client area of the design; controls keep their distances to the edges they hang on.
constexpr int kDesignWidth = 637;
constexpr int kDesignHeight = 435;
constexpr int kColumnWidths[] = {60, 60, 305, 100, 55};
constexpr int kColumnKinds[] = {TW_COLUMN_CHECKED, TW_COLUMN_TEXT, TW_COLUMN_TEXT, TW_COLUMN_TEXT,
                                TW_COLUMN_NUMBER};

QLabel* NewLabel(QWidget* Parent, const char* Name) {
  auto* L = new QLabel(Parent);
  L->setObjectName(QString::fromLatin1(Name));
  L->setTextFormat(Qt::PlainText);
  return L;
}

QPushButton* NewButton(QWidget* Parent, const char* Name) {
  auto* B = new QPushButton(Parent);
  B->setObjectName(QString::fromLatin1(Name));
  // Enter in the list must neither tick everything nor start the deletion.
  B->setAutoDefault(false);
  B->resize(80, 25);
  return B;
}

}  // namespace

TFrmSelect::TFrmSelect(QWidget* Parent) : QDialog(Parent) {
  setObjectName(QStringLiteral("FrmSelect"));
  setSizeGripEnabled(true);
  int MinWidth = 0;
  int MinHeight = 0;
  FormCanResize(MinWidth, MinHeight);
  setMinimumSize(MinWidth, MinHeight);

  setWindowTitle(N_("Found files"));
  lblTickedFiles = NewLabel(this, "lblTickedFiles");
  lblTickedFiles->setText(
      N_("Ticked files will be deleted. Ticked directories will be only deleted, if there are "
         "empty."));
  lblTickedFiles->move(8, 8);

  FModel = new TTWFileListModel(TTWFileListModel::TLayout::Select, this);
  FModel->SetHeaders({N_("Delete"), N_("Type"), N_("Name"), N_("Group"), N_("Size (KB)")});
  lvSelectFiles = new QTreeView(this);
  lvSelectFiles->setObjectName(QStringLiteral("lvSelectFiles"));
  lvSelectFiles->setModel(FModel);
  lvSelectFiles->setRootIsDecorated(false);
  lvSelectFiles->setItemsExpandable(false);
  lvSelectFiles->setUniformRowHeights(true);
  lvSelectFiles->setAllColumnsShowFocus(true);
  lvSelectFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvSelectFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvSelectFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvSelectFiles->setSortingEnabled(false);
  {
    // The selection stays visible while the focus is elsewhere.
    QPalette P = lvSelectFiles->palette();
    P.setColor(QPalette::Inactive, QPalette::Highlight,
               P.color(QPalette::Active, QPalette::Highlight));
    P.setColor(QPalette::Inactive, QPalette::HighlightedText,
               P.color(QPalette::Active, QPalette::HighlightedText));
    lvSelectFiles->setPalette(P);
  }
  QHeaderView* Header = lvSelectFiles->header();
  Header->setStretchLastSection(false);
  Header->setSectionsMovable(false);
  Header->setSectionsClickable(true);
  Header->setSortIndicatorShown(true);
  for (int C = 0; C < 5; ++C) Header->resizeSection(C, kColumnWidths[C]);
  lvSelectFiles->installEventFilter(this);
  lvSelectFiles->setContextMenuPolicy(Qt::CustomContextMenu);

  lblTickedFilesSize = NewLabel(this, "lblTickedFilesSize");
  lblTickedFilesSize->setText(N_("Size of ticked files:"));
  lblSize = NewLabel(this, "lblSize");
  btnEnableAll = NewButton(this, "btnEnableAll");
  btnEnableAll->setText(N_("Enable all"));
  btnDisableAll = NewButton(this, "btnDisableAll");
  btnDisableAll->setText(N_("Disable all"));
  btnNext = NewButton(this, "btnNext");
  btnNext->setText(N_("Next"));

  pmFiles = new QMenu(lvSelectFiles);
  pmFiles->setObjectName(QStringLiteral("pmFiles"));
  piProperties = pmFiles->addAction(N_("Properties"));
  piProperties->setObjectName(QStringLiteral("piProperties"));

  setTabOrder(lvSelectFiles, btnEnableAll);
  setTabOrder(btnEnableAll, btnDisableAll);
  setTabOrder(btnDisableAll, btnNext);

  connect(Header, &QHeaderView::sectionClicked, this,
          [this](int Column) { lvSelectFilesColumnClick(Column); });
  connect(FModel, &TTWFileListModel::RowTicked, this, [this](int Row, bool Ticked) {
    const int64_t Size = FModel->Entry(Row).Size;
    ApplyTicks(Ticked ? Size : -Size, Row);
  });
  connect(lvSelectFiles->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& Current) {
            if (Current.isValid()) lvSelectFilesChange(Current.row());
          });
  connect(lvSelectFiles, &QWidget::customContextMenuRequested, this, [this](const QPoint& Pos) {
    pmFiles->popup(lvSelectFiles->viewport()->mapToGlobal(Pos));
  });
  connect(piProperties, &QAction::triggered, this, [this] { piPropertiesClick(); });
  connect(btnEnableAll, &QPushButton::clicked, this, [this] { btnEnableAllClick(); });
  connect(btnDisableAll, &QPushButton::clicked, this, [this] { btnDisableAllClick(); });
  connect(btnNext, &QPushButton::clicked, this, &QDialog::accept);

  resize(kDesignWidth, kDesignHeight);
  FormCreate();
}

void TFrmSelect::FormCreate() {
  // The figure is set by code, with its unit looked up.
  FTranslator.ExemptProperty(lblSize, "text");
  TranslateForm(false);
}

void TFrmSelect::TranslateForm(bool Retranslate) {
  if (!FTranslator.Translate(this, Retranslate)) return;
  lblTickedFiles->adjustSize();
  lblTickedFilesSize->adjustSize();
  ShowTickedSize(FTickedTotal);
  PlaceControls();
  FitCaptions(this);
}

void TFrmSelect::PlaceControls() {
  const int W = width();
  const int H = height();
  lvSelectFiles->setGeometry(8, 25, W - (kDesignWidth - 613), H - (kDesignHeight - 360));
  lblTickedFilesSize->move(8, H - (kDesignHeight - 390));
  // The label's width changes with the language, so the figure follows it.
  lblSize->move(lblTickedFilesSize->x() + lblTickedFilesSize->width() + 8, lblTickedFilesSize->y());
  btnEnableAll->move(W - (kDesignWidth - 365), H - (kDesignHeight - 394));
  btnDisableAll->move(W - (kDesignWidth - 453), H - (kDesignHeight - 394));
  btnNext->move(W - (kDesignWidth - 541), H - (kDesignHeight - 394));
}

void TFrmSelect::resizeEvent(QResizeEvent* Event) {
  QDialog::resizeEvent(Event);
  PlaceControls();
}

bool TFrmSelect::FormCanResize(int& NewWidth, int& NewHeight) {
  NewHeight = std::max(NewHeight, 300);
  NewWidth = std::max(NewWidth, 600);
  return true;
}

bool TFrmSelect::SelectFiles(TTWFileList* List) {
  FSortDescending = false;
  FTickedTotal = 0;
  FList = List;
  std::vector<int> Rows(List ? static_cast<size_t>(List->Count()) : 0);
  std::iota(Rows.begin(), Rows.end(), 0);
  int64_t Total = 0;
  for (int I : Rows) {
    const TTWRecordFile& E = List->Items(I);
    if (E.Checked) Total += E.Size;
  }
  // The rows take their ticks from the entries, not through the change handling.
  FModel->SetRows(List, std::move(Rows));
  SortByColumn(2);
  ShowTickedSize(Total);
  // No row is current until the user picks one; otherwise the focus alone would make
  // the first row the one that Properties names.
  lvSelectFiles->setCurrentIndex(QModelIndex());
  lvSelectFiles->scrollToTop();
  lvSelectFiles->setFocus();

  const bool Result = exec() == QDialog::Accepted;

  FModel->Clear();
  FList = nullptr;
  return Result;
}

void TFrmSelect::SortByColumn(int Column) {
  if (Column < 0 || Column >= FModel->columnCount()) return;
  FSortColumn = Column;
  FModel->Sort(Column, [this](const TTWListRow& A, const TTWListRow& B) {
    return lvSelectFilesCompare(A, B);
  });
  lvSelectFiles->header()->setSortIndicator(
      Column, FSortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  FSortDescending = !FSortDescending;
}

void TFrmSelect::ShowTickedSize(int64_t Bytes) {
  FTickedTotal = Bytes;
  lblSize->setText(QString::fromStdString(Helper->SizeToMB(Bytes)) + QLatin1Char(' ') +
                   UiText("MB"));
  lblSize->adjustSize();
}

void TFrmSelect::lvSelectFilesChange(int Row) {
  if (!isVisible() || Row < 0 || Row >= FModel->RowCount()) return;
  FLastPath = FModel->Entry(Row).Path;
}

void TFrmSelect::ApplyTicks(int64_t Delta, int LastChanged) {
  if (LastChanged < 0) return;
  lvSelectFilesChange(LastChanged);
  ShowTickedSize(FTickedTotal + Delta);
}

void TFrmSelect::lvSelectFilesColumnClick(int Column) {
  SortByColumn(Column);
}

int TFrmSelect::lvSelectFilesCompare(const TTWListRow& Item1, const TTWListRow& Item2) const {
  return Helper->CompareItems(Item1, Item2, FSortColumn, kColumnKinds[FSortColumn],
                              FSortDescending);
}

bool TFrmSelect::lvSelectFilesKeyDown(int Key) {
  if (Key != Qt::Key_Space) return false;
  std::vector<int> Rows;
  for (const QItemSelectionRange& R : lvSelectFiles->selectionModel()->selection())
    for (int Row = R.top(); Row <= R.bottom(); ++Row) Rows.push_back(Row);
  std::sort(Rows.begin(), Rows.end());
  Rows.erase(std::unique(Rows.begin(), Rows.end()), Rows.end());
  int Last = -1;
  const int64_t Delta = FModel->SetTicks(Rows, TTWFileListModel::TTick::Flip, Last);
  ApplyTicks(Delta, Last);
  return true;
}

bool TFrmSelect::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == lvSelectFiles && Event->type() == QEvent::KeyPress &&
      lvSelectFilesKeyDown(static_cast<QKeyEvent*>(Event)->key()))
    return true;
  return QDialog::eventFilter(Watched, Event);
}

void TFrmSelect::btnEnableAllClick() {
  int Last = -1;
  const int64_t Delta = FModel->SetAllTicks(true, Last);
  ApplyTicks(Delta, Last);
}

void TFrmSelect::btnDisableAllClick() {
  int Last = -1;
  const int64_t Delta = FModel->SetAllTicks(false, Last);
  ApplyTicks(Delta, Last);
}

void TFrmSelect::piPropertiesClick() {
  if (FLastPath.empty()) return;
  if (!TTWHelper::ShowProperties(FLastPath)) TFrmProperties::ShowFor(this, FLastPath);
}
