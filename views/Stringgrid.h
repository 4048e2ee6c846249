// A string grid with a fixed header row (row 0) and a fixed first column, as
// the views use it: RowCount and ColCount count the header row and column,
// Cell(col, row) and SetCell address every cell including the headers.
//
// The body is either stored cells (parameter tables) or a hex dump computed on
// demand from an image (ShowHexDump): a 704 KiB image is 45 056 rows, which
// are never stored as texts, only drawn when they come into view.
#pragma once

#include <QTableView>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TGridData;

// The byte at an address, -1 for an empty cell.
using TByteSource = std::function<int32_t(int32_t address)>;

class TStringGrid : public QTableView {
 public:
  explicit TStringGrid(QWidget* parent);
  ~TStringGrid() override;

  int RowCount() const;
  int ColCount() const;
  // Growing adds blank rows or columns; a hex dump body becomes stored
  // blank cells first.
  void SetRowCount(int rows);
  void SetColCount(int cols);
  std::string Cell(int col, int row) const;
  void SetCell(int col, int row, const std::string& text);
  // Blanks every body cell of the given columns.
  void ClearColumn(int col);

  void SetColWidth(int col, int width);
  int ColWidth(int col) const;
  static constexpr int DefaultColWidth = 64;

  // The dump of length bytes from base: row count length / 16 + 2; row r >= 1
  // shows the bytes base + (r-1)*16 .. as "%02x" ("xx" for an empty cell) in
  // columns 1 to 16 and "%08x" of its first address in column 0. The header
  // row stays as it is.
  void ShowHexDump(TByteSource byteAt, int32_t base, int32_t length);
  bool ShowsHexDump() const;

 private:
  void ApplyColumnWidths();

  TGridData* Data;
  std::vector<int> Widths;
};
