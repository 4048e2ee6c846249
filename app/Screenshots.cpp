// The screenshot run: a main window on a private INI file and folder, served
// by a channel that only poses (no device), driven through the same user
// actions the views send, and captured from the screen after each step.
#include "app/Screenshots.h"

#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/Dialogs.h"
#include "app/Fdlgconfig.h"
#include "app/Mainform.h"
#include "comm/Commbase.h"
#include "comm/Commthrd.h"
#include "core/Controller.h"
#include "core/Model.h"
#include "comm/K7310map.h"
#include "comm/Runstatus.h"
#include "core/Operations.h"
#include "views/Frameserswdl.h"

namespace {

// What the posing channel shows; set by the run between captures.
struct TPose {
  int State = 1;
  std::string StateText;
  std::string AddressText;
  std::string UnitText;
  CmRunStatus Run;  // what the progress bar shows
  bool Changed = false;
};
TPose Pose;

class TPosingChannel : public CmBase {
 public:
  TPosingChannel(TModel& model, PortSettings* settings) : CmBase(model, settings) { Status().Medium = "Serial"; }
  void Open(CmConfig* config) override { Config = config; }
  void Step() override {}
  void UpdateStatus() override {
    Model.SwDl.SetRunStatus(Pose.Run);
    Model.SwDl.StateText.Set(Pose.StateText);
    Model.SwDl.AddressText.Set(Pose.AddressText);
    Model.SwDl.UnitText.Set(Pose.UnitText);
    if (Pose.Changed) {
      Pose.Changed = false;
      Model.Host().ViewStateChanged();
    }
  }
  int GetState() override { return Pose.State; }
};

// Message boxes are answered without a user and reported on stderr.
class TUnattendedDialogs : public TDialogs {
 public:
  TMsgButton MessageBox(const std::string& text, const std::string& caption, TMsgIcon, int buttons) override {
    std::fprintf(stderr, "screenshots: message \"%s\" (%s)\n", text.c_str(), caption.c_str());
    return buttons & mbYes ? mbYes : mbOK;
  }
  bool OpenFile(const TFileDialogRequest&, std::string&) override { return false; }
  bool SaveFile(const TFileDialogRequest&, std::string&) override { return false; }
  void Beep() override {}
};

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

void SetPose(int state, std::string stateText, std::string address = {}, std::string unit = {},
             CmRunStatus run = {}) {
  Pose.Run = run;
  Pose.State = state;
  Pose.StateText = std::move(stateText);
  Pose.AddressText = std::move(address);
  Pose.UnitText = std::move(unit);
  Pose.Changed = true;
  Pump(300);
}

bool Capture(QWidget* window, const QString& file) {
  window->raise();
  window->activateWindow();
  Pump(400);
  QPixmap shot;
  if (QScreen* screen = window->screen()) shot = screen->grabWindow(window->winId());
  if (shot.isNull()) shot = window->grab();
  const bool ok = shot.save(file, "PNG");
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.toLocal8Bit().constData());
  return ok;
}

// An Intel HEX file of the given data at a flash address, 16 bytes a record,
// with an extended linear address record; cells marked -1 are left out.
void WriteHexFile(const std::string& name, uint32_t address, const std::vector<int>& bytes) {
  std::ofstream out(name, std::ios::binary);
  auto record = [&out](int type, uint16_t offset, const std::vector<uint8_t>& data) {
    char text[16];
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + (offset & 0xFF) + static_cast<unsigned>(type);
    std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(data.size()), offset, type);
    out << text;
    for (uint8_t b : data) {
      std::snprintf(text, sizeof text, "%02X", b);
      out << text;
      sum += b;
    }
    std::snprintf(text, sizeof text, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    out << text << "\r\n";
  };
  record(4, 0, {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16)});
  for (size_t i = 0; i < bytes.size(); i += 16) {
    std::vector<uint8_t> data;
    size_t first = i;
    for (size_t k = i; k < std::min(bytes.size(), i + 16); ++k) {
      if (bytes[k] < 0) {
        if (!data.empty()) record(0, static_cast<uint16_t>((address & 0xFFFF) + first), data);
        data.clear();
        first = k + 1;
        continue;
      }
      data.push_back(static_cast<uint8_t>(bytes[k]));
    }
    if (!data.empty()) record(0, static_cast<uint16_t>((address & 0xFFFF) + first), data);
  }
  record(5, 0, {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16), 0x01, 0x31});
  record(1, 0, {});
}

