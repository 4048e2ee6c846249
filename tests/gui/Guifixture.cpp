#include "tests/gui/Guifixture.h"

#include <QComboBox>
#include <QDir>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/Commclos.h"
#include "views/Framestart.h"
#include "views/Frameserswdl.h"
#include "views/Frametooltotalhex.h"
#include "tests/support/Eventloop.h"

void GuiTest::SetUp() {
  ASSERT_TRUE(Dir.isValid());
  ASSERT_TRUE(Pty.IsOpen());
  OldCurrentDir = QDir::currentPath();
  QDir::setCurrent(Dir.path());
  setenv("QMSS_INI", Path("QMScaleService.INI").c_str(), 1);
  SetDialogs(&Dialogs);
}

void GuiTest::TearDown() {
  DestroyMain();
  SetDialogs(nullptr);
  unsetenv("QMSS_INI");
  QDir::setCurrent(OldCurrentDir);
  EXPECT_TRUE(Dialogs.Answers.empty()) << "scripted answers left over";
  EXPECT_TRUE(Dialogs.OpenNames.empty()) << "scripted open names left over";
  EXPECT_TRUE(Dialogs.SaveNames.empty()) << "scripted save names left over";
}

void GuiTest::StartMain(const std::string& iniText, bool recordingChannels, bool completeIni) {
  std::string ini = iniText;
  if (completeIni && ini.find("[PORTS]") == std::string::npos) ini += "\r\n[PORTS]\r\nCOM200=" + Pty.SlavePath() + "\r\n";
  if (completeIni && ini.find("PORT=") == std::string::npos) {
    const size_t config = ini.find("[CONFIG]\r\n");
    if (config == std::string::npos)
      ini = "[CONFIG]\r\nPORT=200\r\n" + ini;
    else
      ini.insert(config + 10, "PORT=200\r\n");
  }
  WriteFile("QMScaleService.INI", ini);
  TChannelFactory factory;
  if (recordingChannels)
    factory = [this](TModel& model, const CmConfig&, PortSettings* settings) {
      return std::make_unique<TRecordingChannel>(model, settings, Script);
    };
  Main = std::make_unique<TFMain>(factory);
  Closing = std::make_unique<TCommClosing>();
  Main->SetCommClosing(Closing.get());
  QObject::connect(Main.get(), &TFMain::Closed, [this] { ++ClosedSignals; });
  Main->show();
}

void GuiTest::DestroyMain() {
  Main.reset();
  Closing.reset();
}

bool GuiTest::WaitForRestart(int timeoutMs) {
  return RunUntil([this] { return !Main->RestartPending && Main->ModelRef().ThreadRunning(); }, timeoutMs);
}

TFrStart& GuiTest::StartView() {
  auto* view = dynamic_cast<TFrStart*>(Main->CurrentView());
  // Thrown, so that the test stops here with a failure rather than a crash.
  if (!view) throw std::runtime_error("the start view is not shown");
  return *view;
}

TFrSerSwDl& GuiTest::DownloadView() {
  auto* view = dynamic_cast<TFrSerSwDl*>(Main->CurrentView());
  // Thrown, so that the test stops here with a failure rather than a crash.
  if (!view) throw std::runtime_error("the download view is not shown");
  return *view;
}

TFrToolTotalHex& GuiTest::ToolView() {
  auto* view = dynamic_cast<TFrToolTotalHex*>(Main->CurrentView());
  // Thrown, so that the test stops here with a failure rather than a crash.
  if (!view) throw std::runtime_error("the total hex tool is not shown");
  return *view;
}

TFrSerSwDl& GuiTest::OpenDownloadView(int operation) {
  if (!dynamic_cast<TFrSerSwDl*>(Main->CurrentView())) {
    Choose(StartView().Widgets().cbConnectionType, 1);
    EXPECT_TRUE(WaitForRestart());
  }
  TFrSerSwDl& view = DownloadView();
  if (view.Widgets().cbOperation->currentIndex() != operation || Main->ModelRef().SwDl.GetOperation() != operation) {
    Choose(view.Widgets().cbOperation, operation);
    EXPECT_TRUE(WaitForRestart());
  }
  return view;
}

std::string GuiTest::Path(const std::string& name) const { return Dir.filePath(QString::fromStdString(name)).toStdString(); }

std::string GuiTest::ReadFile(const std::string& name) const {
  std::ifstream in(name.front() == '/' ? name : Path(name), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void GuiTest::WriteFile(const std::string& name, const std::string& text) const {
  std::ofstream out(name.front() == '/' ? name : Path(name), std::ios::binary);
  out << text;
}

void GuiTest::Choose(QComboBox* box, int index) {
  box->setCurrentIndex(index);
  emit box->activated(index);
}
