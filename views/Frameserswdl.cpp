#include "views/Frameserswdl.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <cstdlib>
#include <exception>

#include "app/Mainform.h"
#include "comm/Channelcodes.h"
#include "core/Model.h"
#include "core/Parameterline.h"
#include "core/Textfile.h"
#include "views/Ansitext.h"
#include "views/Memo.h"
#include "views/Stringgrid.h"

namespace {

// A cell read as a decimal integer; -1 when it is not one.
int32_t DecimalOf(const std::string& text) {
  if (text.empty()) return -1;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || value < INT32_MIN || value > INT32_MAX) return -1;
  return static_cast<int32_t>(value);
}

}  // namespace

TFrSerSwDl::TFrSerSwDl(TFMain& main, TModel& model, TController& controller)
    : Main(main), Model(model), VCL(std::make_unique<TFrSerSwDlVCL>(main, *this, model, controller, main.ClientArea())) {
  VCL->cbConnectionType->clear();
  for (const char* name : ConnectionNames) VCL->cbConnectionType->addItem(name);
  VCL->cbConnectionType->setCurrentIndex(0);
  VCL->FitToFrame();

  TModelSwDl& swdl = Model.SwDl;
  Subscriptions.Add(&swdl.StateText, swdl.StateText.Subscribe(&TFrSerSwDlVCL::StateTextChanged, VCL.get()));
  Subscriptions.Add(&swdl.AddressText, swdl.AddressText.Subscribe(&TFrSerSwDlVCL::AddressTextChanged, VCL.get()));
  Subscriptions.Add(&swdl.UnitText, swdl.UnitText.Subscribe(&TFrSerSwDlVCL::UnitTextChanged, VCL.get()));
  swdl.StateText.Invalidate();
  swdl.AddressText.Invalidate();

  Main.MIViewSwDl->setEnabled(false);
  Main.MIViewSwDl->setChecked(true);

  std::vector<std::string> names;
  TModel::ListOperations(names);
  VCL->cbOperation->clear();
  for (const std::string& name : names) VCL->cbOperation->addItem(QString::fromStdString(name));
  VCL->cbOperation->setCurrentIndex(swdl.GetOperation());

  LayoutGrid(swdl.OperationKind());
}

TFrSerSwDl::~TFrSerSwDl() {
  Subscriptions.UnsubscribeAll();
  VCL.reset();
}

int32_t TFrSerSwDl::GetConnection() { return VCL->cbConnectionType->currentIndex(); }

void TFrSerSwDl::SetConnection(int32_t connection) { VCL->cbConnectionType->setCurrentIndex(connection); }

void TFrSerSwDl::RefreshControls() {
  TFrSerSwDlVCL& w = *VCL;
  TModelSwDl& swdl = Model.SwDl;
  w.EPort->setText(QString::fromStdString(Model.PortName()));
  w.eState->setText(AnsiToQString(swdl.StateText.Get()));
  w.eFileName->setText(QString::fromStdString(swdl.DisplayFileName()));

  Main.MIFileOpen->setVisible(false);
  Main.MIViewSettings->setVisible(true);
  Main.MIViewSettings->setEnabled(true);

  w.bDownload->setVisible(false);

  const uint8_t kind = swdl.OperationKind();
  const int s = Model.ChannelState();
  // The menu and the combo boxes would restart the communication.
  const bool transfer = Model.InTransfer();
  if (kind == KindSoftwareDownload || kind == KindParameterDownload) {
    const bool hasData = swdl.HasData();
    w.bDownload->setVisible(hasData);
    w.bDownload->setEnabled(hasData);
    // A channel waiting for its port runs nothing: there is nothing to abort.
    if (transfer)
      w.bDownload->setText("Abort");
    else
      w.bDownload->setText(kind == KindSoftwareDownload ? "Download" : "Transfer to device");
    w.bOpen->setText("Open");
    w.bOpen->setVisible(true);
    w.bOpen->setEnabled(true);
    Main.MIView->menuAction()->setVisible(!transfer);
    w.cbOperation->setEnabled(!transfer);
    w.cbConnectionType->setEnabled(!transfer);
    if (!transfer) w.EUnit->clear();
  } else if (kind == KindParameterUpload) {
    w.bDownload->setVisible(true);
    w.bDownload->setEnabled(true);
    const bool receiving = s == CmState::Receiving;
    w.bDownload->setText(receiving ? "Stop" : "Get from device");
    w.bOpen->setText("Save");
    const bool canSave = !receiving && !w.sgBinData->Cell(0, 1).empty();
    w.bOpen->setVisible(canSave);
    w.bOpen->setEnabled(canSave);
    Main.MIView->menuAction()->setVisible(!transfer);
    w.cbOperation->setEnabled(!transfer);
    w.cbConnectionType->setEnabled(!transfer);
  }

  const bool k7310 = swdl.IsK7310Download();
  w.EUnit->setVisible(k7310);
  w.lUnit->setVisible(k7310);
  if (kind == KindSoftwareDownload || kind == KindParameterDownload || kind == KindParameterUpload) {
    const bool download = kind == KindSoftwareDownload;
    w.lLength->setVisible(download);
    w.eLength->setVisible(download);
    w.eAddr->setVisible(download);
  }
  UpdateProgress();
}

