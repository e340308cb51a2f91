// The rows of the found and deleted files lists: a table model over the run's found-file
// list. A row refers to its entry by index; the texts are derived when they are shown,
// and sorting permutes the row indices, so a run with 100,000 entries costs one integer
// per row instead of one item object with its texts.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "search/tw_helper.h"

class TTWFileList;
struct TTWRecordFile;

class TTWFileListModel : public QAbstractTableModel {
  Q_OBJECT
  // The column captions, as a property so that window translation finds them.
  Q_PROPERTY(QStringList headerLabels READ Headers WRITE SetHeaders)

 public:
  // Found files: a tick box column ("Delete") before Type, Name, Group, Size (KB); the
  // row's caption is empty. Deleted files: no tick boxes, the Type text is the caption.
  enum class TLayout { Select, Deleted };
  using TCompare = std::function<int(const TTWListRow&, const TTWListRow&)>;

  explicit TTWFileListModel(TLayout Layout, QObject* Parent = nullptr);

  // Rows for the entries of List at Entries (in that order). List must outlive the rows.
  void SetRows(TTWFileList* List, std::vector<int> Entries);
  void Clear();
  void SetHeaders(const QStringList& Captions);
  QStringList Headers() const { return FHeaders; }

  TTWRecordFile& Entry(int Row) const;
  int EntryIndex(int Row) const { return FRows[static_cast<size_t>(Row)]; }
  int RowCount() const { return static_cast<int>(FRows.size()); }
  // The row as CompareItems sees it, with every column filled.
  TTWListRow ListRow(int Row) const;
  // The text of Column as the list shows it (column 0 of Found files is empty).
  std::string ColumnText(int Row, int Column) const;

  // Reorders the rows by Compare, given rows with only Column filled (the others empty).
  // Selection and current row stay on their entries.
  void Sort(int Column, const TCompare& Compare);

  // Sets the tick of the given rows (Flip: the opposite of each one's own). Returns the
  // change of the ticked total in bytes; LastChanged is the last row whose tick changed,
  // -1 when none did. Entries already in the wanted state are not counted again.
  enum class TTick { Off, On, Flip };
  int64_t SetTicks(const std::vector<int>& Rows, TTick Tick, int& LastChanged);
  int64_t SetAllTicks(bool Ticked, int& LastChanged);

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& Index, const QVariant& Value, int Role = Qt::EditRole) override;
  QVariant headerData(int Section, Qt::Orientation Orientation,
                      int Role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;

 signals:
  // A tick changed through the view (mouse or the view's own key handling).
  void RowTicked(int Row, bool Ticked);

 private:
  int SizeColumn() const { return FLayout == TLayout::Select ? 4 : 3; }
  bool HasTicks() const { return FLayout == TLayout::Select; }

  TLayout FLayout;
  TTWFileList* FList = nullptr;
  std::vector<int> FRows;  // entry index of each row, in display order
  QStringList FHeaders;
};

// A name as it is shown: bytes that are not UTF-8 become replacement characters and
// control characters their visible symbols; nothing in it is interpreted.
QString TWDisplayText(const std::string& Bytes);
