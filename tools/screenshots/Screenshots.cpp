// The screenshot run (make screenshots): the desktop app's windows on a
// private INI file and folder, served by a channel that only poses (no
// device), driven through the menus, buttons and dialogs a technician uses,
// and captured from the screen after each step. On an X server it also reads
// back the window titles the server holds, which must be the exact captions.
#include <pty.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/Aboutbox.h"
#include "app/Dialogs.h"
#include "app/Fdlgconfig.h"
#include "app/Mainform.h"
#include "app/Startup.h"
#include "comm/Commbase.h"
#include "comm/Commthrd.h"
#include "core/Model.h"
#include "comm/K7310map.h"
#include "comm/Runstatus.h"
#include "core/Operations.h"
#include "views/Framestart.h"
#include "views/Frameserswdl.h"
#include "views/Frametooltotalhex.h"

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

// The dialogs answered without a user: file dialogs take the next queued
// name, questions are answered Yes (or OK); every box is reported on stderr.
class TUnattendedDialogs : public TDialogs {
 public:
  TMsgButton MessageBox(const std::string& text, const std::string& caption, TMsgIcon, int buttons) override {
    std::fprintf(stderr, "screenshots: message \"%s\" (%s)\n", text.c_str(), caption.c_str());
    return buttons & mbYes ? mbYes : mbOK;
  }
  bool OpenFile(const TFileDialogRequest&, std::string& fileName) override { return Next(fileName); }
  bool SaveFile(const TFileDialogRequest&, std::string& fileName) override { return Next(fileName); }
  void Beep() override {}

  std::deque<std::string> Names;

