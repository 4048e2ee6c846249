#include "tests/k7310/K7310host.h"

#include <algorithm>

#include "tests/support/Eventloop.h"

TK7310Host::TK7310Host(const std::string& devicePath, int baudRate, char parity) {
  Host.WriteIni("[CONFIG]\r\nOPERATION=Software Download - K7310\r\n"
                "[Software Download - K7310]\r\nBAUDRATE=" + std::to_string(baudRate) +
                "\r\nPARITY=" + std::string(1, parity) + "\r\n");
  Host.MapPort(PortNumber, devicePath);
  Host.Config.Connection = 1;
  Host.Config.Port = PortNumber;
  Host.Start();
  Subscription = Host.ModelPtr->SwDl.StateText.Subscribe(&TK7310Host::OnStateText, this);
}

TK7310Host::~TK7310Host() {
  if (Host.ModelPtr) Host.ModelPtr->SwDl.StateText.Unsubscribe(Subscription);
  Host.Shutdown();
}

void TK7310Host::OnStateText(void* self) {
  auto* host = static_cast<TK7310Host*>(self);
  host->Texts.push_back(host->Host.ModelPtr->SwDl.StateText.Get());
}

void TK7310Host::Load(const TTestImage& image, const std::string& name) {
  UASwDlFileLoad action;
  action.FileName = image.WriteHex(Host.Folder() + "/" + name);
  Host.Controller->Execute(action);
}

void TK7310Host::StartDownload() {
  UASwDlStart action;
  Host.Controller->Execute(action);
}

void TK7310Host::StopDownload() {
  UASwDlAbort action;
  Host.Controller->Execute(action);
}

bool TK7310Host::WaitForIdle(const std::string& text, int timeoutMs) {
  return RunUntil([&] { return State() == 1 && StateText() == text; }, timeoutMs);
}

bool TK7310Host::Saw(const std::string& text) const {
  return std::find(Texts.begin(), Texts.end(), text) != Texts.end();
}
