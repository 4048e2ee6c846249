// Widgets placed at their design positions (left, top, in pixels), as the
// forms lay them out. Heights are those of the toolkit's standard controls.
#pragma once

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

inline constexpr int EditHeight = 21;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top);
// A pick-from-list combo box.
QComboBox* MakeComboBox(QWidget* parent, const char* name, int left, int top, int width);
// A read-only edit without tab stop.
QLineEdit* MakeReadOnlyEdit(QWidget* parent, const char* name, int left, int top, int width);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left, int top,
                        int width, int height);
