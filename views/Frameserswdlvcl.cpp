#include "views/Frameserswdlvcl.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <exception>

#include "files/Inipath.h"
#include "app/Abortdownload.h"
#include "app/Mainform.h"
#include "core/Controller.h"
#include "core/Model.h"
#include "core/Textfile.h"
#include "views/Ansitext.h"
#include "views/Framebase.h"
#include "views/Frameserswdl.h"
#include "views/Layout.h"
#include "views/Loadwarnings.h"
#include "views/Memo.h"
#include "views/Stringgrid.h"

namespace {
constexpr const char* HexFilter = "Intel HEX files (*.hex)|*.HEX";
constexpr const char* TextFilter = "Text files (*.txt)|*.TXT";

bool FileExists(const std::string& name) { return QFileInfo::exists(QString::fromStdString(name)); }
}  // namespace

TFrSerSwDlVCL::TFrSerSwDlVCL(TFMain& main, TFrSerSwDl& view, TModel& model, TController& controller,
                             QWidget* parent)
    : QWidget(parent), Main(main), View(view), Model(model), Controller(controller) {
  setObjectName("FrSerSwDl");
  MakeViewSurface(this);
  resize(DesignWidth, DesignHeight);

  lConnection = MakeLabel(this, "lConnection", "Connection type:", 16, 12);
  cbConnectionType = MakeComboBox(this, "cbConnectionType", 104, 8, 257);
  lOperation = MakeLabel(this, "lOperation", "Operation:", 16, 44);
  cbOperation = MakeComboBox(this, "cbOperation", 104, 40, 257);
  LPort = MakeLabel(this, "LPort", "Port:", 16, 76);
  EPort = MakeReadOnlyEdit(this, "EPort", 64, 72, 65);
  Label1 = MakeLabel(this, "Label1", "File:", 16, 108);
  eFileName = MakeReadOnlyEdit(this, "eFileName", 64, 104, 369);
  bOpen = MakeButton(this, "bOpen", "Open", 456, 104, 129, 25);
  LState = MakeLabel(this, "LState", "State:", 16, 140);
  eState = MakeReadOnlyEdit(this, "eState", 64, 136, 289);
  bDownload = MakeButton(this, "bDownload", "Download", 456, 136, 129, 25);
  bDownload->setVisible(false);
  bDownload->setEnabled(false);
  lLength = MakeLabel(this, "lLength", "Length:", 600, 84);
  eLength = MakeReadOnlyEdit(this, "eLength", 600, 104, 57);
  eAddr = MakeReadOnlyEdit(this, "eAddr", 600, 136, 57);
  lUnit = MakeLabel(this, "lUnit", "Unit:", 672, 116);
  EUnit = MakeReadOnlyEdit(this, "EUnit", 672, 136, 129);

  pbProgress = new QProgressBar(this);
  pbProgress->setObjectName("pbProgress");
  pbProgress->setGeometry(816, 136, 192, EditHeight);
  pbProgress->setTextVisible(true);
  pbProgress->setVisible(false);

  mHexFile = new TMemo(this);
  mHexFile->setObjectName("mHexFile");
  mHexFile->setGeometry(16, 184, 337, 489);
  sgBinData = new TStringGrid(this);
  sgBinData->setObjectName("sgBinData");
  sgBinData->setGeometry(376, 184, 632, 489);
  sgBinData->SetColCount(17);

  ODHexFile.Filter = HexFilter;
  sdParFile.DefaultExt = "TXT";
  sdParFile.Filter = TextFilter;

  connect(bOpen, &QPushButton::clicked, this, [this] { bOpenClick(); });
  connect(bDownload, &QPushButton::clicked, this, [this] { bDownloadClick(); });
  connect(cbConnectionType, &QComboBox::activated, this, [this] { cbConnectionTypeChange(); });
  connect(cbOperation, &QComboBox::activated, this, [this] { cbOperationChange(); });
}

void TFrSerSwDlVCL::FitToFrame() {
  const int w = width();
  const int h = height();
  mHexFile->resize(mHexFile->width(), h - mHexFile->y() - 16);
  sgBinData->setGeometry(mHexFile->width() + 32, sgBinData->y(), w - mHexFile->width() - 48,
                         h - sgBinData->y() - 16);
}

void TFrSerSwDlVCL::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitToFrame();
}

void TFrSerSwDlVCL::bOpenClick() {
  if (bOpen->text() == "Open")
    OpenFile();
  else
    SaveReceivedLines();
}

