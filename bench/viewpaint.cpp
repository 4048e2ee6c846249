// The download view with a full 704 KiB K7310 image: the time from the view's
// Update to the first frame painted with the new lines and dump, and the heap
// the view adds on top of what the model holds.
//
// The main window runs on a private INI file and folder with a channel that
// does nothing, so that no device and no timing of a line is involved.
// Heap in use is read with mallinfo2 (every Qt and std allocation goes
// through malloc), which, unlike the resident set, is not blurred by pages
// the allocator keeps after a free.
// Usage: bench_viewpaint [RUNS]   (default 10; offscreen unless a platform is set)
#include <malloc.h>
#include <pty.h>
#include <unistd.h>

#include <QAbstractScrollArea>
#include <QDir>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/Dialogs.h"
#include "app/Mainform.h"
#include "comm/Commbase.h"
#include "comm/Commthrd.h"
#include "core/Controller.h"
#include "core/Model.h"
#include "core/Useraction.h"
#include "tests/support/Hexwriter.h"
#include "views/Frameserswdl.h"
#include "views/Memo.h"
#include "views/Stringgrid.h"

namespace {

class TQuietChannel : public CmBase {
 public:
  TQuietChannel(TModel& model, PortSettings* settings) : CmBase(model, settings) { Status().Medium = "Serial"; }
  void Open(CmConfig* config) override { Config = config; }
  void Step() override {}
  void UpdateStatus() override {}
  int GetState() override { return 1; }
};

class TNoDialogs : public TDialogs {
 public:
  TMsgButton MessageBox(const std::string& text, const std::string&, TMsgIcon, int buttons) override {
    std::fprintf(stderr, "viewpaint: unexpected message \"%s\"\n", text.c_str());
    return buttons & mbYes ? mbYes : mbOK;
  }
  bool OpenFile(const TFileDialogRequest&, std::string&) override { return false; }
  bool SaveFile(const TFileDialogRequest&, std::string&) override { return false; }
  void Beep() override {}
};

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
 public:
  int Paints = 0;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Paints;
    return QObject::eventFilter(watched, event);
  }
};

size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

double MiB(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// 704 KiB of random bytes at 0x08000000, 16 bytes a record, CR LF.
void WriteFullImage(const std::string& name) {
  std::mt19937 random(7);
  std::vector<uint8_t> data(0xB0000);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  WriteTextFile(name, IntelHex({{0x08000000, data}}));
}

// Runs the event loop until both widgets have painted once more than they
// had, or 5 s have passed; false on the time-out.
bool PumpUntilPainted(TPaintCounter& a, int aBefore, TPaintCounter& b, int bBefore) {
  QElapsedTimer t;
  t.start();
  while ((a.Paints <= aBefore || b.Paints <= bBefore) && t.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  return a.Paints > aBefore && b.Paints > bBefore;
}

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  QTemporaryDir work;
  if (!work.isValid()) return 1;
  const std::string dir = work.path().toStdString();
  QDir::setCurrent(work.path());
  int master = -1;
  int slave = -1;
  char slaveName[256] = {};
  if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "viewpaint: no pseudo-terminal\n");
    return 1;
  }
  ::close(slave);
  {
    std::ofstream ini(dir + "/QMScaleService.INI", std::ios::binary);
    ini << "[CONFIG]\r\nCONNECTION=Serial\r\nPORT=1\r\nOPERATION=Software Download - K7310\r\n[PORTS]\r\nCOM1="
        << slaveName << "\r\n";
  }
  qputenv("QMSS_INI", QByteArray::fromStdString(dir + "/QMScaleService.INI"));
  const std::string file = dir + "/full.hex";
  WriteFullImage(file);

  TNoDialogs dialogs;
  SetDialogs(&dialogs);
  int status = 0;
  {
    TFMain main([](TModel& model, const CmConfig&, PortSettings* settings) {
      return std::make_unique<TQuietChannel>(model, settings);
    });
    ApplicationStarted = true;
    main.resize(1024, 768);
    main.show();
    Pump(300);
    auto* view = dynamic_cast<TFrSerSwDl*>(main.CurrentView());
    if (!view) {
      std::fprintf(stderr, "viewpaint: the download view is not shown\n");
      return 1;
    }
    TFrSerSwDlVCL& w = view->Widgets();
    TPaintCounter gridPaints;
    TPaintCounter memoPaints;
    w.sgBinData->viewport()->installEventFilter(&gridPaints);
    w.mHexFile->viewport()->installEventFilter(&memoPaints);

    // What the model holds for the file: the image with its lines.
    size_t modelBytes = 0;
    {
      const size_t before = HeapInUse();
      std::shared_ptr<HexFile> image = main.ModelRef().SwDl.PrepareImage(file);
      modelBytes = HeapInUse() - before;
    }

    // Open as the user's action does it: load, publish, Update, paint.
    const size_t heapBefore = HeapInUse();
    QElapsedTimer timer;
    int g = gridPaints.Paints;
    int m = memoPaints.Paints;
    timer.start();
    {
      UASwDlFileLoad load;
      load.FileName = file;
      main.ControllerRef().Execute(load);
    }
    const bool painted = PumpUntilPainted(gridPaints, g, memoPaints, m);
    const double openMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    Pump(200);
    const size_t heapAfter = HeapInUse();
    if (!painted || w.mHexFile->Count() != 45068 || w.sgBinData->RowCount() != 0xB0000 / 16 + 2) {
      std::fprintf(stderr, "viewpaint: the view did not show the image (%d lines, %d rows)\n", w.mHexFile->Count(),
                   w.sgBinData->RowCount());
      status = 1;
    }

    // Update alone, on the loaded image, each run to its first frame.
    std::vector<double> updateMs;
    for (int i = 0; i < runs && status == 0; ++i) {
      g = gridPaints.Paints;
      m = memoPaints.Paints;
      timer.restart();
      view->Update();
      if (!PumpUntilPainted(gridPaints, g, memoPaints, m)) {
        std::fprintf(stderr, "viewpaint: no frame painted after Update\n");
        status = 1;
        break;
      }
      updateMs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
      Pump(50);
    }
    if (status == 0) {
      std::sort(updateMs.begin(), updateMs.end());
      const double median = updateMs[updateMs.size() / 2];
      const size_t added = heapAfter > heapBefore ? heapAfter - heapBefore : 0;
      const size_t viewBytes = added > modelBytes ? added - modelBytes : 0;
      std::printf("viewpaint: 704 KiB image, %d file lines, %d dump rows (%s platform)\n", w.mHexFile->Count(),
                  w.sgBinData->RowCount(), QApplication::platformName().toLocal8Bit().constData());
      std::printf("viewpaint: Update to first painted frame: median %.2f ms, worst %.2f ms over %zu runs (target under 50 ms)\n",
                  median, updateMs.back(), updateMs.size());
      std::printf("viewpaint: Open (file load, Update, paint): %.2f ms\n", openMs);
      std::printf("viewpaint: heap after Open +%.2f MiB, of which the model's image and lines %.2f MiB, "
                  "the view %.2f MiB (target under 20 MiB)\n",
                  MiB(added), MiB(modelBytes), MiB(viewBytes));
    }
    main.hide();
  }
  SetDialogs(nullptr);
  ::close(master);
  return status;
}
