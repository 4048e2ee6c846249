#include "comm/Commthrd.h"

#include <mutex>
#include <thread>

#include "comm/Commbase.h"
#include "comm/Commerror.h"
#include "core/Host.h"

std::atomic<bool> ApplicationStarted{false};

TCommThread::TCommThread(CmConfig* config, CmBase* channel, THost& host)
    : Config(config), Channel(channel), Host(host) {
  try {
    Channel->Open(Config);
  } catch (const ECommError& e) {
    Host.ShowError(e.what());
  }
  start();
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
  wait();
}

template <typename Fn>
void TCommThread::OnHostThread(Fn fn) {
  Host.Context()->RunAndWait(fn);
}

void TCommThread::run() {
  // A tight poll: start-up sets the flag right before the message loop runs.
  while (!ApplicationStarted) std::this_thread::yield();

  try {
    while (!Terminated) {
      {
        std::lock_guard<std::mutex> lock(Channel->StepLock);
        Channel->Step();
      }
      if (Channel->HasUpdate()) {
        std::string error;
        OnHostThread([this, &error] {
          try {
            Channel->UpdateStatus();
          } catch (const ECommError& e) {
            error = e.what();
          }
        });
        if (!error.empty()) throw ECommError(error);
        QThread::msleep(1);
      }
      ++PassCount;
    }
  } catch (const ECommError& e) {
    const std::string message = e.what();
    OnHostThread([this, &message] { Host.ShowError(message); });
  }

  Host.CommEnded = true;
  OnHostThread([this] { Host.CommEndRoutine(); });

  // Notified under the lock: a waiter may destroy this object as soon as it
  // sees Ended.
  std::lock_guard<std::mutex> lock(EndLock);
  Ended = true;
  EndSignal.notify_all();
}