 private:
  bool Next(std::string& fileName) {
    if (Names.empty()) return false;
    fileName = Names.front();
    Names.pop_front();
    return true;
  }
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

// A user's pick in a combo box: selects the entry and fires its handler.
void Choose(QComboBox* box, int index) {
  box->setCurrentIndex(index);
  emit box->activated(index);
}

bool WaitForRestart(TFMain& main) {
  return PumpUntil([&main] { return !main.RestartPending && main.ModelRef().ThreadRunning(); });
}

// The title the X server holds for a window (what a window manager shows),
// read with xprop; empty when that cannot be done (no X server, no xprop).
QString ServerTitle(QWidget* window) {
  if (QGuiApplication::platformName() != "xcb" || QStandardPaths::findExecutable("xprop").isEmpty()) return {};
  QProcess xprop;
  xprop.start("xprop", {"-id", QString::number(window->winId()), "-notype", "_NET_WM_NAME"});
  if (!xprop.waitForFinished(5000)) return {};
  // _NET_WM_NAME = "Configuration"
  const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
  const int quote = out.indexOf('"');
  return quote < 0 ? QString() : out.mid(quote + 1, out.lastIndexOf('"') - quote - 1);
}

// Counts a failure when the X server shows another title than the caption.
int CheckTitle(QWidget* window, const QString& caption) {
  const QString title = ServerTitle(window);
  if (title.isEmpty()) {
    std::printf("title of \"%s\" not checked (no X server or no xprop)\n", caption.toLocal8Bit().constData());
    return 0;
  }
  const bool ok = title == caption;
  std::printf("%s title \"%s\"%s\n", ok ? "exact" : "WRONG", title.toLocal8Bit().constData(),
              ok ? "" : (" instead of \"" + caption + "\"").toLocal8Bit().constData());
  return ok ? 0 : 1;
}

// Opens a modal window from a menu item and captures it once shown; close
// ends it.
int CaptureModal(QAction* item, const std::function<QDialog*()>& dialog, const QString& file,
                 const QString& caption) {
  int failures = 0;
  bool shown = false;
  QTimer::singleShot(600, [&] {
    if (QDialog* d = dialog()) {
      shown = true;
      failures += !Capture(d, file);
      failures += CheckTitle(d, caption);
      d->reject();
    }
  });
  item->trigger();
  if (!shown) std::printf("FAILED %s: the window did not open\n", file.toLocal8Bit().constData());
  return failures + !shown;
}

int RunScreenshots(const QString& folder) {
  const QString out = QDir(folder).absolutePath();
  if (!QDir().mkpath(out)) {
    std::fprintf(stderr, "screenshots: cannot create %s\n", folder.toLocal8Bit().constData());
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
    TModel& model = main.ModelRef();

    SetPose(1, "");
    failures += !Capture(&main, out + "/start.png");
    failures += CheckTitle(&main, TFMain::Caption);

    failures += CaptureModal(main.MIHelpAbout, [&main] { return main.AboutBox(); }, out + "/about.png", "About");

    // The total hex tool: four parts loaded with their buttons, combined,
    // saved.
    main.MITotalHexFile->trigger();
    {
      TFrToolTotalHexVCL& w = dynamic_cast<TFrToolTotalHex*>(main.CurrentView())->Widgets();
      const std::pair<QPushButton*, const char*> parts[] = {{w.bLoadMain, "main_v12.hex"},
                                                            {w.bLoadDisp, "display_v3.hex"},
                                                            {w.bLoadLcComm, "lccomm_v2.hex"},
                                                            {w.bLoadEthernet, "ethernet_v5.hex"}};
      for (const auto& [button, name] : parts) {
        dialogs.Names.push_back(dir + "/" + name);
        button->click();
      }
      w.BCombine->click();
      dialogs.Names.push_back(dir + "/Tmain_v12.hex");
      w.BSave->click();
    }
    failures += !Capture(&main, out + "/totalhex.png");

    // Back through View, Software download to the start view, then "Serial"
    // and the K7310 download in the view's combo boxes.
    main.MIViewSwDl->trigger();
    WaitForRestart(main);
    Choose(dynamic_cast<TFrStart*>(main.CurrentView())->Widgets().cbConnectionType, 1);
    WaitForRestart(main);
    TFrSerSwDlVCL* w = &dynamic_cast<TFrSerSwDl*>(main.CurrentView())->Widgets();
    Choose(w->cbOperation, 1);
    WaitForRestart(main);
    SetPose(1, "Ready for download");
    dialogs.Names.push_back(dir + "/Tmain_v12.hex");
    w->bOpen->click();
    SetPose(1, "Ready for download");
    failures += !Capture(&main, out + "/download.png");

    w->bDownload->click();
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

    // The tool opened while the download runs, and the download ending
    // meanwhile: the View menu comes back.
    main.MITotalHexFile->trigger();
    SetPose(1, "Download done. Ready for new download");
    PumpUntil([&main] { return main.MIView->menuAction()->isVisible(); }, 2000);
    failures += !Capture(&main, out + "/totalhex-after-transfer.png");
    main.MIViewSwDl->trigger();
    WaitForRestart(main);
    w = &dynamic_cast<TFrSerSwDl*>(main.CurrentView())->Widgets();

    // Parameter download with results for the first rows.
    Choose(w->cbOperation, 3);
    WaitForRestart(main);
    dialogs.Names.push_back(dir + "/scale.txt");
    w->bOpen->click();
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
    Choose(w->cbOperation, 4);
    WaitForRestart(main);
    SetPose(0, "Ready to start receiving");
    for (size_t i = 1; i < ParameterLines.size(); ++i) model.SwDl.AddReceivedLine(ParameterLines[i]);
    main.ViewStateChanged();
    model.SwDl.ReceiveStopped = true;
    main.ViewStateChanged();
    SetPose(0, "Ready to start receiving");
    failures += !Capture(&main, out + "/parameter-upload.png");

    // The settings dialog from View, Settings (operation 4: parity).
    failures += CaptureModal(main.MIViewSettings, [&main] { return main.SettingsDialog(); },
                             out + "/settings.png", "Configuration");

    // Back to the start view with the idle channel's pose.
    Choose(w->cbConnectionType, 0);
    WaitForRestart(main);
    main.hide();
  }
  SetDialogs(nullptr);
  ::close(master);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<TApplication> app = StartApplication(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: qmss-screenshots FOLDER\n");
    return 2;
  }
  return RunScreenshots(QString::fromLocal8Bit(argv[1]));
}