// Firmware-like bytes: a vector table, code, a gap of empty cells.
std::vector<int> SampleImage(size_t length, unsigned seed) {
  std::vector<int> bytes(length);
  unsigned x = seed;
  for (size_t i = 0; i < length; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<int>((x >> 16) & 0xFF);
  }
  for (size_t i = 0x123; i < std::min(length, size_t{0x160}); ++i) bytes[i] = -1;
  return bytes;
}

void WriteText(const std::string& name, const std::vector<std::string>& lines) {
  std::ofstream out(name, std::ios::binary);
  for (const std::string& l : lines) out << l << "\r\n";
}

const std::vector<std::string> ParameterLines = {
    "Scale parameters, exported 2009-11-16",
    "Par.1: Scale type :2",
    "Par.2: Decimal point :3",
    "Par.3: Division :5",
    "Par.5: Capacity :60000",
    "Par.8: Filter :4",
    "Par.12: Zero tracking :3",
    "Par.13: Zero range :2",
    "Par.20: Motion band :1",
    "Par.21: Motion time :10",
    "Par.30: Baud rate :9600",
    "Par.31: Address :1",
};

// As the user does it: the download view's operation combo box.
void SelectOperation(TFMain& main, int operation) {
  auto* view = dynamic_cast<TFrSerSwDl*>(main.CurrentView());
  if (!view) return;
  view->Widgets().cbOperation->setCurrentIndex(operation);
  view->Widgets().cbOperationChange();
  PumpUntil([&main] { return !main.RestartPending; });
}

}  // namespace

