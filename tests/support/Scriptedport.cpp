#include "tests/support/Scriptedport.h"

#include <algorithm>
#include <optional>

#include "comm/Linesettings.h"
#include "comm/Portfactory.h"

bool TScriptedPort::Open(const std::string&) {
  LastOpenFailure = PortOpenFailure{};
  if (!Device.Connected()) {
    LastOpenFailure.Fault = PortOpenFault::NoDevice;
    return false;
  }
  Opened = true;
  Input.clear();
  QuietPoll = false;
  NoteOpened();
  return true;
}

PortSettingsResult TScriptedPort::Configure(const std::string& settingsText, char) {
  if (!Opened || !Device.Connected()) return PortSettingsResult::CouldNotGet;
  LineSettings line;
  if (!ParseLineSettings(settingsText, line)) return PortSettingsResult::Invalid;
  NoteLine(line.BaudRate, line.Parity);
  Device.LineSet(line.BaudRate, line.Parity);
  return PortSettingsResult::Applied;
}

void TScriptedPort::WaitWhileQuiet() {
  const Time now = FakeTime.Now();
  if (!Input.empty() && Input.front().At <= now) return;
  // Without an alarm nothing is timed: no reply is awaited, and the clock
  // stays until another thread acts (a timer started, a command).
  std::optional<Time> next = FakeTime.NextAlarm();
  if (!next) return;
  if (!Input.empty() && Input.front().At < *next) next = Input.front().At;
  FakeTime.AdvanceTo(*next);
}

bool TScriptedPort::Read(uint8_t* buffer, size_t count, size_t& got) {
  got = 0;
  if (!Opened || !Device.Connected()) return false;
  const bool poll = ReadsAtOnce();
  if (poll && QuietPoll) WaitWhileQuiet();
  const Time deadline = ReadDeadline(count);
  while (got < count) {
    if (!Input.empty() && Input.front().At <= FakeTime.Now()) {
      buffer[got++] = Input.front().Byte;
      Input.pop_front();
      NoteReceived(1);
      continue;
    }
    // Nothing has arrived yet: wait for the next byte if it comes in time,
    // else until the time-out.
    if (!Input.empty() && Input.front().At <= deadline) {
      FakeTime.AdvanceTo(Input.front().At);
      continue;
    }
    FakeTime.AdvanceTo(deadline);
    break;
  }
  QuietPoll = poll && got == 0;
  return true;
}

bool TScriptedPort::Write(const uint8_t* data, size_t count, size_t& written) {
  written = 0;
  if (!Opened || !Device.Connected()) return false;
  NoteWritten(FakeTime.Now(), count);
  QuietPoll = false;
  written = count;
  const Time last = SentUntil();
  const Time first = count > 0 ? last - LineWireTime(count - 1) : last;
  // An answer the device delayed may arrive after one it gave later.
  for (const TTimedByte& answer : Device.Receive(data, count, first, last)) {
    const auto after = std::upper_bound(Input.begin(), Input.end(), answer.At,
                                        [](Time at, const TTimedByte& b) { return at < b.At; });
    Input.insert(after, answer);
  }
  return true;
}

bool TScriptedPort::DiscardInput() {
  if (!Opened || !Device.Connected()) return false;
  const Time now = FakeTime.Now();
  while (!Input.empty() && Input.front().At <= now) Input.pop_front();
  return true;
}

TScriptedPortFactory::TScriptedPortFactory(TFakeClock& clock, TScriptedLine& device) {
  SetPortFactory([&clock, &device] { return std::make_unique<TScriptedPort>(clock, device); });
}

TScriptedPortFactory::~TScriptedPortFactory() { SetPortFactory({}); }
