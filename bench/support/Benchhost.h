// The host the download benchmarks run the model under: no window, the log
// and any error kept as text so that a run can be judged afterwards (a clean
// run logs no failure and shows no error).
#pragma once

#include <string>
#include <utility>

#include "core/Eventloop.h"
#include "core/Host.h"

// The loop is made before the host that runs on it.
struct BenchLoop {
  TEventLoop Events;
};

class BenchHost : private BenchLoop, public THost {
 public:
  explicit BenchHost(std::string ini) : THost(BenchLoop::Events), Ini(std::move(ini)) {}
  TEventLoop& Events() { return BenchLoop::Events; }
  void LogWrite(const std::string& text) override { Log += text; }
  void ShowError(const std::string& message) override { Errors += message + "\n"; }
  void ViewStateChanged() override {}
  void ViewUpdate() override {}
  void CloseMainWindow() override {}
  std::string IniFileName() const override { return Ini; }

  std::string Log;
  std::string Errors;

 private:
  std::string Ini;
};
