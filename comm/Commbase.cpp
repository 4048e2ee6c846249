#include "comm/Commbase.h"

#include <chrono>
#include <cstdio>

#include "comm/Portfactory.h"
#include "comm/Portmap.h"
#include "core/Host.h"
#include "core/Model.h"

CmBase::CmBase(TModel& model, PortSettings* settings)
    : Model(model),
      StatusRecord(std::make_unique<CmStatus>()),
      Settings(settings),
      OwnedPort(MakeSerialPort()),
      Port(*OwnedPort) {}

CmBase::~CmBase() { ClosePort(); }

bool CmBase::HasUpdate() { return true; }

std::string CmBase::PortName() { return ComName(Config ? Config->Port : 0); }

void CmBase::Command(int) {}

int CmBase::GetState() { return -1; }

int CmBase::TimerEvent(int event) { return event; }

void CmBase::RunStep() {
  std::lock_guard<std::mutex> lock(StepLock);
  Step();
}

void CmBase::RunCommand(int code) {
  std::unique_lock<std::mutex> lock(StepLock, std::defer_lock);
  if (SerialisedCommands) lock.lock();
  Command(code);
}

int CmBase::RunTimerEvent(int event, const std::function<bool()>& stillDue) {
  std::unique_lock<std::mutex> lock(StepLock, std::defer_lock);
  if (SerialisedCommands) lock.lock();
  if (stillDue && !stillDue()) return event;
  return TimerEvent(event);
}

void CmBase::OpenPort() {
  const int number = Config ? Config->Port : 0;
  const std::string path = ComDevicePath(number);
  if (path.empty() || !Port.Open(path)) {
    PortOpenFailure failure = Port.OpenFailure();
    if (path.empty()) failure.Fault = PortOpenFault::NoDevice;
    // The fixed first line, and on the second why and what to do about it.
    throw ECommError(std::string(CommText::InvalidHandle) + "\n" +
                     PortOpenCause(ComName(number), path, failure));
  }
  StatusRecord->Handle = Port.Handle();
}

void CmBase::ApplySettings() { ApplySettings(Settings); }

void CmBase::ApplySettings(const PortSettings* settings) {
  char text[80];
  std::snprintf(text, sizeof text, "baud=%ld parity=%c data=8 stop=1",
                static_cast<long>(settings->BaudRate), settings->Parity);
  // An empty parity value holds the character code 0, which ends the text
  // early; the text then no longer parses and is refused as invalid.
  switch (Port.Configure(text, Settings ? Settings->EventChar : settings->EventChar)) {
    case PortSettingsResult::Applied: return;
    case PortSettingsResult::CouldNotGet: throw ECommError(CommText::CouldNotGetSettings);
    case PortSettingsResult::Invalid: throw ECommError(CommText::InvalidSettings);
    case PortSettingsResult::CouldNotApply: throw ECommError(CommText::CouldNotApplySettings);
  }
}

void CmBase::ApplyTimeouts() {
  PortTimeouts t;
  t.ReadTotalConstant = 1000;
  ApplyTimeouts(t, CommText::CouldNotApplyTimeouts);
}

void CmBase::ApplyTimeouts(const PortTimeouts& timeouts, const char* errorText) {
  if (!Port.SetTimeouts(timeouts)) throw ECommError(errorText);
}

void CmBase::ApplyReadWhatHasArrived() {
  ApplyTimeouts(PortTimeouts{PortTimeouts::MaxDword, 0, 0, 0, 0}, CommText::CouldNotApplyTimeouts);
}

void CmBase::WritePort(const uint8_t* data, size_t count) {
  size_t written = 0;
  if (!Port.Write(data, count, written)) throw ECommError(CommText::CouldNotTransmit);
  if (!Port.Flush()) throw ECommError(CommText::CouldNotFlush);
}

size_t CmBase::ReadPort(uint8_t* buffer, size_t count, const char* errorText) {
  size_t got = 0;
  if (!Port.Read(buffer, count, got)) throw ECommError(errorText);
  return got;
}

void CmBase::DiscardPendingInput(const char* errorText) {
  uint8_t scratch[256];
  while (ReadPort(scratch, sizeof scratch, errorText) > 0) {
  }
}

int CmBase::PendingWireMs() const {
  const auto left = Port.SentUntil() - Port.Clock().Now();
  if (left.count() <= 0) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

void CmBase::ClosePort() {
  if (StatusRecord && StatusRecord->Handle != -1) {
    Port.Close();
    StatusRecord->Handle = -1;
  }
}

bool CmBase::ReopenStep(CmPortWait& wait, const std::function<void()>& openLine, bool& requested) {
  requested = wait.TakeRequest();
  if (!requested && !wait.AttemptDue(Clock().Now())) {
    Clock().Sleep(wait.WaitFrom(Clock().Now()));
    return false;
  }
  try {
    openLine();
  } catch (const ECommError& e) {
    ClosePort();
    wait.AttemptFailed(Clock().Now(), e.what());
    if (requested) {
      // The user asked for a run: the failure is shown once, and logged.
      Model.Host().LogWrite(PortErrorLogLines(e.what()));
      wait.SetMessage(e.what());
      StatusChanged = true;
    }
    return false;
  }
  Model.Host().LogWrite(PortName() + " is open again\r\n");
  StatusChanged = true;
  return true;
}

bool CmBase::TakeHangup(CmPortWait& wait) {
  if (!Port.IsOpen() || !Port.HungUp()) return false;
  ClosePort();
  const std::string cause = PortHangupCause(Config ? Config->Port : 0);
  Model.Host().LogWrite(cause + "\r\n");
  wait.Missing(Clock().Now(), cause);
  return true;
}
