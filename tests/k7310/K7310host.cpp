#include "tests/k7310/K7310host.h"

#include <algorithm>

#include "comm/Channelcodes.h"
#include "tests/support/Eventloop.h"

TK7310Host::TK7310Host(const std::string& devicePath, int baudRate, char parity) {
  Host.StartOn(OpSwDlK7310, devicePath, baudRate, parity);
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
  Host.LoadFile(image.WriteHex(Host.Folder() + "/" + name));
}

bool TK7310Host::WaitForIdle(const std::string& text, int timeoutMs) {
  return RunUntil([&] { return State() == CmState::Ready && StateText() == text; }, timeoutMs);
}

bool TK7310Host::Saw(const std::string& text) const {
  return std::find(Texts.begin(), Texts.end(), text) != Texts.end();
}
