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

}  // namespace

CmParDl::CmParDl(TModel& model, PortSettings* settings)
    : CmBase(model, settings), Link(Port, model.ReplyTimer()) {
  Status().Medium = "Serial";
  // Steps never wait for the device: the model may serialise commands and
  // reply time-outs with them.
  SerialisedCommands = true;
}

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

void CmParDl::Open(CmConfig* config) {
  try {
    Config = config;
    OpenPort();
    ApplySettings();
    ApplyReadWhatHasArrived();
    State_ = Model.SwDl.HasData() ? Ready : NoList;
  } catch (const ECommError& e) {
    State_ = PortError;
    History.Failure(e.what());
    throw;
  }
}

void CmParDl::Log(const std::string& text) { Model.Host().LogWrite(text); }

void CmParDl::SendRead() {
  Link.EmptyInput();
  const uint8_t data[2] = {static_cast<uint8_t>(ParNumber), static_cast<uint8_t>(ParNumber >> 8)};
  Link.SendFrame(Frame::Address, CmdRead, data, 2);
  // The reply time counts from when the request has left the line.
  Model.StartReplyTimer(ReplyTimeoutMs + PendingWireMs());
}

bool CmParDl::Answer(uint8_t command, int length) {
  uint8_t address = 0;
  uint8_t received = 0;
  int n = 0;
  if (!Link.ReadFrame(address, received, AnswerData, n)) return false;
  if (address != Frame::Address || received != command + 1 || n != length) return false;
  Model.StopReplyTimer();
  return true;
}

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

void CmParDl::Step() {
  switch (State_.load()) {
    case StartRequested:
      StartRun();
      break;
    case SendReadPrevious:
      SendRead();
      State_ = WaitPrevious;
      // A resend after a time-out adds nothing to the lists.
      if (Attempts == 0) Model.SwDl.AppendParNumber(std::to_string(ParNumber));
      break;
    case WaitPrevious:
      if (Answer(CmdRead, ReadAnswerLength)) {
        State_ = SendWrite;
        Attempts = 0;
        const std::string previous = ValueOfField(AnswerData + 2);
        Model.SwDl.AppendPreviousValue(previous);
        Log(ValueColumn(previous) + "  ");
      }
      break;
    case SendWrite: {
      Link.EmptyInput();
      // The number goes out as its low 16 bits; the parameter list only
      // offers numbers that fit.
      uint8_t data[2 + ValueFieldLength];
      data[0] = static_cast<uint8_t>(ParNumber);
      data[1] = static_cast<uint8_t>(ParNumber >> 8);
      MakeValueField(FileValue, data + 2);
      Link.SendFrame(Frame::Address, CmdWrite, data, sizeof data);
      Model.StartReplyTimer(ReplyTimeoutMs + PendingWireMs());
      State_ = WaitWrite;
      // The log shows the whole file value, also when the wire carries 7 characters.
      if (Attempts == 0) Log(ValueColumn(FileValue) + "  ");
      break;
    }
    case WaitWrite:
      if (Answer(CmdWrite, WriteAnswerLength)) {
        State_ = SendReadNew;
        Attempts = 0;
      }
      break;
    case SendReadNew:
      SendRead();
      State_ = WaitNew;
      break;
    case WaitNew:
      if (Answer(CmdRead, ReadAnswerLength)) {
        Attempts = 0;
        const bool found = Model.SwDl.NextParameter(ParNumber, ParNumber, FileValue);
        State_ = found ? SendReadPrevious : Ready;
        ++ParametersDone;
        if (!found) History.Completed();
        const std::string value = ValueOfField(AnswerData + 2);
        Model.SwDl.AppendNewValue(value);
        ResultsReady = true;
        Log(ValueColumn(value) + "\r\n");
        if (found) Log(NumberColumn(ParNumber));
      }
      break;
    default:  // no list, ready, port error: nothing to do
      break;
  }
}

void CmParDl::Command(int code) {
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

int CmParDl::TimerEvent(int event) {
  if (event != CmReplyTimerEvent) return event;
  switch (State_.load()) {
    case WaitPrevious:
    case WaitWrite:
    case WaitNew:
      State_ = static_cast<int8_t>(State_ - 1);
      ++Attempts;
      break;
    default:
      break;
  }
  return event;
}

std::string CmParDl::StatusText() const {
  std::string text;
  switch (State_.load()) {
    case NoList:
      return "No file opened for transfer to device";
    case Ready:
      return "Ready for transfer to device";
    case PortError:
      return "Error!";
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
  if (ResultsReady.exchange(false)) {
    Model.SwDl.ParameterTableChanged = true;
    Model.Host().ViewStateChanged();
  }
}
