// The download and parameter view's widgets and their event handlers.
#pragma once

#include <QWidget>
#include <string>

#include "app/Dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TController;
class TFMain;
class TFrSerSwDl;
class TMemo;
class TModel;
class TStringGrid;

class TFrSerSwDlVCL : public QWidget {
 public:
  static constexpr int DesignWidth = 1024;
  static constexpr int DesignHeight = 690;

  TFrSerSwDlVCL(TFMain& main, TFrSerSwDl& view, TModel& model, TController& controller, QWidget* parent);

  QLabel* lConnection;
  QComboBox* cbConnectionType;
  QLabel* lOperation;
  QComboBox* cbOperation;
  QLabel* LPort;
  QLineEdit* EPort;
  QLabel* Label1;
  QLineEdit* eFileName;
  QPushButton* bOpen;
  QLabel* LState;
  QLineEdit* eState;
  QPushButton* bDownload;
  QLabel* lLength;
  QLineEdit* eLength;
  QLineEdit* eAddr;
  QLabel* lUnit;
  QLineEdit* EUnit;
  // The share of the running transfer done; hidden while idle.
  QProgressBar* pbProgress;
  TMemo* mHexFile;
  TStringGrid* sgBinData;
  TFileDialogRequest ODHexFile;
  TFileDialogRequest sdParFile;

  void bOpenClick();
  void bDownloadClick();
  void cbConnectionTypeChange();
  void cbOperationChange();

  // Subscription callbacks of the model's three status texts.
  static void StateTextChanged(void* self);
  static void AddressTextChanged(void* self);
  static void UnitTextChanged(void* self);

  // Memo height and grid geometry follow the frame's size.
  void FitToFrame();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OpenFile();
  void SaveReceivedLines();
  // Reads a HEX file for the current operation, warns about what its load
  // report found and hands it to the controller; false when nothing was loaded.
  void LoadHexFile(const std::string& fileName);
  void LoadParameterFile(const std::string& fileName);

  TFMain& Main;
  TFrSerSwDl& View;
  TModel& Model;
  TController& Controller;
};
