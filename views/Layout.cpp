#include "views/Layout.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QComboBox* MakeComboBox(QWidget* parent, const char* name, int left, int top, int width) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(false);
  box->setGeometry(left, top, width, EditHeight);
  return box;
}

QLineEdit* MakeReadOnlyEdit(QWidget* parent, const char* name, int left, int top, int width) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::ClickFocus);
  edit->setGeometry(left, top, width, EditHeight);
  return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left, int top,
                        int width, int height) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(left, top, width, height);
  return button;
}
