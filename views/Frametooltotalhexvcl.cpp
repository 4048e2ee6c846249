#include "views/Frametooltotalhexvcl.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <exception>

#include "app/Mainform.h"
#include "core/Controller.h"
#include "core/Model.h"
#include "views/Framebase.h"
#include "views/Layout.h"
#include "views/Loadwarnings.h"
#include "views/Memo.h"
#include "views/Radiogroup.h"
#include "views/Stringgrid.h"

namespace {
constexpr const char* HexFilter = "Intel HEX files (*.hex)|*.HEX";

bool FileExists(const std::string& name) { return QFileInfo::exists(QString::fromStdString(name)); }
}  // namespace

std::string ProposedTotalFileName(const std::string& mainFileName) {
  // The folder with its separator; without a folder (no main file loaded) the
  // name stays relative, so the dialog proposes its own folder rather than the
  // root of the file system.
  const size_t slash = mainFileName.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : mainFileName.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? mainFileName : mainFileName.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  if (!ext.empty()) name = name.substr(0, name.find(ext));
  return folder + "T" + name + ext;
}

TFrToolTotalHexVCL::TFrToolTotalHexVCL(TFMain& main, TModel& model, TController& controller, QWidget* parent)
    : QWidget(parent), Main(main), Model(model), Controller(controller) {
  setObjectName("FrToolTotalHex");
  MakeViewSurface(this);
  resize(DesignWidth, DesignHeight);

  Label1 = MakeLabel(this, "Label1", "Main file:", 16, 36);
  Label2 = MakeLabel(this, "Label2", "Display:", 16, 68);
  Label3 = MakeLabel(this, "Label3", "LC comm.:", 16, 100);
  Label5 = MakeLabel(this, "Label5", "Ethernet.:", 16, 132);
  Label4 = MakeLabel(this, "Label4", "Length:", 568, 12);
  eMainFile = MakeReadOnlyEdit(this, "eMainFile", 96, 32, 369);
  eDisplayFile = MakeReadOnlyEdit(this, "eDisplayFile", 96, 64, 369);
  eLcCommFile = MakeReadOnlyEdit(this, "eLcCommFile", 96, 96, 369);
  eEthernetFile = MakeReadOnlyEdit(this, "eEthernetFile", 96, 128, 369);
  bLoadMain = MakeButton(this, "bLoadMain", "Load", 480, 30, 75, 25);
  bLoadDisp = MakeButton(this, "bLoadDisp", "Load", 480, 62, 75, 25);
  bLoadLcComm = MakeButton(this, "bLoadLcComm", "Load", 480, 94, 75, 25);
  bLoadEthernet = MakeButton(this, "bLoadEthernet", "Load", 480, 126, 75, 25);
  eMainLength = MakeReadOnlyEdit(this, "eMainLength", 568, 32, 57);
  eDisplayLength = MakeReadOnlyEdit(this, "eDisplayLength", 568, 64, 57);
  eLcCommLength = MakeReadOnlyEdit(this, "eLcCommLength", 568, 96, 57);
  eEthernetLength = MakeReadOnlyEdit(this, "eEthernetLength", 568, 128, 57);
  BCombine = MakeButton(this, "BCombine", "Combine", 96, 166, 75, 25);
  BSave = MakeButton(this, "BSave", "Save", 184, 166, 75, 25);

  rgDisplay = new TRadioGroup("Display", {"Main", "Display", "Loadcell communication", "Ethernet", "Total"}, this);
  rgDisplay->setObjectName("rgDisplay");
  rgDisplay->setGeometry(664, 6, 185, 187);

  mHexFile = new TMemo(this);
  mHexFile->setObjectName("mHexFile");
  mHexFile->setGeometry(16, 208, 337, 465);
  sgBinData = new TStringGrid(this);
  sgBinData->setObjectName("sgBinData");
  sgBinData->setGeometry(376, 208, 632, 465);
  sgBinData->SetColCount(17);

  for (TFileDialogRequest* d : {&ODMainFile, &ODDisplayFile, &ODLcCommFile, &ODEthernetFile}) d->Filter = HexFilter;
  SDTotal.DefaultExt = "HEX";
  SDTotal.Filter = HexFilter;

  connect(bLoadMain, &QPushButton::clicked, this, [this] { bLoadMainClick(); });
  connect(bLoadDisp, &QPushButton::clicked, this, [this] { bLoadDispClick(); });
  connect(bLoadLcComm, &QPushButton::clicked, this, [this] { bLoadLcCommClick(); });
  connect(bLoadEthernet, &QPushButton::clicked, this, [this] { bLoadEthernetClick(); });
  connect(BCombine, &QPushButton::clicked, this, [this] { BCombineClick(); });
  connect(BSave, &QPushButton::clicked, this, [this] { BSaveClick(); });
  rgDisplay->OnClick = [this] { rgDisplayClick(); };
}