int RunScreenshots(const char* folder) {
  const QString out = QDir(QString::fromLocal8Bit(folder)).absolutePath();
  if (!QDir().mkpath(out)) {
    std::fprintf(stderr, "screenshots: cannot create %s\n", folder);
    return 1;
  }
  QTemporaryDir work;
  if (!work.isValid()) return 1;
  const std::string dir = work.path().toStdString();
  QDir::setCurrent(work.path());  // LOG.TXT and CPSTORE.TXT go there
  // A pseudo-terminal stands in for the serial port COM1, so that the port
  // probe and the settings dialog find one.
  int master = -1;
  int slave = -1;
  char slaveName[256] = {};
  if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "screenshots: no pseudo-terminal\n");
    return 1;
  }
  ::close(slave);
  WriteText(dir + "/QMScaleService.INI", {"[CONFIG]", "CONNECTION=None", "PORT=1", "TOOLMENU=1",
                                          "OPERATION=None", "[PORTS]", std::string("COM1=") + slaveName});
  qputenv("QMSS_INI", QByteArray::fromStdString(dir + "/QMScaleService.INI"));

  WriteHexFile(dir + "/main_v12.hex", 0x08000000, SampleImage(0x2400, 1));
  WriteHexFile(dir + "/display_v3.hex", 0x08000000, SampleImage(0x900, 2));
  WriteHexFile(dir + "/lccomm_v2.hex", 0x08000000, SampleImage(0x600, 3));
  WriteHexFile(dir + "/ethernet_v5.hex", 0x08000000, SampleImage(0x700, 4));
  WriteHexFile(dir + "/trx5170l.hex", 0x000E0000, SampleImage(0x3000, 5));
  WriteText(dir + "/scale.txt", ParameterLines);

  TUnattendedDialogs dialogs;
  SetDialogs(&dialogs);
  int failures = 0;
  {
    TFMain main([](TModel& model, const CmConfig&, PortSettings* settings) {
      return std::make_unique<TPosingChannel>(model, settings);
    });
    ApplicationStarted = true;
    main.show();
    Pump(500);
    TController& controller = main.ControllerRef();
    TModel& model = main.ModelRef();

    SetPose(1, "");
    failures += !Capture(&main, out + "/start.png");

    // The total hex tool: four parts, combined.
    main.MITotalHexFileClick();
    {
      UATotalHexMainLoad a; a.FileName = dir + "/main_v12.hex"; controller.Execute(a);
      UATotalHexDispLoad b; b.FileName = dir + "/display_v3.hex"; controller.Execute(b);
      UATotalHexLcCommLoad c; c.FileName = dir + "/lccomm_v2.hex"; controller.Execute(c);
      UATotalHexEthernetLoad d; d.FileName = dir + "/ethernet_v5.hex"; controller.Execute(d);
      UATotalHexCombine e; controller.Execute(e);
      UATotalHexTotalSave f; f.FileName = dir + "/Tmain_v12.hex"; controller.Execute(f);
    }
    failures += !Capture(&main, out + "/totalhex.png");

    // Serial connection, K7310 download with the total image loaded.
    main.SelectConnection(1, false, true);
    PumpUntil([&main] { return !main.RestartPending; });
    SelectOperation(main, 1);
    SetPose(1, "Ready for download");
    {
      UASwDlFileLoad load;
      load.FileName = dir + "/Tmain_v12.hex";
      controller.Execute(load);
    }
    SetPose(1, "Ready for download");
    failures += !Capture(&main, out + "/download.png");

    {
      CmRunStatus writing;
      writing.Phase = CmPhase::Transferring;
      writing.Part = 0;
      writing.DoneUnits = 5632;
      const K7310Processor& mainPart = K7310Processors[0];
      writing.TotalUnits = model.SwDl.CurrentImage()->BlockLength(mainPart.RangeStart, mainPart.RangeSize);
      SetPose(14, "Downloading", "5632", mainPart.Name, writing);
    }
    failures += !Capture(&main, out + "/download-running.png");
    SetPose(1, "Download done. Ready for new download");

    // Parameter download with results for the first rows.
    SelectOperation(main, 3);
    {
      UASwDlFileLoad load;
      load.FileName = dir + "/scale.txt";
      controller.Execute(load);
    }
    {
      CmRunStatus sending;
      sending.Phase = CmPhase::Transferring;
      sending.DoneUnits = 4;
      sending.TotalUnits = model.SwDl.SendableParameterCount();
      SetPose(5, "Parameter 8 read.", {}, {}, sending);
    }
    const char* const results[][3] = {{"1", "2", "2"}, {"2", "2", "3"}, {"3", "5", "5"}, {"5", "30000", "60000"}};
    for (const auto& r : results) {
      model.SwDl.AppendParNumber(r[0]);
      model.SwDl.AppendPreviousValue(r[1]);
      model.SwDl.AppendNewValue(r[2]);
    }
    model.SwDl.ParameterTableChanged = true;
    main.ViewStateChanged();
    failures += !Capture(&main, out + "/parameter-download.png");
    SetPose(1, "Ready for transfer to device");

    // Parameter upload: the received lines, after Stop.
    SelectOperation(main, 4);
    SetPose(0, "Ready to start receiving");
    for (size_t i = 1; i < ParameterLines.size(); ++i) model.SwDl.AddReceivedLine(ParameterLines[i]);
    main.ViewStateChanged();
    model.SwDl.ReceiveStopped = true;
    main.ViewStateChanged();
    SetPose(0, "Ready to start receiving");
    failures += !Capture(&main, out + "/parameter-upload.png");

    // The settings dialog, as opened from the menu (operation 4: parity).
    QTimer::singleShot(600, [&main, &out, &failures] {
      if (TDlgConfig* dialog = main.SettingsDialog()) {
        failures += !Capture(dialog, out + "/settings.png");
        dialog->BCancelClick();
      }
    });
    main.ViewSettingsExecute();

    // Back to the start view with the idle channel's pose.
    main.SelectConnection(0, false, true);
    PumpUntil([&main] { return !main.RestartPending; });
    main.hide();
  }
  SetDialogs(nullptr);
  ::close(master);
  return failures == 0 ? 0 : 1;
}
