#include "comm/Portfactory.h"

#include <mutex>

// The one place that picks the system's backend.
#ifdef _WIN32
#include "comm/Win32port.h"
using TSystemPort = TWin32Port;
#else
#include "comm/Termiosport.h"
using TSystemPort = TTermiosPort;
#endif

namespace {

std::mutex FactoryLock;

TPortFactory& InstalledFactory() {
  static TPortFactory factory;
  return factory;
}

}  // namespace

std::unique_ptr<TSerialPort> MakeSystemPort() { return std::make_unique<TSystemPort>(); }

std::unique_ptr<TSerialPort> MakeSerialPort() {
  TPortFactory factory;
  {
    std::lock_guard<std::mutex> lock(FactoryLock);
    factory = InstalledFactory();
  }
  return factory ? factory() : MakeSystemPort();
}

void SetPortFactory(TPortFactory factory) {
  std::lock_guard<std::mutex> lock(FactoryLock);
  InstalledFactory() = std::move(factory);
}
