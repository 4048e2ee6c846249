// A radio group: a captioned box of exclusive items with an item index
// (-1 when none is selected). OnClick runs when the user clicks an item.
#pragma once

#include <QGroupBox>
#include <functional>

class QButtonGroup;

class TRadioGroup : public QGroupBox {
 public:
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent);

  int ItemIndex() const;
  void SetItemIndex(int index);
  int Count() const;

  std::function<void()> OnClick;

 private:
  QButtonGroup* Buttons;
};
