// A test host that runs one device channel on a pseudo-terminal, through the
// model, the controller and the worker thread, as the application does.
#pragma once

#include <string>

#include "core/Operations.h"
#include "core/Useraction.h"
#include "tests/support/Eventloop.h"
#include "tests/support/Testhost.h"

class ChannelHost : public TTestHost {
 public:
  static constexpr int ComNumber = 7;

  using TTestHost::TTestHost;

  // Selects operation id at the baud rate and parity given, maps COM7 to the
  // device path (an empty path maps nothing: the port cannot be opened) and
  // starts model, controller and the first channel.
  void StartOn(int operation, const std::string& devicePath, int baud, char parity = 'N') {
    const std::string section = Operations[operation].Name;
    WriteIni("[CONFIG]\r\nOPERATION=" + section + "\r\n[" + section + "]\r\nBAUDRATE=" +
             std::to_string(baud) + "\r\nPARITY=" + std::string(1, parity) + "\r\n");
    if (!devicePath.empty()) MapPort(ComNumber, devicePath);
    Config.Connection = 1;
    Config.Port = devicePath.empty() ? 250 : ComNumber;
    Start();
  }

  // The user's actions, through the controller.
  void LoadFile(const std::string& fileName) {
    UASwDlFileLoad action;
    action.FileName = fileName;
    Controller->Execute(action);
  }
  void PressStart() {
    UASwDlStart action;
    Controller->Execute(action);
  }
  void PressAbort() {
    UASwDlAbort action;
    Controller->Execute(action);
  }

  int State() const { return ModelPtr->ChannelState(); }
  std::string StateText() const { return ModelPtr->SwDl.StateText.Get(); }
  std::string AddressText() const { return ModelPtr->SwDl.AddressText.Get(); }
  // Waits (pumping the host thread) until the status text reads text.
  bool WaitForText(const std::string& text, int timeoutMs = 10000) {
    return RunUntil([&] { return StateText() == text; }, timeoutMs);
  }
  bool WaitForState(int state, int timeoutMs = 10000) {
    return RunUntil([&] { return State() == state; }, timeoutMs);
  }
};
