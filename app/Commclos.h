// The small modeless dialog shown while the communication ends for exit.
#pragma once

#include <QDialog>

class QLabel;

class TCommClosing : public QDialog {
 public:
  static constexpr int ClientWidth = 232;
  static constexpr int ClientHeight = 109;

  explicit TCommClosing(QWidget* parent = nullptr);

  QLabel* CommClosingText;
};
