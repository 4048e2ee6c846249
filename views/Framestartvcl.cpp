#include "views/Framestartvcl.h"

#include <QComboBox>
#include <QLabel>

#include "app/Mainform.h"
#include "views/Framebase.h"
#include "views/Layout.h"

TFrStartVCL::TFrStartVCL(TFMain& main, QWidget* parent) : QWidget(parent), Main(main) {
  setObjectName("FrStart");
  MakeViewSurface(this);
  resize(DesignWidth, DesignHeight);
  lConnection = MakeLabel(this, "lConnection", "Connection type:", 16, 12);
  cbConnectionType = MakeComboBox(this, "cbConnectionType", 104, 8, 145);
  connect(cbConnectionType, &QComboBox::activated, this, [this] { cbConnectionTypeChange(); });
}

void TFrStartVCL::cbConnectionTypeChange() {
  Main.SelectConnection(cbConnectionType->currentIndex(), false, true);
}
