// The start view's widgets: the connection type and nothing else.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class TFMain;

class TFrStartVCL : public QWidget {
 public:
  static constexpr int DesignWidth = 892;
  static constexpr int DesignHeight = 646;

  TFrStartVCL(TFMain& main, QWidget* parent);

  QLabel* lConnection;
  QComboBox* cbConnectionType;

  void cbConnectionTypeChange();

 private:
  TFMain& Main;
};
