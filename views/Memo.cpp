#include "views/Memo.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <algorithm>

#include "views/Ansitext.h"

// Shared lines followed by lines of the memo's own.
class TMemoLines : public QAbstractListModel {
 public:
  explicit TMemoLines(QFont font) : Font(std::move(font)) {}

  int Count() const { return static_cast<int>((Shared ? Shared->size() : 0) + Own.size()); }

  const std::string& Line(int i) const {
    const int shared = Shared ? static_cast<int>(Shared->size()) : 0;
    return i < shared ? (*Shared)[i] : Own[i - shared];
  }

  void Clear() {
    beginResetModel();
    Shared.reset();
    Own.clear();
    Widest = 0;
    endResetModel();
  }

  void Show(std::shared_ptr<const std::vector<std::string>> lines) {
    beginResetModel();
    Shared = std::move(lines);
    Own.clear();
    Widest = 0;
    if (Shared)
      for (const std::string& s : *Shared) Widest = std::max(Widest, s.size());
    endResetModel();
  }

  void Append(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    const int first = Count();
    beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
    const size_t widest = Widest;
    for (const std::string& s : lines) {
      Own.push_back(s);
      Widest = std::max(Widest, s.size());
    }
    endInsertRows();
    // Every row has the size of the widest line (the view asks the first row).
    if (Widest != widest && first > 0) emit dataChanged(index(0), index(0), {Qt::SizeHintRole});
  }

  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : Count(); }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= Count()) return {};
    if (role == Qt::DisplayRole) return AnsiToQString(Line(index.row()));
    if (role == Qt::SizeHintRole) {
      const QFontMetrics fm(Font);
      return QSize(static_cast<int>(Widest + 2) * fm.horizontalAdvance('0'), fm.height() + 1);
    }
    return {};
  }

 private:
  QFont Font;
  std::shared_ptr<const std::vector<std::string>> Shared;
  std::vector<std::string> Own;
  size_t Widest = 0;
};

TMemo::TMemo(QWidget* parent) : QListView(parent) {
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (font().pixelSize() > 0)
    fixed.setPixelSize(font().pixelSize());
  else
    fixed.setPointSizeF(font().pointSizeF());
  setFont(fixed);
  Data = new TMemoLines(fixed);
  Data->setParent(this);
  setModel(Data);
  setUniformItemSizes(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setTextElideMode(Qt::ElideNone);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

TMemo::~TMemo() = default;

void TMemo::Clear() { Data->Clear(); }

void TMemo::ShowLines(std::shared_ptr<const std::vector<std::string>> lines) { Data->Show(std::move(lines)); }

void TMemo::Append(const std::string& line) { Data->Append({line}); }

void TMemo::Append(const std::vector<std::string>& lines) { Data->Append(lines); }

int TMemo::Count() const { return Data->Count(); }

std::string TMemo::Line(int index) const { return index >= 0 && index < Count() ? Data->Line(index) : std::string(); }

std::vector<std::string> TMemo::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(Count());
  for (int i = 0; i < Count(); ++i) lines.push_back(Data->Line(i));
  return lines;
}

void TMemo::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList text;
    for (const QModelIndex& i : rows) text << AnsiToQString(Data->Line(i.row()));
    QApplication::clipboard()->setText(text.join('\n'));
    return;
  }
  QListView::keyPressEvent(event);
}
