#include "app/Fdlgconfig.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <cstdlib>

#include "comm/Portadapter.h"
#include "comm/Portmap.h"
#include "core/Operations.h"
#include "views/Layout.h"

namespace {

const char* const BaudRates[] = {"1200", "2400", "9600", "14400", "19200", "38400", "57600", "115200"};

// A text read as an integer as a whole; def when it does not read.
int32_t IntegerOf(const QString& text, int32_t def) {
  bool ok = false;
  const int value = text.toInt(&ok);
  return ok ? value : def;
}

}  // namespace

TDlgConfig::TDlgConfig(QWidget* owner, TDlgConfigData& record) : QDialog(owner), Data(record) {
  setObjectName("DlgConfig");
  setWindowTitle("Configuration");
  // A fixed dialog border without system buttons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(ClientWidth, ClientHeight);
  setModal(true);

  BOk = MakeButton(this, "BOk", "&Apply", 336, 568, 75, 25);
  BCancel = MakeButton(this, "BCancel", "&Cancel", 488, 568, 75, 25);
  LMode = MakeLabel(this, "LMode", "Mode:", 32, 16);
  cbMode = MakeComboBox(this, "cbMode", 72, 12, 144);
  LPort = MakeLabel(this, "LPort", "Port:", 32, 48);
  cbPort = MakeComboBox(this, "cbPort", 72, 44, 81);
  lBaudrate = MakeLabel(this, "lBaudrate", "Baudrate:", 224, 48);
  cbBaudRate = MakeComboBox(this, "cbBaudRate", 280, 44, 81);
  lParity = MakeLabel(this, "lParity", "Parity:", 408, 48);
  cbParity = MakeComboBox(this, "cbParity", 448, 44, 81);
  setTabOrder(BOk, BCancel);
  setTabOrder(BCancel, cbMode);
  setTabOrder(cbMode, cbPort);
  setTabOrder(cbPort, cbBaudRate);
  setTabOrder(cbBaudRate, cbParity);
  BOk->setDefault(true);

  connect(cbMode, &QComboBox::activated, this, [this] { cbModeChange(); });
  // The box itself tells which adapter the selected port is.
  connect(cbPort, &QComboBox::currentIndexChanged, this,
          [this](int index) { cbPort->setToolTip(cbPort->itemData(index, Qt::ToolTipRole).toString()); });
  connect(BOk, &QPushButton::clicked, this, [this] { BOkClick(); });
  connect(BCancel, &QPushButton::clicked, this, [this] { BCancelClick(); });

  FormCreate();
}

void TDlgConfig::FormCreate() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect s = screen->geometry();
    const int top = (s.height() - height() - 10) / 2;
    const int left = (s.width() - width()) / 2;
    move(left >= 0 ? left : x(), top >= 0 ? top : y());
  }
  Data.Applied = false;

  cbMode->clear();
  for (const char* name : ConnectionNames) cbMode->addItem(name);
  cbMode->setCurrentIndex(Data.Settings.Connection <= 1 ? Data.Settings.Connection : -1);
  cbMode->setEnabled(true);
  if (!FillPortList(Data.Settings.Connection)) {
    cbMode->setCurrentIndex(0);
    cbMode->setEnabled(false);
  }

  if (Data.ParitySelectable) {
    cbParity->clear();
    cbParity->addItems({"N(one)", "E(ven)"});
    cbParity->setCurrentIndex(Data.Parity == 'N' ? 0 : Data.Parity == 'E' ? 1 : -1);
    cbParity->setVisible(true);
    lParity->setVisible(true);
    if (!Data.BaudSelectable) {
      // Parity takes the place of the hidden baud rate.
      cbParity->move(cbBaudRate->x(), cbParity->y());
      lParity->move(lBaudrate->x(), lParity->y());
    }
  } else {
    cbParity->setVisible(false);
    lParity->setVisible(false);
  }

  if (Data.BaudSelectable) {
    cbBaudRate->clear();
    int selected = -1;
    for (const char* rate : BaudRates) {
      cbBaudRate->addItem(rate);
      if (selected < 0 && IntegerOf(rate, 0) == Data.Baud) selected = cbBaudRate->count() - 1;
    }
    cbBaudRate->setCurrentIndex(selected);
    cbBaudRate->setVisible(true);
    lBaudrate->setVisible(true);
  } else {
    cbBaudRate->setVisible(false);
    lBaudrate->setVisible(false);
  }
}

bool TDlgConfig::FillPortList(int mode) {
  cbPort->clear();
  bool found = false;
  int selected = -1;  // the configured port's entry
  const int32_t configured = Data.Settings.Port;
  for (int n = 1; n <= 256; ++n) {
    if (n == 6) continue;
    if (ComPortOpens(n) || n == configured) {
      found = true;
      cbPort->addItem(QString::fromStdString(ComName(n)));
      // Which adapter this is: the entry's text stays "COM%d" for BOkClick.
      cbPort->setItemData(cbPort->count() - 1,
                          QString::fromStdString(PortAdapterText(DescribePortAdapter(ComDevicePath(n)))),
                          Qt::ToolTipRole);
      if (n == configured) selected = cbPort->count() - 1;
    }
  }
  if (!found) cbPort->addItem("None");
  if (configured == 0) selected = 0;
  cbPort->setCurrentIndex(selected);
  if (mode == 0) {
    cbPort->clear();
    cbPort->addItem("None");
    cbPort->setCurrentIndex(0);
  }
  cbPort->setEnabled(mode != 0);
  // The first entry became current when it was added, before its tooltip was
  // set; the box's tooltip is taken once the list is complete.
  cbPort->setToolTip(cbPort->itemData(cbPort->currentIndex(), Qt::ToolTipRole).toString());
  return found;
}

void TDlgConfig::cbModeChange() { FillPortList(cbMode->currentIndex()); }

void TDlgConfig::BOkClick() {
  Data.Applied = true;
  Data.ModeName = cbMode->currentText().toStdString();
  Data.ModeIndex = 0;
  for (uint8_t i = 0; i < 2; ++i)
    if (Data.ModeName == ConnectionNames[i]) Data.ModeIndex = i;
  Data.Port = IntegerOf(cbPort->currentText().mid(3), 0);
  Data.Baud = IntegerOf(cbBaudRate->currentText(), 1200);
  // Without a choice (a letter the list cannot show, such as 'O', or none)
  // the letter in force stays.
  const QString parity = cbParity->currentText();
  if (!parity.isEmpty()) Data.Parity = static_cast<char>(parity[0].toLatin1());
  accept();
}

void TDlgConfig::BCancelClick() {
  Data.Applied = false;
  reject();
}
