#include "views/Framestart.h"

#include <QAction>
#include <QComboBox>

#include "app/Mainform.h"
#include "core/Operations.h"

TFrStart::TFrStart(TFMain& main)
    : Main(main), VCL(std::make_unique<TFrStartVCL>(main, main.ClientArea())) {
  VCL->cbConnectionType->clear();
  for (const char* name : ConnectionNames) VCL->cbConnectionType->addItem(name);
  VCL->cbConnectionType->setCurrentIndex(0);
}

TFrStart::~TFrStart() = default;

void TFrStart::Update() {
  Main.MIFileOpen->setVisible(false);
  Main.MIViewSettings->setEnabled(true);
}

int32_t TFrStart::GetConnection() { return VCL->cbConnectionType->currentIndex(); }

void TFrStart::SetConnection(int32_t connection) { VCL->cbConnectionType->setCurrentIndex(connection); }
