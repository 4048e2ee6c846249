// The settings dialog "Configuration": connection mode and port, and the baud
// rate (operation 2) or parity (operations 4 and 5). Values go in and out
// through a TDlgConfigData record; nothing changes before "&Apply".
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "comm/Commconfig.h"

class QComboBox;
class QLabel;
class QPushButton;

struct TDlgConfigData {
  explicit TDlgConfigData(const CmConfig& config) : Settings(config) {}

  bool Applied = false;         // out: left with "&Apply"
  const CmConfig& Settings;     // in: configured connection and port
  std::string ModeName;         // out
  uint8_t ModeIndex = 0;        // out: 0 "None", 1 "Serial"
  int32_t Port = 0;             // out: 0 for "None"
  bool ParitySelectable = false;  // in: operation 4 or 5
  char Parity = 'N';            // in/out
  bool BaudSelectable = false;  // in: operation 2
  int32_t Baud = 1200;          // in/out
};

class TDlgConfig : public QDialog {
 public:
  static constexpr int ClientWidth = 862;
  static constexpr int ClientHeight = 606;

  TDlgConfig(QWidget* owner, TDlgConfigData& record);

  QLabel* LMode;
  QComboBox* cbMode;
  QLabel* LPort;
  QComboBox* cbPort;
  QLabel* lBaudrate;
  QComboBox* cbBaudRate;
  QLabel* lParity;
  QComboBox* cbParity;
  QPushButton* BOk;
  QPushButton* BCancel;

  void cbModeChange();
  void BOkClick();
  void BCancelClick();

 private:
  void FormCreate();
  // Lists the ports that open and the configured one (never COM6); true when
  // any was found.
  bool FillPortList(int mode);

  TDlgConfigData& Data;
};
