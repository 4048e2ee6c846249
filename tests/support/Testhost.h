// A host for tests: records what the core asks of "the main window" (log
// text, errors shown, view calls, closing) and keeps its INI file and log in
// a temporary folder of its own.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Controller.h"
#include "core/Host.h"
#include "core/Model.h"
#include "tests/support/Eventloop.h"

class TFakeClockLoop;
#include "tests/support/Tempdir.h"

class TTestHost : public THost {
 public:
  // On the tests' shared loop on the system clock; or on fakeLoop (which
  // outlives the host), served by RunUntil and RunFor while the host lives.
  explicit TTestHost(TFakeClockLoop* fakeLoop = nullptr);
  ~TTestHost() override;

  void LogWrite(const std::string& text) override;
  void ShowError(const std::string& message) override;
  void ViewStateChanged() override { ++StateChangedCalls; }
  void ViewUpdate() override { ++UpdateCalls; }
  void CloseMainWindow() override { ++CloseCalls; }
  std::string IniFileName() const override { return IniPath; }

  // Writes INI text before the model is created.
  void WriteIni(const std::string& text);
  // Points COMn at a device path through the "PORTS" override.
  void MapPort(int number, const std::string& path);
  // Creates the model (reading the INI) and the controller, sets
  // ApplicationStarted, and starts the first channel for Config.
  void Start();
  // Stops the thread the way the main window does at exit and waits until
  // it has ended; then destroys the model (which writes its INI keys).
  void Shutdown();
  // Stops the thread and waits for the 100 ms restart to complete.
  bool RestartAndWait(int timeoutMs = 10000);

  // What was logged, but for the line each run appends when it ends: the
  // protocol's own lines. RunEnds holds those lines, in order.
  std::string Log() const;
  std::vector<std::string> RunEnds() const;
  static constexpr const char* RunEndPrefix = "Run ended: ";
  std::vector<std::string> Errors() const;
  // The first line of each error: the fixed text, without the cause that an
  // open failure gives on its second line.
  std::vector<std::string> ErrorHeads() const;
  std::string Folder() const { return Dir.Folder(); }

  std::unique_ptr<TModel> ModelPtr;
  std::unique_ptr<TController> Controller;
  std::atomic<int> StateChangedCalls{0};
  std::atomic<int> UpdateCalls{0};
  std::atomic<int> CloseCalls{0};
  std::atomic<int> Restarts{0};

 private:
  TempDir Dir;
  std::string IniPath;
  mutable std::mutex LogLock;
  std::string LogText;
  std::vector<std::string> RunEndLines;
  std::vector<std::string> ErrorList;
  std::unique_ptr<TExtraPump> Pump;
};
