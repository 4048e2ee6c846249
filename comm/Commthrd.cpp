#include "comm/Commthrd.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "comm/Commbase.h"
#include "comm/Commerror.h"
#include "core/Host.h"

std::atomic<bool> ApplicationStarted{false};

namespace {

// The log's form of an error the worker shows: each line ended by CR LF.
std::string LogLines(const std::string& message) {
  std::string text;
  for (char c : message) {
    if (c == '\n')
      text += "\r\n";
    else
      text += c;
  }
  return text + "\r\n";
}

}  // namespace

TCommThread::TCommThread(CmConfig* config, CmBase* channel, THost& host)
    : Config(config), Channel(channel), Host(host) {
  try {
    Channel->Open(Config);
  } catch (const ECommError& e) {
    // Also into the log: a log sent to support then shows why nothing ran.
    Host.LogWrite(LogLines(e.what()));
    Host.ShowError(e.what());
  }
  Worker = std::thread([this] { Run(); });
}

TCommThread::~TCommThread() { WaitEnded(); }

bool TCommThread::HasEnded() {
  std::lock_guard<std::mutex> lock(EndLock);
  return Ended;
}

void TCommThread::WaitEnded() {
  {
    std::unique_lock<std::mutex> lock(EndLock);
    EndSignal.wait(lock, [this] { return Ended; });
  }
  if (Worker.joinable()) Worker.join();
}

template <typename Fn>
void TCommThread::OnHostThread(Fn fn) {
  Host.Context()->RunAndWait(fn);
}

void TCommThread::Run() {
  // A tight poll: start-up sets the flag right before the message loop runs.
  // A thread stopped before that (its model destroyed early) ends at once.
  while (!ApplicationStarted && !Terminated) std::this_thread::yield();

  // A port error ends the loop; so does any other error, here or in a
  // hand-over to the host thread, which hands it back instead of leaving
  // this thread waiting for a call that never finishes.
  std::string error;
  try {
    while (!Terminated) {
      Channel->RunStep();
      if (Channel->HasUpdate()) {
        OnHostThread([this] { Channel->UpdateStatus(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      ++PassCount;
    }
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown error in the communication thread";
  }

  if (!error.empty()) {
    Host.LogWrite(LogLines(error));
    try {
      OnHostThread([this, &error] { Host.ShowError(error); });
    } catch (...) {
      // The display failed as well; the log holds the message.
    }
  }

  Host.CommEnded = true;
  try {
    OnHostThread([this] { Host.CommEndRoutine(); });
  } catch (const std::exception& e) {
    Host.LogWrite(LogLines(e.what()));
  } catch (...) {
  }

  // Notified under the lock: a waiter may destroy this object as soon as it
  // sees Ended.
  std::lock_guard<std::mutex> lock(EndLock);
  Ended = true;
  EndSignal.notify_all();
}
