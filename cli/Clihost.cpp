#include "cli/Clihost.h"

#include <climits>
#include <csignal>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Stopsignals.h"
#include "comm/Commbase.h"
#include "comm/Commthrd.h"

namespace {
// Timers count in int milliseconds: a longer wait (about 24 days) is held
// at that, not wrapped round to a negative one.
int TimerMs(double seconds) {
  const double ms = seconds * 1000.0;
  return ms >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

constexpr int SignalPollMs = 50;
}  // namespace

TCliHost::TCliHost(std::string iniPath)
    : THost(TCliLoop::Events),
      IniPath(std::move(iniPath)),
      Timeout(TCliLoop::Events, 0,
              [this] {
                if (OnTimeout) OnTimeout();
              }),
      AnswerWatch(TCliLoop::Events, 0,
                  [this] {
                    if (!Done && !DeviceAnswered() && OnNoAnswer) OnNoAnswer();
                  }),
      SignalWatch(TCliLoop::Events, SignalPollMs, [this] {
        TakeSignal();
        SignalWatch.Start();
      }) {
  SignalWatch.Start();
}

TCliHost::~TCliHost() {
  // The callbacks capture objects of the command that may already be gone
  // (declared after the host); what the worker still hands over now is only
  // served, not shown.
  OnStop = nullptr;
  OnTimeout = nullptr;
  OnStateChanged = nullptr;
  OnTextChanged = nullptr;
  OnBeforeMessage = nullptr;
  OnLogLine = nullptr;
  OnNoAnswer = nullptr;
  Shutdown();
}

void TCliHost::TakeSignal() {
  const int signal = TakeStopSignal();
  if (signal == 0) return;
  // A second Ctrl-C while the first stop is being completed changes nothing:
  // the stop itself takes at most one channel step.
  if (StopTaken) return;
  StopTaken = true;
  StopSignalNumber = signal;
  if (OnStop) OnStop();
}

void TCliHost::LogWrite(const std::string& text) {
  Log.Write(text);
  if (LogTapped) Context()->Post([this, text] {
    if (OnLogLine) OnLogLine(text);
  });
}

void TCliHost::SetLogTap(std::function<void(const std::string&)> tap) {
  OnLogLine = std::move(tap);
  LogTapped = static_cast<bool>(OnLogLine);
}

void TCliHost::SetLogFiles(std::string file, std::string whenHeld) {
  LogFile = std::move(file);
  LogFileWhenHeld = std::move(whenHeld);
}

void TCliHost::ShowError(const std::string& message) {
  ++ErrorCount;
  LastErrorText = message;
  if (OnBeforeMessage) OnBeforeMessage();
  std::fprintf(stderr, "qmss: %s\n", message.c_str());
  std::fflush(stderr);
  // The command line never rebuilds a failed channel: the worker's end
  // routine then closes instead of arming the restart timer.
  CloseRequested = true;
  Finish(ExitFailed);
}

void TCliHost::ViewStateChanged() {
  if (OnStateChanged) OnStateChanged();
}

void TCliHost::ViewUpdate() {
  if (OnStateChanged) OnStateChanged();
}

void TCliHost::CloseMainWindow() { Finish(ExitCode); }

void TCliHost::TextChanged(void* host) {
  auto* self = static_cast<TCliHost*>(host);
  if (self->OnTextChanged) self->OnTextChanged();
}

void TCliHost::SetTimeout(double seconds) {
  Timeout.Start(TimerMs(seconds));
}

int TCliHost::StopExitCode() const {
  return StopSignalNumber == SIGTERM ? ExitTerminate : ExitInterrupt;
}

void TCliHost::WatchForAnswer(double seconds) {
  AnswerWatch.Start(TimerMs(seconds));
}

bool TCliHost::DeviceAnswered() const {
  const CmBase* channel = ModelPtr ? ModelPtr->CurrentChannel() : nullptr;
  return channel && channel->BytesReceived() > 0;
}

bool TCliHost::Start(uint8_t operation, int port, std::optional<int> baud, std::optional<char> parity) {
  ModelPtr = std::make_unique<TModel>(*this, /*writeIniAtExit=*/false);
  Model = ModelPtr.get();
  ControllerPtr = std::make_unique<TController>(*ModelPtr);
  TModelSwDl& swdl = ModelPtr->SwDl;
  swdl.SetOperation(operation);
  if (baud) swdl.SetBaudRate(*baud);
  if (parity) swdl.SetParity(*parity);
  SubscriptionIds[0] = swdl.StateText.Subscribe(TextChanged, this);
  SubscriptionIds[1] = swdl.AddressText.Subscribe(TextChanged, this);
  SubscriptionIds[2] = swdl.UnitText.Subscribe(TextChanged, this);

  Config.Connection = 1;
  Config.Operation = operation;
  Config.Port = port;

  if (Log.Open(LogFile))
    LogInUse = LogFile;
  else if (!LogFileWhenHeld.empty() && Log.Open(LogFileWhenHeld))
    LogInUse = LogFileWhenHeld;
  Log.WriteStartBanner();

  const int errorsBefore = ErrorCount;
  ApplicationStarted = true;
  ModelPtr->Restart(Config);
  return ErrorCount == errorsBefore;
}

int TCliHost::Run() {
  if (!Done) TCliLoop::Events.Run();
  return ExitCode;
}

void TCliHost::Finish(int code) {
  if (Done) return;
  Done = true;
  ExitCode = code;
  TCliLoop::Events.Quit();
}

void TCliHost::Shutdown() {
  Timeout.Stop();
  AnswerWatch.Stop();
  if (ModelPtr) {
    CloseRequested = true;
    ModelPtr->StopCommunication();
    // The worker finishes its step and hands over its last status and its end
    // routine; serve them until it has left.
    while (ModelPtr->ThreadRunning()) TCliLoop::Events.ProcessPending(5);
    TCliLoop::Events.ProcessPending(0);
    TimerCommClose.Stop();
    TModelSwDl& swdl = ModelPtr->SwDl;
    swdl.StateText.Unsubscribe(SubscriptionIds[0]);
    swdl.AddressText.Unsubscribe(SubscriptionIds[1]);
    swdl.UnitText.Unsubscribe(SubscriptionIds[2]);
    ControllerPtr.reset();
    ModelPtr.reset();
    Model = nullptr;
    Log.WriteStopBanner();
    Log.Close();
  }
}