void TFrToolTotalHexVCL::FitToFrame() {
  sgBinData->setGeometry(mHexFile->width() + 32, sgBinData->y(), width() - mHexFile->width() - 48,
                         height() - sgBinData->y() - 16);
}

void TFrToolTotalHexVCL::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitToFrame();
}

void TFrToolTotalHexVCL::LoadPart(int part, TFileDialogRequest& dialog) {
  std::string fileName;
  if (!Dialogs().OpenFile(dialog, fileName)) return;
  // The dialog opens where it was last used.
  dialog.InitialDir = QFileInfo(QString::fromStdString(fileName)).absolutePath().toStdString();
  if (!FileExists(fileName)) {
    Dialogs().MessageBox("Could not open file", "Error", TMsgIcon::Error, mbOK);
    return;
  }
  try {
    std::unique_ptr<HexFile> image = TModelTotalHex::PreparePart(part, fileName);
    if (!AcceptHexLoadReport(image->Report(), fileName)) return;
    auto send = [&](UATotalHexPartLoad& action) {
      action.FileName = fileName;
      action.Prepared = std::move(image);
    };
    switch (part) {
      case 1: { UATotalHexMainLoad a; send(a); Controller.Execute(a); break; }
      case 2: { UATotalHexDispLoad a; send(a); Controller.Execute(a); break; }
      case 3: { UATotalHexLcCommLoad a; send(a); Controller.Execute(a); break; }
      default: { UATotalHexEthernetLoad a; send(a); Controller.Execute(a); break; }
    }
  } catch (const std::exception& e) {
    Main.ShowError(e.what());
  }
}

void TFrToolTotalHexVCL::bLoadMainClick() { LoadPart(1, ODMainFile); }
void TFrToolTotalHexVCL::bLoadDispClick() { LoadPart(2, ODDisplayFile); }
void TFrToolTotalHexVCL::bLoadLcCommClick() { LoadPart(3, ODLcCommFile); }
void TFrToolTotalHexVCL::bLoadEthernetClick() { LoadPart(4, ODEthernetFile); }

void TFrToolTotalHexVCL::BCombineClick() {
  UATotalHexCombine action;
  Controller.Execute(action);
  if (action.Result) return;
  if (action.Problem.empty())
    Dialogs().Beep();  // a part is missing
  else
    Dialogs().MessageBox(action.Problem, "Warning", TMsgIcon::Warning, mbOK);
}

void TFrToolTotalHexVCL::rgDisplayClick() {
  UATotalHexDisplaySelect action;
  action.Image = rgDisplay->ItemIndex() + 1;
  Controller.Execute(action);
}

void TFrToolTotalHexVCL::BSaveClick() {
  SDTotal.FileName = ProposedTotalFileName(Model.TotalHex.Image(1).FileName());
  std::string fileName;
  if (!Dialogs().SaveFile(SDTotal, fileName)) return;
  if (FileExists(fileName) &&
      Dialogs().MessageBox("File exists. Overwrite?", "Warning", TMsgIcon::Warning, mbYes | mbNo) != mbYes)
    return;
  try {
    UATotalHexTotalSave action;
    action.FileName = fileName;
    Controller.Execute(action);
  } catch (const std::exception& e) {
    Main.ShowError(e.what());
  }
}
