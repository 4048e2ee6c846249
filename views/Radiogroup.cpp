#include "views/Radiogroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), Buttons(new QButtonGroup(this)) {
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    Buttons->addButton(button, i);
    layout->addWidget(button);
  }
  layout->addStretch();
  connect(Buttons, &QButtonGroup::idClicked, this, [this] {
    if (OnClick) OnClick();
  });
}

int TRadioGroup::ItemIndex() const { return Buttons->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (index < 0 || index >= Count()) {
    // An exclusive group cannot uncheck its checked button.
    Buttons->setExclusive(false);
    for (QAbstractButton* b : Buttons->buttons()) b->setChecked(false);
    Buttons->setExclusive(true);
    return;
  }
  Buttons->button(index)->setChecked(true);
}

int TRadioGroup::Count() const { return static_cast<int>(Buttons->buttons().size()); }
