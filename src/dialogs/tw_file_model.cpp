#include "dialogs/tw_file_model.h"

#include <algorithm>
#include <numeric>

#include "search/tw_files.h"

QString TWDisplayText(const std::string& Bytes) {
  QString Text = QString::fromUtf8(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
  for (QChar& C : Text) {
    const char16_t U = C.unicode();
    if (U < 0x20)
      C = QChar(static_cast<char16_t>(0x2400 + U));
    else if (U == 0x7F)
      C = QChar(static_cast<char16_t>(0x2421));
  }
  return Text;
}

TTWFileListModel::TTWFileListModel(TLayout Layout, QObject* Parent)
    : QAbstractTableModel(Parent), FLayout(Layout) {}

void TTWFileListModel::SetRows(TTWFileList* List, std::vector<int> Entries) {
  beginResetModel();
  FList = List;
  FRows = std::move(Entries);
  if (!FList) FRows.clear();
  endResetModel();
}

void TTWFileListModel::Clear() {
  SetRows(nullptr, {});
}

void TTWFileListModel::SetHeaders(const QStringList& Captions) {
  FHeaders = Captions.mid(0, columnCount());
  if (!FHeaders.isEmpty()) emit headerDataChanged(Qt::Horizontal, 0, int(FHeaders.size()) - 1);
}

TTWRecordFile& TTWFileListModel::Entry(int Row) const {
  return FList->Items(FRows[static_cast<size_t>(Row)]);
}

std::string TTWFileListModel::ColumnText(int Row, int Column) const {
  const TTWRecordFile& E = Entry(Row);
  const int C = HasTicks() ? Column : Column + 1;  // as in the Found files layout
  switch (C) {
    case 1:
      return Helper->GetKindName(E.Kind);
    case 2:
      return E.Path;
    case 3:
      return Helper->GetGroupName(E.Group);
    case 4:
      return Helper->SizeToKB(E.Size);
    default:
      return std::string();
  }
}

TTWListRow TTWFileListModel::ListRow(int Row) const {
  TTWListRow R;
  R.Caption = ColumnText(Row, 0);
  for (int C = 1; C < columnCount(); ++C) R.SubItems.push_back(ColumnText(Row, C));
  R.Checked = HasTicks() && Entry(Row).Checked;
  return R;
}

void TTWFileListModel::Sort(int Column, const TCompare& Compare) {
  const size_t N = FRows.size();
  if (N == 0) return;
  // Keys hold only the sorted column, so a sort by Name copies each path once and no
  // other text is formatted.
  std::vector<TTWListRow> Keys(N);
  const bool Caption = Column == 0;
  const size_t Sub = Caption ? 0 : static_cast<size_t>(Column);
  for (size_t R = 0; R < N; ++R) {
    TTWListRow& K = Keys[R];
    const int Row = static_cast<int>(R);
    if (Caption) {
      K.Caption = ColumnText(Row, 0);
    } else if (Column > 0 && Column < columnCount()) {
      K.SubItems.resize(Sub);
      K.SubItems[Sub - 1] = ColumnText(Row, Column);
    }
    K.Checked = HasTicks() && Entry(Row).Checked;
  }
  std::vector<int> Order(N);
  std::iota(Order.begin(), Order.end(), 0);
  std::stable_sort(Order.begin(), Order.end(), [&](int A, int B) {
    return Compare(Keys[static_cast<size_t>(A)], Keys[static_cast<size_t>(B)]) < 0;
  });

  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> NewRowOf(N);
  std::vector<int> Rows(N);
  for (size_t New = 0; New < N; ++New) {
    const size_t Old = static_cast<size_t>(Order[New]);
    Rows[New] = FRows[Old];
    NewRowOf[Old] = static_cast<int>(New);
  }
  FRows.swap(Rows);
  const QModelIndexList From = persistentIndexList();
  QModelIndexList To;
  To.reserve(From.size());
  for (const QModelIndex& I : From)
    To.append(index(NewRowOf[static_cast<size_t>(I.row())], I.column()));
  changePersistentIndexList(From, To);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int64_t TTWFileListModel::SetTicks(const std::vector<int>& Rows, TTick Tick, int& LastChanged) {
  LastChanged = -1;
  if (!HasTicks()) return 0;
  int64_t Delta = 0;
  int First = -1;
  int Last = -1;
  for (int Row : Rows) {
    if (Row < 0 || Row >= RowCount()) continue;
    TTWRecordFile& E = Entry(Row);
    const bool Want = Tick == TTick::Flip ? !E.Checked : Tick == TTick::On;
    if (E.Checked == Want) continue;
    E.Checked = Want;
    Delta += Want ? E.Size : -E.Size;
    LastChanged = Row;
    First = First < 0 ? Row : std::min(First, Row);
    Last = std::max(Last, Row);
  }
  if (First >= 0) emit dataChanged(index(First, 0), index(Last, 0), {Qt::CheckStateRole});
  return Delta;
}

int64_t TTWFileListModel::SetAllTicks(bool Ticked, int& LastChanged) {
  std::vector<int> All(FRows.size());
  std::iota(All.begin(), All.end(), 0);
  return SetTicks(All, Ticked ? TTick::On : TTick::Off, LastChanged);
}

int TTWFileListModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : RowCount();
}

int TTWFileListModel::columnCount(const QModelIndex& Parent) const {
  if (Parent.isValid()) return 0;
  return HasTicks() ? 5 : 4;
}

QVariant TTWFileListModel::data(const QModelIndex& Index, int Role) const {
  if (!checkIndex(Index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  const int Row = Index.row();
  const int Column = Index.column();
  switch (Role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
      if (HasTicks() && Column == 0) return {};
      return TWDisplayText(ColumnText(Row, Column));
    case Qt::CheckStateRole:
      if (HasTicks() && Column == 0) return Entry(Row).Checked ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::TextAlignmentRole:
      if (Column == SizeColumn()) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
      return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

bool TTWFileListModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
  if (!checkIndex(Index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
      Role != Qt::CheckStateRole || !HasTicks() || Index.column() != 0)
    return false;
  const bool Want = Value.toInt() == Qt::Checked;
  TTWRecordFile& E = Entry(Index.row());
  if (E.Checked == Want) return true;
  E.Checked = Want;
  emit dataChanged(Index, Index, {Qt::CheckStateRole});
  emit RowTicked(Index.row(), Want);
  return true;
}

QVariant TTWFileListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Section < 0 || Section >= columnCount()) return {};
  if (Role == Qt::DisplayRole) return Section < FHeaders.size() ? FHeaders[Section] : QString();
  if (Role == Qt::TextAlignmentRole)
    return Section == SizeColumn() ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags TTWFileListModel::flags(const QModelIndex& Index) const {
  if (!Index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags F = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (HasTicks() && Index.column() == 0) F |= Qt::ItemIsUserCheckable;
  return F;
}
