#include "views/Stringgrid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QPalette>
#include <cstdio>

#include "views/Ansitext.h"

// The grid's cells: row 0 is the header row (shown by the horizontal
// header), rows 1.. the body (the table rows 0..).
class TGridData : public QAbstractTableModel {
 public:
  struct Dump {
    TByteSource ByteAt;
    int32_t Base = 0;
    int32_t Length = 0;
  };

  int RowCount() const { return Rows; }
  int ColCount() const { return static_cast<int>(Header.size()); }

  std::string Cell(int col, int row) const {
    if (col < 0 || col >= ColCount() || row < 0 || row >= Rows) return {};
    if (row == 0) return Header[col];
    if (IsDump) return DumpCell(col, row);
    return Body[row - 1][col];
  }

  void SetCell(int col, int row, const std::string& text) {
    if (col < 0 || col >= ColCount() || row < 0 || row >= Rows) return;
    if (row == 0) {
      Header[col] = text;
      emit headerDataChanged(Qt::Horizontal, col, col);
      return;
    }
    MakeStored();
    Body[row - 1][col] = text;
    const QModelIndex i = index(row - 1, col);
    emit dataChanged(i, i, {Qt::DisplayRole});
  }

  void SetRowCount(int rows) {
    if (rows < 1) rows = 1;
    if (IsDump) {
      // The dump's rows turn into blank cells anyway: make only the rows
      // that stay, not the 45 000 of a full image first.
      beginResetModel();
      IsDump = false;
      Source = Dump{};
      Rows = rows;
      Body.assign(Rows - 1, std::vector<std::string>(Header.size()));
      endResetModel();
      return;
    }
    if (rows > Rows) {
      beginInsertRows({}, Rows - 1, rows - 2);
      Body.resize(rows - 1, std::vector<std::string>(Header.size()));
      Rows = rows;
      endInsertRows();
    } else if (rows < Rows) {
      beginRemoveRows({}, rows - 1, Rows - 2);
      Body.resize(rows - 1);
      Rows = rows;
      endRemoveRows();
    }
  }

  void SetColCount(int cols) {
    if (cols < 1) cols = 1;
    if (cols == ColCount()) return;
    beginResetModel();
    Header.resize(cols);
    for (auto& row : Body) row.resize(cols);
    endResetModel();
  }

  void ClearColumn(int col) {
    if (col < 0 || col >= ColCount() || Rows < 2) return;
    MakeStored();
    for (auto& row : Body) row[col].clear();
    emit dataChanged(index(0, col), index(Rows - 2, col), {Qt::DisplayRole});
  }

  void ShowDump(Dump dump) {
    beginResetModel();
    IsDump = true;
    Source = std::move(dump);
    Body.clear();
    Rows = (Source.Length > 0 ? Source.Length : 0) / 16 + 2;
    if (Source.Length < 0) Rows = 2;
    endResetModel();
  }

  bool ShowsDump() const { return IsDump; }

  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : Rows - 1; }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : ColCount(); }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return AnsiToQString(Cell(index.column(), index.row() + 1));
    // The first column is a fixed header column.
    if (role == Qt::BackgroundRole && index.column() == 0)
      return QApplication::palette().brush(QPalette::Button);
    return {};
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return AnsiToQString(Cell(section, 0));
    return {};
  }

 private:
  std::string DumpCell(int col, int row) const {
    const int64_t first = int64_t{row - 1} * 16;
    char text[16];
    if (col == 0) {
      if (first >= Source.Length) return {};
      std::snprintf(text, sizeof text, "%08x", static_cast<uint32_t>(Source.Base + first));
      return text;
    }
    if (col > 16) return {};
    const int64_t k = first + col - 1;
    if (k >= Source.Length) return {};
    const int32_t v = Source.ByteAt(static_cast<int32_t>(Source.Base + k));
    if (v < 0) return "xx";
    std::snprintf(text, sizeof text, "%02x", static_cast<unsigned>(v & 0xFF));
    return text;
  }

  // Edits of the body replace a dump by stored blank cells.
  void MakeStored() {
    if (!IsDump) return;
    beginResetModel();
    IsDump = false;
    Source = Dump{};
    Body.assign(Rows - 1, std::vector<std::string>(Header.size()));
    endResetModel();
  }

  std::vector<std::string> Header = std::vector<std::string>(5);
  std::vector<std::vector<std::string>> Body = std::vector<std::vector<std::string>>(4, std::vector<std::string>(5));
  int Rows = 5;  // the toolkit's default grid: 5 by 5
  bool IsDump = false;
  Dump Source;
};

TStringGrid::TStringGrid(QWidget* parent) : QTableView(parent), Data(new TGridData) {
  Data->setParent(this);
  setModel(Data);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setCornerButtonEnabled(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Fixed row heights keep a dump of tens of thousands of rows cheap.
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultSectionSize(DefaultColWidth);
  horizontalHeader()->setMinimumSectionSize(8);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  connect(Data, &QAbstractItemModel::modelReset, this, [this] { ApplyColumnWidths(); });
}

TStringGrid::~TStringGrid() = default;

int TStringGrid::RowCount() const { return Data->RowCount(); }
int TStringGrid::ColCount() const { return Data->ColCount(); }
void TStringGrid::SetRowCount(int rows) { Data->SetRowCount(rows); }

void TStringGrid::SetColCount(int cols) {
  Data->SetColCount(cols);
  ApplyColumnWidths();
}

std::string TStringGrid::Cell(int col, int row) const { return Data->Cell(col, row); }
void TStringGrid::SetCell(int col, int row, const std::string& text) { Data->SetCell(col, row, text); }
void TStringGrid::ClearColumn(int col) { Data->ClearColumn(col); }

void TStringGrid::SetColWidth(int col, int width) {
  if (col < 0) return;
  if (static_cast<int>(Widths.size()) <= col) Widths.resize(col + 1, DefaultColWidth);
  Widths[col] = width;
  setColumnWidth(col, width);
}

int TStringGrid::ColWidth(int col) const {
  return col >= 0 && col < static_cast<int>(Widths.size()) ? Widths[col] : DefaultColWidth;
}

// A model reset gives every column the default width; the grid keeps its own.
void TStringGrid::ApplyColumnWidths() {
  for (int c = 0; c < ColCount(); ++c) setColumnWidth(c, ColWidth(c));
}

void TStringGrid::ShowHexDump(TByteSource byteAt, int32_t base, int32_t length) {
  Data->ShowDump({std::move(byteAt), base, length});
}

bool TStringGrid::ShowsHexDump() const { return Data->ShowsDump(); }