void TFrSerSwDl::LayoutGrid(uint8_t kind) {
  TStringGrid& g = *VCL->sgBinData;
  struct Column {
    int Width;
    const char* Header;
  };
  auto layout = [&g](std::initializer_list<Column> columns) {
    g.SetColCount(static_cast<int>(columns.size()));
    g.SetRowCount(2);
    int c = 0;
    for (const Column& col : columns) {
      g.SetColWidth(c, col.Width);
      g.SetCell(c, 0, col.Header);
      g.SetCell(c, 1, "");
      ++c;
    }
  };
  switch (kind) {
    case KindSoftwareDownload: {
      g.SetColCount(17);
      g.SetRowCount(2);
      g.SetColWidth(0, 64);
      g.SetCell(0, 0, "");
      g.SetCell(0, 1, "");
      for (int c = 1; c <= 16; ++c) {
        char header[8];
        std::snprintf(header, sizeof header, "%02x", c - 1);
        g.SetColWidth(c, 32);
        g.SetCell(c, 0, header);
        g.SetCell(c, 1, "");
      }
      break;
    }
    case KindParameterDownload:
      layout({{100, "Par. No."}, {300, "Description"}, {60, "File"}, {60, "Old"}, {60, "New"}});
      break;
    case KindParameterUpload:
      layout({{100, "Par. No."}, {300, "Description"}, {60, "Value"}});
      break;
    default:
      break;
  }
}

void TFrSerSwDl::FillParameterRows() {
  TStringGrid& g = *VCL->sgBinData;
  for (const std::string& line : Model.SwDl.DataLines()) {
    int32_t number = 0;
    std::string value, description;
    if (!ParseParameterLine(line, number, value, description) || number <= 0) continue;
    if (!g.Cell(0, g.RowCount() - 1).empty()) g.SetRowCount(g.RowCount() + 1);
    const int row = g.RowCount() - 1;
    g.SetCell(0, row, std::to_string(number));
    g.SetCell(1, row, description);
    g.SetCell(2, row, value);
  }
}

void TFrSerSwDl::ClearGridBody() {
  TStringGrid& g = *VCL->sgBinData;
  g.SetRowCount(2);
  for (int c = 0; c < g.ColCount(); ++c) g.SetCell(c, 1, "");
}

void TFrSerSwDl::Update() {
  RefreshControls();
  TFrSerSwDlVCL& w = *VCL;
  TModelSwDl& swdl = Model.SwDl;
  const uint8_t kind = swdl.OperationKind();

  w.mHexFile->Clear();
  const std::shared_ptr<const HexFile> image = kind == KindSoftwareDownload ? swdl.CurrentImage() : nullptr;
  if (image && image->Lines()) {
    // The memo shows the image's own lines, kept alive with the image.
    w.mHexFile->ShowLines(std::shared_ptr<const std::vector<std::string>>(image, image->Lines()));
  } else if (swdl.HasDataLines()) {
    w.mHexFile->Append(swdl.DataLines());
  }

  LayoutGrid(kind);

  if (kind == KindSoftwareDownload) {
    if (image && image->IsLoaded()) {
      const int32_t used = image->UsedLength();
      w.eLength->setText(used >= 1 ? QString::number(used) : QString());
      w.sgBinData->ShowHexDump([image](int32_t address) { return image->ByteAt(address); }, swdl.ImageBase(),
                               used);
    } else {
      // No image for this operation: no length of another one lingers.
      w.eLength->clear();
    }
  }
  if (kind == KindParameterDownload || kind == KindParameterUpload) FillParameterRows();
  UpdateProgress();
}

