#include "cli/Clihost.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <climits>
#include <cstdio>

#include "cli/Commands.h"
#include "comm/Commbase.h"
#include "comm/Commthrd.h"

namespace {
// QTimer counts in int milliseconds: a longer wait (about 24 days) is held
// at that, not wrapped round to a negative one.
int TimerMs(double seconds) {
  const double ms = seconds * 1000.0;
  return ms >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

void BlockStopSignals() {
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TCliHost::TCliHost(std::string iniPath) : IniPath(std::move(iniPath)) {
  Timeout.setSingleShot(true);
  QObject::connect(&Timeout, &QTimer::timeout, Context(), [this] {
    if (OnTimeout) OnTimeout();
  });
  AnswerWatch.setSingleShot(true);
  QObject::connect(&AnswerWatch, &QTimer::timeout, Context(), [this] {
    if (!Done && !DeviceAnswered() && OnNoAnswer) OnNoAnswer();
  });
  const sigset_t set = StopSignals();
  SignalFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (SignalFd >= 0) {
    SignalNotifier = std::make_unique<QSocketNotifier>(SignalFd, QSocketNotifier::Read);
    QObject::connect(SignalNotifier.get(), &QSocketNotifier::activated, Context(), [this] { TakeSignal(); });
  }
}

TCliHost::~TCliHost() {
  Shutdown();
  SignalNotifier.reset();
  if (SignalFd >= 0) ::close(SignalFd);
}

void TCliHost::TakeSignal() {
  signalfd_siginfo info{};
  int signal = 0;
  while (::read(SignalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
    if (signal == 0) signal = static_cast<int>(info.ssi_signo);
  // A second Ctrl-C while the first stop is being completed changes nothing:
  // the stop itself takes at most one channel step.
  if (StopTaken) return;
  StopTaken = true;
  StopSignalNumber = signal;
  if (OnStop) OnStop();
}

void TCliHost::ShowError(const std::string& message) {
  ++ErrorCount;
  if (OnBeforeMessage) OnBeforeMessage();
  std::fprintf(stderr, "qmss: %s\n", message.c_str());
  std::fflush(stderr);
  if (OnPortError && OnPortError()) return;
  // Otherwise the command line does not rebuild a failed channel: the
  // worker's end routine then closes instead of arming the restart timer.
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
  Timeout.start(TimerMs(seconds));
}

int TCliHost::StopExitCode() const {
  return StopSignalNumber == SIGTERM ? ExitTerminate : ExitInterrupt;
}

void TCliHost::WatchForAnswer(double seconds) {
  AnswerWatch.start(TimerMs(seconds));
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

  Log.Open();
  Log.WriteStartBanner();

  const int errorsBefore = ErrorCount;
  ApplicationStarted = true;
  ModelPtr->Restart(Config);
  return ErrorCount == errorsBefore;
}

int TCliHost::Run() {
  if (!Done) Loop.exec();
  return ExitCode;
}

void TCliHost::Finish(int code) {
  if (Done) return;
  Done = true;
  ExitCode = code;
  Loop.quit();
}

void TCliHost::Shutdown() {
  Timeout.stop();
  AnswerWatch.stop();
  if (ModelPtr) {
    CloseRequested = true;
    ModelPtr->StopCommunication();
    // The worker finishes its step and hands over its last status and its end
    // routine; serve them until it has left.
    while (ModelPtr->ThreadRunning()) {
      QCoreApplication::processEvents();
      if (TCommThread* thread = ModelPtr->CurrentThread()) thread->wait(5);
    }
    QCoreApplication::processEvents();
    TimerCommClose.stop();
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
