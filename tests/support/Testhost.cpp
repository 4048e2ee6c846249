#include "tests/support/Testhost.h"

#include <fstream>
#include <map>

#include "comm/Commthrd.h"
#include "comm/Portmap.h"
#include "tests/support/Eventloop.h"
#include "tests/support/Fakeclockloop.h"

TTestHost::TTestHost(TFakeClockLoop* fakeLoop)
    : THost(fakeLoop ? static_cast<THostLoop&>(*fakeLoop) : TestHostLoop()),
      IniPath(Dir.File("QMScaleService.INI")) {
  if (!fakeLoop) return;
  Pump = std::make_unique<TExtraPump>([this, fakeLoop] {
    fakeLoop->ProcessPending(0);
    // A worker that polls moves the clock itself. Once its thread has ended
    // nothing does: the next timer (the 100 ms restart) is due at once.
    if (CommEnded) fakeLoop->AdvanceToNextTimer();
  });
}

TTestHost::~TTestHost() {
  Shutdown();
  SetComOverrides({});
}

void TTestHost::LogWrite(const std::string& text) {
  std::lock_guard<std::mutex> lock(LogLock);
  if (text.rfind(RunEndPrefix, 0) == 0)
    RunEndLines.push_back(text);
  else
    LogText += text;
}

void TTestHost::ShowError(const std::string& message) {
  std::lock_guard<std::mutex> lock(LogLock);
  ErrorList.push_back(message);
}

void TTestHost::WriteIni(const std::string& text) {
  std::ofstream(IniPath, std::ios::binary) << text;
}

void TTestHost::MapPort(int number, const std::string& path) {
  std::map<int, std::string> overrides = ComOverrides();
  overrides[number] = path;
  SetComOverrides(overrides);
}

void TTestHost::Start() {
  ModelPtr = std::make_unique<TModel>(*this);
  Model = ModelPtr.get();
  Controller = std::make_unique<TController>(*ModelPtr);
  Config.Operation = ModelPtr->SwDl.GetOperation();
  ApplicationStarted = true;
  ModelPtr->Restart(Config);
}

void TTestHost::Shutdown() {
  if (!ModelPtr) return;
  CloseRequested = true;
  ModelPtr->StopCommunication();
  RunUntil([this] { return !ModelPtr->ThreadRunning(); }, 30000);
  TimerCommClose.Stop();
  Controller.reset();
  ModelPtr.reset();
  Model = nullptr;
}

bool TTestHost::RestartAndWait(int timeoutMs) {
  const int before = UpdateCalls;
  CloseRequested = false;
  RestartPending = true;
  ModelPtr->StopCommunication();
  return RunUntil([&] { return !RestartPending && UpdateCalls > before; }, timeoutMs);
}

std::string TTestHost::Log() const {
  std::lock_guard<std::mutex> lock(LogLock);
  return LogText;
}

std::vector<std::string> TTestHost::RunEnds() const {
  std::lock_guard<std::mutex> lock(LogLock);
  return RunEndLines;
}

std::vector<std::string> TTestHost::Errors() const {
  std::lock_guard<std::mutex> lock(LogLock);
  return ErrorList;
}

std::vector<std::string> TTestHost::ErrorHeads() const {
  std::vector<std::string> heads;
  for (const std::string& error : Errors()) heads.push_back(error.substr(0, error.find('\n')));
  return heads;
}
