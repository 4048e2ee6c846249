// The total hex file tool's widgets and their event handlers.
#pragma once

#include <QWidget>
#include <string>

#include "app/Dialogs.h"

class QLabel;
class QLineEdit;
class QPushButton;
class TController;
class TFMain;
class TMemo;
class TModel;
class TRadioGroup;
class TStringGrid;

class TFrToolTotalHexVCL : public QWidget {
 public:
  static constexpr int DesignWidth = 1024;
  static constexpr int DesignHeight = 698;

  TFrToolTotalHexVCL(TFMain& main, TModel& model, TController& controller, QWidget* parent);

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label5;
  QLabel* Label4;
  QLineEdit* eMainFile;
  QLineEdit* eDisplayFile;
  QLineEdit* eLcCommFile;
  QLineEdit* eEthernetFile;
  QPushButton* bLoadMain;
  QPushButton* bLoadDisp;
  QPushButton* bLoadLcComm;
  QPushButton* bLoadEthernet;
  QLineEdit* eMainLength;
  QLineEdit* eDisplayLength;
  QLineEdit* eLcCommLength;
  QLineEdit* eEthernetLength;
  QPushButton* BCombine;
  QPushButton* BSave;
  TRadioGroup* rgDisplay;
  TMemo* mHexFile;
  TStringGrid* sgBinData;
  TFileDialogRequest ODMainFile;
  TFileDialogRequest ODDisplayFile;
  TFileDialogRequest ODLcCommFile;
  TFileDialogRequest ODEthernetFile;
  TFileDialogRequest SDTotal;

  void bLoadMainClick();
  void bLoadDispClick();
  void bLoadLcCommClick();
  void bLoadEthernetClick();
  void BCombineClick();
  void BSaveClick();
  void rgDisplayClick();

  // The grid follows the frame's size; the memo keeps its design size.
  void FitToFrame();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Part 1 Main, 2 Display, 3 LcComm, 4 Ethernet.
  void LoadPart(int part, TFileDialogRequest& dialog);

  TFMain& Main;
  TModel& Model;
  TController& Controller;
};

// The save name proposed for the total file: "T" before the main file's
// name, in the main file's folder.
std::string ProposedTotalFileName(const std::string& mainFileName);
