// A read-only memo of text lines. A list view over the lines rather than a
// text editor: a HEX file of a full image has some 45 000 lines, which are
// drawn only as they come into view. Lines handed over with ShowLines are
// shared, not copied (the HEX file's lines live in its image). Ctrl+C copies
// the selected lines.
#pragma once

#include <QListView>
#include <memory>
#include <string>
#include <vector>

class TMemoLines;

class TMemo : public QListView {
 public:
  explicit TMemo(QWidget* parent);
  ~TMemo() override;

  void Clear();
  // Shows the lines (kept alive by the pointer) in place of the memo's text.
  void ShowLines(std::shared_ptr<const std::vector<std::string>> lines);
  void Append(const std::string& line);
  void Append(const std::vector<std::string>& lines);

  int Count() const;
  std::string Line(int index) const;
  std::vector<std::string> Lines() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TMemoLines* Data;
};
