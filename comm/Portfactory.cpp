#include "comm/Portfactory.h"

#include <mutex>

#include "comm/Termiosport.h"

namespace {

std::mutex FactoryLock;

TPortFactory& InstalledFactory() {
  static TPortFactory factory;
  return factory;
}

}  // namespace

std::unique_ptr<TSerialPort> MakeSystemPort() { return std::make_unique<TTermiosPort>(); }

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