void TFrSerSwDl::TakeReceivedLines() {
  TModelSwDl& swdl = Model.SwDl;
  std::vector<std::string> taken;
  std::string line;
  while (swdl.TakeReceivedLine(line)) taken.push_back(std::move(line));
  if (!taken.empty()) {
    VCL->mHexFile->Append(taken);
    return;
  }
  if (!swdl.DataLines().empty()) return;
  // The list was emptied: a new reception starts.
  VCL->mHexFile->Clear();
  ClearGridBody();
  swdl.SetReceivedFileName("");
  VCL->eFileName->clear();
}

void TFrSerSwDl::ApplyParameterResults() {
  TStringGrid& g = *VCL->sgBinData;
  const TParameterResults results = Model.SwDl.TakeParameterResults();
  for (size_t i = 0; i < results.ParNumbers.size(); ++i) {
    const int32_t n = DecimalOf(results.ParNumbers[i]);
    if (n < 0) continue;
    for (int r = 1; r < g.RowCount(); ++r) {
      if (DecimalOf(g.Cell(0, r)) != n) continue;
      if (r == 1) {
        g.ClearColumn(3);
        g.ClearColumn(4);
      }
      if (i < results.PreviousValues.size()) g.SetCell(3, r, results.PreviousValues[i]);
      if (i < results.NewValues.size()) g.SetCell(4, r, results.NewValues[i]);
    }
  }
}

void TFrSerSwDl::StateChanged() {
  RefreshControls();
  TModelSwDl& swdl = Model.SwDl;
  if (swdl.ListChanged.exchange(false)) TakeReceivedLines();
  if (swdl.ReceiveStopped.exchange(false)) {
    ClearGridBody();
    FillParameterRows();
    try {
      WriteTextLines("CPSTORE.TXT", VCL->mHexFile->Lines());
    } catch (const std::exception& e) {
      Main.ShowError(e.what());
    }
  }
  swdl.CommandIssued = false;
  if (swdl.ParameterTableChanged.exchange(false)) ApplyParameterResults();
  UpdateProgress();
}

void TFrSerSwDl::UpdateProgress() {
  TFrSerSwDlVCL& w = *VCL;
  const CmRunStatus& status = Model.SwDl.RunStatus();
  const bool running = status.Phase == CmPhase::Transferring || status.Phase == CmPhase::Verifying ||
                       status.Phase == CmPhase::Finishing;
  if (!running) {
    ShowOutcome();
    return;
  }
  if (status.TotalUnits <= 0 || status.DoneUnits < 0) {
    w.pbProgress->setVisible(false);
    return;
  }
  // Writing (with read-back), then verifying, of one K7310 processor's part;
  // the TRX5170L image; the parameters of a parameter download.
  QString format = "Transferring %p%";
  if (Model.SwDl.OperationKind() == KindParameterDownload)
    format = "%v of %m parameters";
  else if (status.Phase == CmPhase::Verifying)
    format = "Verifying %p%";
  else if (status.Part != CmRunStatus::NoPart)
    format = "Writing %p%";
  w.pbProgress->setRange(0, static_cast<int>(status.TotalUnits));
  w.pbProgress->setValue(static_cast<int>(std::min(status.DoneUnits, status.TotalUnits)));
  w.pbProgress->setFormat(format);
  w.pbProgress->setVisible(true);
}

// After a run the bar stays, telling how it ended: the state texts read the
// same before and after a run without the final reboot, the bar does not.
void TFrSerSwDl::ShowOutcome() {
  QProgressBar& bar = *VCL->pbProgress;
  switch (Model.SwDl.RunOutcome()) {
    case CmPhase::Done:
      bar.setRange(0, 1);
      bar.setValue(1);
      bar.setFormat(Model.SwDl.IsK7310Download() ? "Done: verified" : "Done");
      bar.setVisible(true);
      return;
    case CmPhase::Failed:
    case CmPhase::Stopped:
      // Where the run got to stays shown.
      if (bar.maximum() <= bar.minimum()) bar.setRange(0, 1);
      bar.setFormat(Model.SwDl.RunOutcome() == CmPhase::Failed ? "Failed" : "Stopped");
      bar.setVisible(true);
      return;
    default:
      bar.setVisible(false);
      return;
  }
}
