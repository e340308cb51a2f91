#include "dialogs/tw_frm_options.h"

#include <algorithm>
#include <type_traits>

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <algorithm>

#include "app/tw_gui_skin.h"
#include "app/tw_gui_translate.h"
#include "app/tw_i18n.h"
#include "config/tw_config.h"
#include "search/tw_helper.h"

TFrmOptions* FrmOptions = nullptr;

namespace {

QString Tr(const char* English) {
  return UiText(English);
}

// The line's own bytes, so that a mask read from the file goes back byte for byte even
// when it is not valid UTF-8.
constexpr int kBytesRole = Qt::UserRole + 1;

class TTWMaskItem : public QListWidgetItem {
 public:
  explicit TTWMaskItem(const std::string& Text)
      : QListWidgetItem(QString::fromStdString(Text), nullptr, QListWidgetItem::UserType) {
    setData(kBytesRole, QByteArray(Text.data(), static_cast<qsizetype>(Text.size())));
  }
  bool operator<(const QListWidgetItem& Other) const override {
    const int C = QString::compare(text(), Other.text(), Qt::CaseInsensitive);
    return C != 0 ? C < 0 : text() < Other.text();
  }
};

// The browser list's order, which is not the order of the settings.
enum { kChrome, kInternetExplorer, kFirefox, kOpera, kSafari, kBrowserCount };
const char* const kBrowserNames[kBrowserCount] = {"Chrome", "Internet Explorer", "Mozilla Firefox",
                                                  "Opera", "Safari"};

Qt::CheckState Tick(TTWBool Flag) {
  return Flag != 0 ? Qt::Checked : Qt::Unchecked;
}

TTWBool Flag(bool Ticked) {
  return Ticked ? 1 : 0;
}

template <class T>
T* Make(QWidget* Parent, const char* Name, int X, int Y, int W, int H) {
  T* W_ = new T(Parent);
  W_->setObjectName(Name);
  W_->setGeometry(X, Y, W, H);
  return W_;
}

// A control with its English caption (a check or radio box, a button, a group box).
template <class T>
T* Make(QWidget* Parent, const char* Name, const char* Caption, int X, int Y, int W, int H) {
  T* W_ = Make<T>(Parent, Name, X, Y, W, H);
  if constexpr (std::is_base_of_v<QGroupBox, T>)
    W_->setTitle(QString::fromUtf8(Caption));
  else
    W_->setText(QString::fromUtf8(Caption));
  return W_;
}

// The warning lines have a fixed width; a face wider than the design's gets a smaller size
// rather than losing the end of a sentence.
void FitLine(QLabel* Label) {
  QFont F = Label->window()->font();
  while (F.pointSizeF() > 6 && QFontMetrics(F).horizontalAdvance(Label->text()) > Label->width())
    F.setPointSizeF(F.pointSizeF() - 0.5);
  Label->setFont(F);
}

// Likewise a tick or option box: it first takes the room left in its group box, then a
// smaller size, so that a wider face than the design's never cuts its caption.
void FitButton(QAbstractButton* Button) {
  Button->setFont(Button->window()->font());  // a caption may have become shorter
  const int Room = Button->parentWidget()->width() - Button->x() - 4;
  if (Button->sizeHint().width() > Button->width() && Room > Button->width())
    Button->resize(std::min(Room, Button->sizeHint().width()), Button->height());
  QFont F = Button->font();
  while (F.pointSizeF() > 6 && Button->sizeHint().width() > Button->width()) {
    F.setPointSizeF(F.pointSizeF() - 0.5);
    Button->setFont(F);
  }
}

void FillList(TTWListBox* Box, const TStringList& Lines) {
  Box->clear();
  for (const std::string& Line : Lines) Box->AddLine(Line);
  // Loaded lines get their scroll extent at once, not only after the next edit.
  int Extent = Box->HorizontalExtent();
  for (const std::string& Line : Lines)
    Extent = TTWHelper::GetScrollWidth(Box->TextWidth(Line), Extent);
  Box->SetHorizontalExtent(Extent);
}

void StoreList(const TTWListBox* Box, TStringList& Lines) {
  Lines.clear();
  for (int I = 0; I < Box->count(); ++I) Lines.push_back(Box->LineText(I));
}

}  // namespace

// --- TTWListBox