void TFrSerSwDlVCL::OpenFile() {
  const uint8_t kind = Model.SwDl.OperationKind();
  if (kind == KindSoftwareDownload) ODHexFile.Filter = HexFilter;
  if (kind == KindParameterDownload) ODHexFile.Filter = TextFilter;
  ODHexFile.FileName.clear();
  ODHexFile.InitialDir = ExecutableFolder();
  std::string fileName;
  if (!Dialogs().OpenFile(ODHexFile, fileName)) return;
  if (!FileExists(fileName)) {
    Dialogs().MessageBox("Could not open file", "Error", TMsgIcon::Error, mbOK);
    return;
  }
  try {
    if (kind == KindSoftwareDownload) {
      LoadHexFile(fileName);
    } else if (kind == KindParameterDownload) {
      LoadParameterFile(fileName);
    } else {
      UASwDlFileLoad action;
      action.FileName = fileName;
      Controller.Execute(action);
    }
  } catch (const std::exception& e) {
    Main.ShowError(e.what());
  }
}

void TFrSerSwDlVCL::LoadHexFile(const std::string& fileName) {
  std::shared_ptr<HexFile> image = Model.SwDl.PrepareImage(fileName);
  if (!AcceptHexLoadReport(image->Report(), fileName)) return;
  UASwDlFileLoad action;
  action.FileName = fileName;
  action.Prepared = std::move(image);
  Controller.Execute(action);
}

void TFrSerSwDlVCL::LoadParameterFile(const std::string& fileName) {
  UASwDlFileLoad action;
  action.FileName = fileName;
  Controller.Execute(action);
  WarnOversizedParameterLines(OversizedParameterLines(Model.SwDl.DataLines()), fileName);
}

void TFrSerSwDlVCL::SaveReceivedLines() {
  std::string fileName;
  sdParFile.FileName.clear();
  sdParFile.InitialDir = ExecutableFolder();
  for (;;) {
    if (!Dialogs().SaveFile(sdParFile, fileName)) return;
    if (!FileExists(fileName)) break;
    const std::string question = "File:\r\n" + fileName + "\r\nexists. Overwrite?";
    if (Dialogs().MessageBox(question, "Error", TMsgIcon::None, mbOK | mbCancel) == mbOK) break;
    // Shown again with the name just chosen, for the user to change it.
    sdParFile.FileName = fileName;
  }
  try {
    WriteTextLines(fileName, mHexFile->Lines());
  } catch (const std::exception& e) {
    Main.ShowError(e.what());
    return;
  }
  Model.SwDl.SetReceivedFileName(fileName);
  eFileName->setText(QString::fromStdString(fileName));
}

void TFrSerSwDlVCL::bDownloadClick() {
  try {
    if (bDownload->text() == "Abort") {
      if (AskAbortDownload()) {
        UASwDlAbort action;
        Controller.Execute(action);
      }
    } else {
      bool start = true;
      if (Model.SwDl.OperationKind() == KindParameterUpload && sgBinData->RowCount() >= 2 &&
          eFileName->text().isEmpty() && !sgBinData->Cell(0, 1).empty()) {
        start = Dialogs().MessageBox("Previous received data not save. Get new data?", "Data from Device",
                                     TMsgIcon::None, mbYes | mbNo) == mbYes;
      }
      if (start) {
        UASwDlStart action;
        Controller.Execute(action);
      }
    }
  } catch (const std::exception& e) {
    Main.ShowError(e.what());
  }
  View.RefreshControls();
}

void TFrSerSwDlVCL::cbConnectionTypeChange() {
  Main.SelectConnection(cbConnectionType->currentIndex(), false, true);
}

void TFrSerSwDlVCL::cbOperationChange() {
  const int index = cbOperation->currentIndex();
  // Another operation restarts the communication: a running transfer ends
  // only when the user agrees.
  if (index != Model.SwDl.GetOperation() && !Main.TransferMayEnd()) {
    cbOperation->setCurrentIndex(Model.SwDl.GetOperation());
    return;
  }
  if (index >= 0) {
    UASwDlOperationSelect action;
    action.Operation = static_cast<uint8_t>(index);
    Controller.Execute(action);
  }
  Main.SelectOperation(Model.SwDl.GetOperation());
}

void TFrSerSwDlVCL::StateTextChanged(void* self) {
  auto* vcl = static_cast<TFrSerSwDlVCL*>(self);
  vcl->eState->setText(AnsiToQString(vcl->Model.SwDl.StateText.Get()));
}

void TFrSerSwDlVCL::AddressTextChanged(void* self) {
  auto* vcl = static_cast<TFrSerSwDlVCL*>(self);
  vcl->eAddr->setText(AnsiToQString(vcl->Model.SwDl.AddressText.Get()));
  vcl->View.UpdateProgress();
}

void TFrSerSwDlVCL::UnitTextChanged(void* self) {
  auto* vcl = static_cast<TFrSerSwDlVCL*>(self);
  vcl->EUnit->setText(AnsiToQString(vcl->Model.SwDl.UnitText.Get()));
  vcl->View.UpdateProgress();
}
