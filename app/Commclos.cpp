#include "app/Commclos.h"

#include <QLabel>

#include "views/Layout.h"

TCommClosing::TCommClosing(QWidget* parent) : QDialog(parent) {
  setObjectName("CommClosing");
  setWindowTitle("Afslutter");
  // A fixed dialog border without title-bar buttons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(ClientWidth, ClientHeight);
  setModal(false);
  CommClosingText = MakeLabel(this, "CommClosingText", "Kommunikationen afsluttes", 48, 48);
}