TTWListBox::TTWListBox(QWidget* Parent) : QListWidget(Parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSortingEnabled(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

QListWidgetItem* TTWListBox::AddLine(const std::string& Text) {
  auto* Item = new TTWMaskItem(Text);
  addItem(Item);
  return Item;
}

std::string TTWListBox::LineText(int Row) const {
  const QListWidgetItem* Item = item(Row);
  if (!Item) return std::string();
  const QByteArray Bytes = Item->data(kBytesRole).toByteArray();
  return std::string(Bytes.constData(), static_cast<size_t>(Bytes.size()));
}

void TTWListBox::SetHorizontalExtent(int Extent) {
  FExtent = std::max(0, Extent);
  updateGeometries();
}

int TTWListBox::TextWidth(const std::string& Text) const {
  return QFontMetrics(font()).horizontalAdvance(QString::fromStdString(Text));
}

void TTWListBox::updateGeometries() {
  QListWidget::updateGeometries();
  // The extent alone decides how far the lines scroll sideways.
  horizontalScrollBar()->setRange(0, std::max(0, FExtent - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

// --- TFrmOptions

TFrmOptions::TFrmOptions(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FrmOptions");
  setWindowTitle(N_("Options"));
  setFixedSize(631, 317);
  setFont(DesignFont());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  pgcOptions = Make<QTabWidget>(this, "pgcOptions", 8, 8, 607, 233);
  tbsGeneral = new QWidget;
  tbsGeneral->setObjectName("tbsGeneral");
  tbsAdvanced = new QWidget;
  tbsAdvanced->setObjectName("tbsAdvanced");
  pgcOptions->addTab(tbsGeneral, N_("General"));
  pgcOptions->addTab(tbsAdvanced, N_("Advanced"));

  // "General": three group boxes side by side.
  gbDeleteFiles = Make<QGroupBox>(tbsGeneral, "gbDeleteFiles", N_("Delete files"), 8, 8, 189, 189);
  rbtnRemove =
      Make<QRadioButton>(gbDeleteFiles, "rbtnRemove", N_("Normally remove"), 12, 24, 170, 20);
  rbtnMoveToRecycleBin = Make<QRadioButton>(gbDeleteFiles, "rbtnMoveToRecycleBin",
                                            N_("Move to recycle bin"), 12, 48, 170, 20);
  rbtnShred = Make<QRadioButton>(gbDeleteFiles, "rbtnShred", N_("Shred"), 12, 72, 170, 20);
  cbConformationDialog = Make<QCheckBox>(gbDeleteFiles, "cbConformationDialog",
                                         N_("Display confirmation dialog"), 12, 108, 170, 20);
  rbtnRemove->setChecked(true);

  gbBrowsers = Make<QGroupBox>(tbsGeneral, "gbBrowsers", N_("Browsers"), 205, 8, 189, 189);
  clbBrowsers = Make<QListWidget>(gbBrowsers, "clbBrowsers", 12, 24, 150, 73);
  clbBrowsers->setSelectionMode(QAbstractItemView::SingleSelection);
  for (int I = 0; I < kBrowserCount; ++I) {
    auto* Item = new QListWidgetItem(clbBrowsers);
    Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    Item->setCheckState(Qt::Unchecked);
    Item->setText(QString::fromUtf8(kBrowserNames[I]));  // product names: not translated
  }
  cbCookies = Make<QCheckBox>(gbBrowsers, "cbCookies", N_("Cookies"), 12, 108, 170, 20);
  cbCache = Make<QCheckBox>(gbBrowsers, "cbCache", N_("Cache"), 12, 132, 170, 20);
  cbHistory = Make<QCheckBox>(gbBrowsers, "cbHistory", N_("History"), 12, 156, 170, 20);

  gbAdditionalOptions = Make<QGroupBox>(tbsGeneral, "gbAdditionalOptions", N_("Additional options"),
                                        402, 8, 189, 189);
  cbFileSearchMasks = Make<QCheckBox>(gbAdditionalOptions, "cbFileSearchMasks",
                                      N_("File search masks"), 12, 24, 170, 20);
  cbTemporaryDirectory = Make<QCheckBox>(gbAdditionalOptions, "cbTemporaryDirectory",
                                         N_("Temporary directory"), 12, 48, 170, 20);
  cbRecentDocuments = Make<QCheckBox>(gbAdditionalOptions, "cbRecentDocuments",
                                      N_("Recently used documents"), 12, 72, 170, 20);
  cbRecycleBin =
      Make<QCheckBox>(gbAdditionalOptions, "cbRecycleBin", N_("Recycle Bin"), 12, 96, 170, 20);
  cbOldUpdates = Make<QCheckBox>(gbAdditionalOptions, "cbOldUpdates", N_("Old Update files"), 12,
                                 120, 170, 20);
  cbSystemLog =
      Make<QCheckBox>(gbAdditionalOptions, "cbSystemLog", N_("System log"), 12, 144, 170, 20);

  // "Advanced": the warning, then the three mask lists.
  gbAdvancedUsers = Make<QGroupBox>(tbsAdvanced, "gbAdvancedUsers", 8, 0, 585, 41);
  lblAdvancedUsers1 = Make<QLabel>(gbAdvancedUsers, "lblAdvancedUsers1", 8, 6, 569, 15);
  lbAdvancedUsers2 = Make<QLabel>(gbAdvancedUsers, "lbAdvancedUsers2", 8, 21, 569, 15);
  for (QLabel* L : {lblAdvancedUsers1, lbAdvancedUsers2}) L->setTextFormat(Qt::PlainText);
  lblAdvancedUsers1->setText(
      N_("These settings are only for advanced users who have sufficient knowledge about the "
         "dangers of changing them."));
  lbAdvancedUsers2->setText(
      N_("You should not change these settings unless you know what effect the changes will "
         "have on your system."));

  struct TMaskBox {
    QGroupBox*& Box;
    const char* BoxName;
    const char* Caption;
    int X;
    TTWListBox*& List;
    const char* ListName;
    QPushButton*& Add;
    const char* AddName;
    QPushButton*& Remove;
    const char* RemoveName;
  };
  const TMaskBox Boxes[] = {
      {gbFileSearchMasks, "gbFileSearchMasks", N_("File search masks (wildcards)"), 8,
       lbFileSearchMasks, "lbFileSearchMasks", btnAddFileSearchMask, "btnAddFileSearchMask",
       btnRemoveFileSearchMask, "btnRemoveFileSearchMask"},
      {gbFileExceptions, "gbFileExceptions", N_("File exceptions (wildcards)"), 205,
       lbFileExceptions, "lbFileExceptions", btnAddFileExceptions, "btnAddFileExceptions",
       btnRemoveFileExceptions, "btnRemoveFileExceptions"},
      {gbDirectoryExceptions, "gbDirectoryExceptions", N_("Directory exceptions (wildcards)"), 402,
       lbDirectoryExceptions, "lbDirectoryExceptions", btnAddDirectoryExceptions,
       "btnAddDirectoryExceptions", btnRemoveDirectoryExceptions, "btnRemoveDirectoryExceptions"},
  };
  for (const TMaskBox& B : Boxes) {
    B.Box = Make<QGroupBox>(tbsAdvanced, B.BoxName, B.Caption, B.X, 53, 189, 144);
    B.List = Make<TTWListBox>(B.Box, B.ListName, 8, 20, 173, 80);
    B.Add = Make<QPushButton>(B.Box, B.AddName, N_("Add"), 8, 108, 80, 25);
    B.Remove = Make<QPushButton>(B.Box, B.RemoveName, N_("Remove"), 101, 108, 80, 25);
  }

  bbtnOK = Make<QPushButton>(this, "bbtnOK", N_("&OK"), 348, 257, 86, 25);
  bbtnOK->setDefault(true);
  bbtnCancel = Make<QPushButton>(this, "bbtnCancel", N_("&Cancel"), 442, 257, 86, 25);
  btnDefault = Make<QPushButton>(this, "btnDefault", N_("&Default"), 536, 257, 80, 25);
  for (QPushButton* B : {bbtnCancel, btnDefault}) B->setAutoDefault(false);

  sbOptions = Make<QStatusBar>(this, "sbOptions", 0, 317 - 22, 631, 22);
  sbOptions->setSizeGripEnabled(false);
  FHintPanel = new QLabel(sbOptions);
  FHintPanel->setObjectName("sbOptionsPanel");
  FHintPanel->setTextFormat(Qt::PlainText);
  sbOptions->addWidget(FHintPanel, 1);

  connect(bbtnOK, &QPushButton::clicked, this, &TFrmOptions::bbtnOKClick);
  connect(bbtnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnDefault, &QPushButton::clicked, this, &TFrmOptions::btnDefaultClick);
  connect(btnAddFileSearchMask, &QPushButton::clicked, this,
          &TFrmOptions::btnAddFileSearchMaskClick);
  connect(btnRemoveFileSearchMask, &QPushButton::clicked, this,
          &TFrmOptions::btnRemoveFileSearchMaskClick);
  connect(btnAddFileExceptions, &QPushButton::clicked, this,
          &TFrmOptions::btnAddFileExceptionsClick);
  connect(btnRemoveFileExceptions, &QPushButton::clicked, this,
          &TFrmOptions::btnRemoveFileExceptionsClick);
  connect(btnAddDirectoryExceptions, &QPushButton::clicked, this,
          &TFrmOptions::btnAddDirectoryExceptionsClick);
  connect(btnRemoveDirectoryExceptions, &QPushButton::clicked, this,
          &TFrmOptions::btnRemoveDirectoryExceptionsClick);
  // A radio button chosen by the user or by LoadSettings counts alike.
  connect(rbtnRemove, &QRadioButton::toggled, this, [this](bool On) {
    if (On) rbtnRemoveClick();
  });
  connect(rbtnMoveToRecycleBin, &QRadioButton::toggled, this, [this](bool On) {
    if (On) rbtnMoveToRecycleBinClick();
  });
  connect(rbtnShred, &QRadioButton::toggled, this, [this](bool On) {
    if (On) rbtnShredClick();
  });

  // Hints: status-bar texts only, never pop-up tips.
  btnDefault->setStatusTip(N_("Resets settings to default values."));
  rbtnRemove->setStatusTip(
      N_("Removes files (recovery tool might be able to recover deleted files)."));
  rbtnMoveToRecycleBin->setStatusTip(N_("Moves deleted files to recycle bin."));
  rbtnShred->setStatusTip(
      N_("Overwrites files with random data and erases them to make sure that the files are "
         "permanently gone."));
  cbConformationDialog->setStatusTip(N_("Displays a delete conformation dialog."));
  clbBrowsers->setStatusTip(
      N_("Choose browser which you would like to inlcude into the cleaning process."));
  cbCookies->setStatusTip(N_("Removes the browser cookies."));
  cbCache->setStatusTip(N_("Removes the browser cache."));
  cbHistory->setStatusTip(N_("Removes the browser history."));
  cbFileSearchMasks->setStatusTip(
      N_("Deletes all files which fit to one of the file search masks."));
  cbTemporaryDirectory->setStatusTip(N_("Empties the temporary directory."));
  cbRecentDocuments->setStatusTip(N_("Removes the list from recently used documents."));
  cbRecycleBin->setStatusTip(N_("Empties the Recycle Bin."));
  cbOldUpdates->setStatusTip(N_("Removes unused old system update files."));
  cbSystemLog->setStatusTip(N_("Removes the Windows system log."));
  lbFileSearchMasks->setStatusTip(N_("Every file which fits one off this mask will be deleted."));
  lbFileExceptions->setStatusTip(
      N_("Every file which fits one off this exception masks won't be deleted."));
  lbDirectoryExceptions->setStatusTip(
      N_("Every directory with its content which fits one off this exception masks won't be "
         "deleted."));

  // The browsers are products' names; the mask lists are the user's.
  FTranslator.ExemptItems(clbBrowsers);
  for (QListWidget* L : {lbFileSearchMasks, lbFileExceptions, lbDirectoryExceptions})
    FTranslator.ExemptItems(L);
  FTranslator.ExemptProperty(FHintPanel, "text");
  TranslateForm(false);
}

void TFrmOptions::TranslateForm(bool Retranslate) {
  // 1. The texts; then the lines and boxes fitted to the translated captions.
  if (!FTranslator.Translate(this, Retranslate)) return;
  FitLine(lblAdvancedUsers1);
  FitLine(lbAdvancedUsers2);
  for (QAbstractButton* B : findChildren<QAbstractButton*>())
    if (qobject_cast<QCheckBox*>(B) || qobject_cast<QRadioButton*>(B)) FitButton(B);
  FitCaptions(this);

  // 2. Browsers that were not found installed are greyed; their ticks still load and store.
  const TTWInstalledBrowsers None;
  const TTWInstalledBrowsers& In = Config ? Config->Installed : None;
  const TTWBool Installed[kBrowserCount] = {In.Chrome, In.InternetExplorer, In.Firefox, In.Opera,
                                            In.Safari};
  for (int I = 0; I < kBrowserCount; ++I) {
    QListWidgetItem* Item = clbBrowsers->item(I);
    Qt::ItemFlags F = Item->flags();
    Item->setFlags(Installed[I] != 0 ? F | Qt::ItemIsEnabled : F & ~Qt::ItemIsEnabled);
  }

  // 3. From now on the hint under the mouse goes to the status bar.
  if (!FHintsInstalled) {
    FHintsInstalled = true;
    ShowHintText(QString());
  }
}

bool TFrmOptions::event(QEvent* Event) {
  if (Event->type() == QEvent::StatusTip && FHintsInstalled) {
    ShowHintText(static_cast<QStatusTipEvent*>(Event)->tip());
    Event->accept();
    return true;
  }
  return QDialog::event(Event);
}

void TFrmOptions::ShowHintText(const QString& Hint) {
  FHintPanel->setText(QStringLiteral("  ") + Hint);
}

void TFrmOptions::showEvent(QShowEvent* Event) {
  if (!Event->spontaneous() && Config) LoadSettings(Config->Current);
  QDialog::showEvent(Event);
}

void TFrmOptions::LoadSettings(const TTWRecordConfig& Settings) {
  switch (Settings.DeleteFiles.DeleteMethod) {
    case 1:
      rbtnMoveToRecycleBin->setChecked(true);
      break;
    case 2:
      rbtnShred->setChecked(true);
      break;
    default:
      rbtnRemove->setChecked(true);
      break;
  }
  // Also when the button was already chosen, so that the Recycle Bin box follows.
  if (rbtnMoveToRecycleBin->isChecked())
    rbtnMoveToRecycleBinClick();
  else
    rbtnRemoveClick();
  cbConformationDialog->setChecked(Settings.DeleteFiles.ConformationDialog != 0);

  const TTWRecordBrowsers& B = Settings.Browsers;
  clbBrowsers->item(kChrome)->setCheckState(Tick(B.Chrome));
  clbBrowsers->item(kInternetExplorer)->setCheckState(Tick(B.InternetExplorer));
  clbBrowsers->item(kFirefox)->setCheckState(Tick(B.Firefox));
  clbBrowsers->item(kOpera)->setCheckState(Tick(B.Opera));
  clbBrowsers->item(kSafari)->setCheckState(Tick(B.Safari));
  cbCookies->setChecked(B.Options.Cookies != 0);
  cbCache->setChecked(B.Options.Cache != 0);
  cbHistory->setChecked(B.Options.History != 0);

  const TTWRecordAdditionalOptions& A = Settings.AdditionalOptions;
  cbFileSearchMasks->setChecked(A.FileSearchMasks != 0);
  cbTemporaryDirectory->setChecked(A.TemporaryDirectory != 0);
  cbRecentDocuments->setChecked(A.RecentDocuments != 0);
  cbRecycleBin->setChecked(A.RecycleBin != 0);
  cbOldUpdates->setChecked(A.OldUpdateFiles != 0);
  cbSystemLog->setChecked(A.SystemLog != 0);

  FillList(lbFileSearchMasks, Settings.FileSearchMasks);
  FillList(lbFileExceptions, Settings.Exceptions.FileMasks);
  FillList(lbDirectoryExceptions, Settings.Exceptions.DirectoryMasks);
}

void TFrmOptions::StoreSettings() {
  if (!Config) return;
  TTWRecordConfig& S = Config->Current;
  S.DeleteFiles.DeleteMethod = rbtnMoveToRecycleBin->isChecked() ? 1
                               : rbtnShred->isChecked()          ? 2
                                                                 : 0;
  S.DeleteFiles.ConformationDialog = Flag(cbConformationDialog->isChecked());

  auto Ticked = [this](int Row) {
    return Flag(clbBrowsers->item(Row)->checkState() == Qt::Checked);
  };
  S.Browsers.Chrome = Ticked(kChrome);
  S.Browsers.InternetExplorer = Ticked(kInternetExplorer);
  S.Browsers.Firefox = Ticked(kFirefox);
  S.Browsers.Opera = Ticked(kOpera);
  S.Browsers.Safari = Ticked(kSafari);
  S.Browsers.Options.Cookies = Flag(cbCookies->isChecked());
  S.Browsers.Options.Cache = Flag(cbCache->isChecked());
  S.Browsers.Options.History = Flag(cbHistory->isChecked());

  S.AdditionalOptions.FileSearchMasks = Flag(cbFileSearchMasks->isChecked());
  S.AdditionalOptions.TemporaryDirectory = Flag(cbTemporaryDirectory->isChecked());
  S.AdditionalOptions.RecentDocuments = Flag(cbRecentDocuments->isChecked());
  S.AdditionalOptions.RecycleBin = Flag(cbRecycleBin->isChecked());
  S.AdditionalOptions.OldUpdateFiles = Flag(cbOldUpdates->isChecked());
  S.AdditionalOptions.SystemLog = Flag(cbSystemLog->isChecked());

  StoreList(lbFileSearchMasks, S.FileSearchMasks);
  StoreList(lbFileExceptions, S.Exceptions.FileMasks);
  StoreList(lbDirectoryExceptions, S.Exceptions.DirectoryMasks);
}

void TFrmOptions::AddMask(const std::string& Text, TTWListBox* ListBox) {
  if (Text.empty()) return;
  const QString Wanted = QString::fromStdString(Text);
  QListWidgetItem* Line = nullptr;
  for (int I = 0; I < ListBox->count() && !Line; ++I)
    if (QString::compare(ListBox->item(I)->text(), Wanted, Qt::CaseInsensitive) == 0)
      Line = ListBox->item(I);
  if (!Line) Line = ListBox->AddLine(Text);
  ListBox->clearSelection();
  ListBox->setCurrentItem(Line, QItemSelectionModel::ClearAndSelect);
  ListBox->SetHorizontalExtent(
      TTWHelper::GetScrollWidth(ListBox->TextWidth(Text), ListBox->HorizontalExtent()));
}

void TFrmOptions::RemoveSelectedMasks(TTWListBox* ListBox) {
  int First = -1;
  for (int I = 0; I < ListBox->count() && First < 0; ++I)
    if (ListBox->item(I)->isSelected()) First = I;
  if (First < 0) return;
  for (int I = ListBox->count() - 1; I >= 0; --I)
    if (ListBox->item(I)->isSelected()) delete ListBox->takeItem(I);
  int Extent = ListBox->HorizontalExtent();
  for (int I = 0; I < ListBox->count(); ++I)
    Extent = TTWHelper::GetScrollWidth(ListBox->TextWidth(ListBox->LineText(I)), Extent);
  ListBox->SetHorizontalExtent(Extent);
  ListBox->clearSelection();
  if (ListBox->count() > 0)
    ListBox->setCurrentRow(std::min(First, ListBox->count() - 1),
                           QItemSelectionModel::ClearAndSelect);
}

std::string TFrmOptions::InputLine(const QString& Caption, const QString& Prompt) {
  QInputDialog Box(this);
  Box.setObjectName("InputBox");
  Box.setInputMode(QInputDialog::TextInput);
  Box.setWindowTitle(Caption);
  Box.setLabelText(Prompt);
  Box.setTextValue(QString());
  Box.setOkButtonText(Tr("OK"));
  Box.setCancelButtonText(Tr("Cancel"));
  if (auto* Edit = Box.findChild<QLineEdit*>()) Edit->setMaxLength(255);
  Box.adjustSize();
  if (QScreen* S = screen() ? screen() : QGuiApplication::primaryScreen())
    Box.move(S->availableGeometry().center() - QPoint(Box.width() / 2, Box.height() / 2));
  if (Box.exec() != QDialog::Accepted) return std::string();
  return Box.textValue().toStdString();
}

void TFrmOptions::bbtnOKClick() {
  StoreSettings();
  accept();
}

void TFrmOptions::btnDefaultClick() {
  if (Config) LoadSettings(Config->Defaults);
}

void TFrmOptions::btnAddFileSearchMaskClick() {
  AddMask(InputLine(Tr("File search mask"), Tr("Assign file search mask (e.g. *.tmp).")),
          lbFileSearchMasks);
}

void TFrmOptions::btnRemoveFileSearchMaskClick() {
  RemoveSelectedMasks(lbFileSearchMasks);
}

void TFrmOptions::btnAddFileExceptionsClick() {
  AddMask(InputLine(Tr("File exception"), Tr("Assign a file exception (e.g. system.bak).")),
          lbFileExceptions);
}

void TFrmOptions::btnRemoveFileExceptionsClick() {
  RemoveSelectedMasks(lbFileExceptions);
}

void TFrmOptions::btnAddDirectoryExceptionsClick() {
  AddMask(
      InputLine(Tr("Directory exception"), Tr("Assign a directory exception (e.g. My Documents).")),
      lbDirectoryExceptions);
}

void TFrmOptions::btnRemoveDirectoryExceptionsClick() {
  RemoveSelectedMasks(lbDirectoryExceptions);
}

void TFrmOptions::rbtnRemoveClick() {
  cbRecycleBin->setEnabled(true);
}

void TFrmOptions::rbtnMoveToRecycleBinClick() {
  cbRecycleBin->setEnabled(false);
}

void TFrmOptions::rbtnShredClick() {
  cbRecycleBin->setEnabled(true);
}
