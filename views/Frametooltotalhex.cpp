#include "views/Frametooltotalhex.h"

#include <QAction>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>

#include "app/Mainform.h"
#include "core/Model.h"
#include "views/Memo.h"
#include "views/Radiogroup.h"
#include "views/Stringgrid.h"

TFrToolTotalHex::TFrToolTotalHex(TFMain& main, TModel& model, TController& controller)
    : Model(model), VCL(std::make_unique<TFrToolTotalHexVCL>(main, model, controller, main.ClientArea())) {
  VCL->FitToFrame();
  TStringGrid& g = *VCL->sgBinData;
  for (int c = 1; c <= 16; ++c) {
    char header[8];
    std::snprintf(header, sizeof header, "%02x", c - 1);
    g.SetColWidth(c, 32);
    g.SetCell(c, 0, header);
  }
  main.MITotalHexFile->setEnabled(false);
  main.MITotalHexFile->setChecked(true);
  main.MIViewSwDl->setEnabled(true);
  main.MIViewSwDl->setChecked(false);
  // The download view hides the View menu during a transfer; the way back
  // from the tool must not stay hidden once none runs.
  main.MIView->menuAction()->setVisible(!model.InTransfer());
}

TFrToolTotalHex::~TFrToolTotalHex() { VCL.reset(); }

void TFrToolTotalHex::Update() {
  TFrToolTotalHexVCL& w = *VCL;
  TModelTotalHex& t = Model.TotalHex;

  QLineEdit* const fileFields[] = {w.eMainFile, w.eDisplayFile, w.eLcCommFile, w.eEthernetFile};
  QLineEdit* const lengthFields[] = {w.eMainLength, w.eDisplayLength, w.eLcCommLength, w.eEthernetLength};
  for (int n = 1; n <= 4; ++n) {
    const HexFile& part = t.Image(n);
    fileFields[n - 1]->setText(QString::fromStdString(part.FileName()));
    const int32_t used = part.UsedLength();
    lengthFields[n - 1]->setText(used > 0 ? QString::number(used) : QString());
  }

  static const char* const Corner[6] = {"", "Main", "Display", "LC. Comm.", "Ethernet", "Combined"};
  const int shown = t.Shown >= 1 && t.Shown <= 5 ? t.Shown : 0;
  const int image = shown == 0 ? 1 : shown;
  w.rgDisplay->SetItemIndex(shown - 1);
  w.sgBinData->SetCell(0, 0, Corner[shown]);

  w.mHexFile->Clear();
  const HexFile& chosen = t.Image(image);
  if (chosen.IsLoaded()) {
    if (chosen.Lines()) w.mHexFile->Append(*chosen.Lines());
    // The cells are read from the model's image when they are drawn; a later
    // load replaces the image and updates the view again.
    w.sgBinData->ShowHexDump([&t, image](int32_t address) { return t.Image(image).ByteAt(address); },
                             TModelTotalHex::FlashBase, chosen.UsedLength());
  }
  w.BSave->setVisible(t.Combined);
}
