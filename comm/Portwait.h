// How a channel waits for a port that is absent: it did not open, or it hung
// up while the channel was idle (a USB adapter pulled out). The channel tries
// to open it again once a second, and at once when the user starts a run; it
// shows why the port is absent meanwhile. Times are the channel's clock.
#pragma once

#include <atomic>
#include <string>

#include "comm/Clock.h"

class CmPortWait {
 public:
  static constexpr int ReopenIntervalMs = 1000;

  // The port is absent from now on, for the reason error gives (the port
  // error; its second line, when it has one, is the cause).
  void Missing(TClock::Time now, const std::string& error);
  // The cause shown after "Error!" while the channel waits.
  const std::string& Cause() const { return AbsentCause; }
  // Whether the next attempt to open is due; otherwise how long to sleep
  // before looking again (never longer than a short slice, so that a start
  // request is taken soon).
  bool AttemptDue(TClock::Time now) const { return now >= NextAttempt; }
  TClock::Duration WaitFrom(TClock::Time now) const;
  // An attempt failed: the next one is a second later.
  void AttemptFailed(TClock::Time now, const std::string& error);

  // A start while the port is absent (host thread): one attempt at once,
  // whose failure the user is shown.
  void RequestAttempt() { AttemptRequested = true; }
  bool TakeRequest() { return AttemptRequested.exchange(false); }
  // The failure of a requested attempt, for the status hand-over to show.
  void SetMessage(const std::string& message) { Message = message; }
  std::string TakeMessage();

 private:
  TClock::Time NextAttempt{};
  std::string AbsentCause;
  std::atomic<bool> AttemptRequested{false};
  std::string Message;  // written by the steps, taken in the hand-over
};

// The cause shown and logged when the open port of COM number number has hung
// up (the device behind it is gone).
std::string PortHangupCause(int number);
// A port error as the log takes it: each of its lines ended by CR LF.
std::string PortErrorLogLines(const std::string& message);
