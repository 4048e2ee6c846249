#include "comm/Commpardl.h"

#include <cstdio>

#include "comm/Channelcodes.h"
#include "core/Host.h"
#include "core/Model.h"

namespace {

constexpr uint8_t CmdWrite = 0xD0;  // answered by 0xD1 with 3 data bytes
constexpr uint8_t CmdRead = 0xD2;   // answered by 0xD3: number (2 bytes), value (7 bytes)
constexpr int WriteAnswerLength = 3;
constexpr int ReadAnswerLength = 9;

// The columns of the log table: the number right-aligned in at least 3
// characters, each value left-aligned in at least 10 (a longer one whole).
std::string NumberColumn(int32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "%3d  ", static_cast<int>(number));
  return text;
}

std::string ValueColumn(const std::string& value) {
  std::string text = value;
  if (text.size() < 10) text.append(10 - text.size(), ' ');
  return text;
}

const char* const TableHeader = "\nNo.  Previous    File        New\r\n";

// The exchanges of a parameter: read the value the device holds, write the
// file's value, read the value back; after that the channel decides: the next
// parameter or ready.
// clang-format off
constexpr CmExchange ExchangeTable[] = {
    // send state                command   answer length      next state
    {CmParDl::SendReadPrevious,  CmdRead,  ReadAnswerLength,  CmParDl::SendWrite},
    {CmParDl::SendWrite,         CmdWrite, WriteAnswerLength, CmParDl::SendReadNew},
    {CmParDl::SendReadNew,       CmdRead,  ReadAnswerLength,  CmExchange::Decided},
};
// clang-format on

}  // namespace

CmParDl::CmParDl(TModel& model, PortSettings* settings)
    : CmFramed(model, settings, ReplyTimeoutMs, PortError, ExchangeTable) {}

CmParDl::~CmParDl() = default;

void CmParDl::MakeValueField(const std::string& value, uint8_t field[ValueFieldLength]) {
  for (int i = 0; i < ValueFieldLength; ++i)
    field[i] = i < static_cast<int>(value.size()) ? static_cast<uint8_t>(value[i]) : 0;
}

std::string CmParDl::ValueOfField(const uint8_t field[ValueFieldLength]) {
  std::string value;
  for (int i = 0; i < ValueFieldLength && field[i] != 0; ++i) value += static_cast<char>(field[i]);
  return value;
}

int8_t CmParDl::OpenedState() { return Model.SwDl.HasData() ? Ready : NoList; }

void CmParDl::Log(const std::string& text) { Model.Host().LogWrite(text); }

void CmParDl::StartRun() {
  Attempts = 0;
  // A run stopped in the middle of a parameter left that parameter's first
  // entries in the result lists; they would shift the rows of this run.
  Model.SwDl.TakeParameterResults();
  ParametersDone = 0;
  ParametersToSend = Model.SwDl.SendableParameterCount();
  const bool found = Model.SwDl.NextParameter(-1, ParNumber, FileValue);
  State_ = found ? SendReadPrevious : Ready;
  Log(TableHeader);
  if (found) Log(NumberColumn(ParNumber));
}

void CmParDl::StepOther(int8_t state) {
  if (state == StartRequested) StartRun();  // no list, ready, port error: nothing to do
}

int CmParDl::Request(int8_t sendState, uint8_t* data) {
  // The number goes out as its low 16 bits; the parameter list only offers
  // numbers that fit.
  data[0] = static_cast<uint8_t>(ParNumber);
  data[1] = static_cast<uint8_t>(ParNumber >> 8);
  if (sendState != SendWrite) return 2;
  MakeValueField(FileValue, data + 2);
  return 2 + ValueFieldLength;
}

void CmParDl::Requested(int8_t sendState) {
  if (Attempts > 0) return;  // a resend after a time-out adds nothing to the lists or the log
  if (sendState == SendReadPrevious) Model.SwDl.AppendParNumber(std::to_string(ParNumber));
  // The log shows the whole file value, also when the wire carries 7 characters.
  if (sendState == SendWrite) Log(ValueColumn(FileValue) + "  ");
}

int8_t CmParDl::Answered(int8_t sendState, int8_t next) {
  Attempts = 0;
  if (sendState == SendReadPrevious) {
    const std::string previous = ValueOfField(AnswerData + 2);
    Model.SwDl.AppendPreviousValue(previous);
    Log(ValueColumn(previous) + "  ");
  } else if (sendState == SendReadNew) {
    const bool found = Model.SwDl.NextParameter(ParNumber, ParNumber, FileValue);
    next = found ? SendReadPrevious : Ready;
    ++ParametersDone;
    if (!found) History.Completed();
    const std::string value = ValueOfField(AnswerData + 2);
    Model.SwDl.AppendNewValue(value);
    ResultsReady = true;
    Log(ValueColumn(value) + "\r\n");
    if (found) Log(NumberColumn(ParNumber));
  }
  return next;
}

void CmParDl::TimedOut(int8_t) { ++Attempts; }

void CmParDl::Command(int code) {
  if (State_ == PortError) {
    // Waiting for the port is no run: a stop (or a file loaded) leaves it
    // waiting; a start tries to open it at once.
    if (code == CmCommand::Start) RequestPortAttempt(code);
    return;
  }
  if (code == CmCommand::Stop) {
    if (State_ > Ready && State_ != PortError) History.Stopped();
    State_ = Ready;  // a transfer in progress stops at once
  } else if (code == CmCommand::Start) {
    if (State_ != Ready) return;
    History.Started();
    // The count of this run from its first hand-over, not the last run's.
    ParametersDone = 0;
    ParametersToSend = Model.SwDl.SendableParameterCount();
    State_ = StartRequested;
  }
}

std::string CmParDl::StatusText() const {
  std::string text;
  switch (State_.load()) {
    case NoList:
      return "No file opened for transfer to device";
    case Ready:
      return "Ready for transfer to device";
    case PortError:
      return PortErrorText();
    case SendReadPrevious:
    case SendWrite:
    case SendReadNew:
      return {};  // none published: the waiting state's text follows at once
    case StartRequested:
    case WaitPrevious:
    case WaitNew:
      text = "Parameter " + std::to_string(ParNumber) + " read.";
      break;
    case WaitWrite:
      text = "Parameter " + std::to_string(ParNumber) + " send.";
      break;
    default:
      return "-";
  }
  if (Attempts > 0) text += " Attempt " + std::to_string(Attempts + 1);
  return text;
}

CmRunStatus CmParDl::RunStatus() const {
  const int8_t s = State_;
  CmPhase phase = CmPhase::Idle;
  if (s == PortError)
    phase = CmPhase::Failed;
  else if (s >= StartRequested)
    phase = CmPhase::Transferring;
  CmRunStatus status = History.Record(phase);
  if (phase == CmPhase::Transferring) {
    status.DoneUnits = ParametersDone;
    status.TotalUnits = ParametersToSend;
  }
  return status;
}

void CmParDl::UpdateStatus() {
  Model.SwDl.SetRunStatus(RunStatus());
  const std::string text = StatusText();
  if (!text.empty()) Model.SwDl.StateText.Set(text);
  const bool changed = StatusChanged.exchange(false);
  if (ResultsReady.exchange(false)) {
    Model.SwDl.ParameterTableChanged = true;
    Model.Host().ViewStateChanged();
  } else if (changed) {
    Model.Host().ViewStateChanged();
  }
  ShowPortMessage();
}
