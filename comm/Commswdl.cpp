#include "comm/Commswdl.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "comm/Channelcodes.h"
#include "comm/Commswdl7310log.h"
#include "comm/K7310map.h"
#include "core/Host.h"
#include "core/Model.h"
#include "hex/Hexfile.h"

namespace {

// Bytes of the boot-loader dialogue.
constexpr uint8_t Sync = 0x7F;
constexpr uint8_t Ack = 0x79;
constexpr uint8_t Nack = 0x1F;
constexpr uint8_t Asleep = 0x16;  // the main processor runs its program: wake it up
constexpr uint8_t Escape = 0x1B;
constexpr uint8_t EscapeReply = 0x1A;
constexpr uint8_t EraseCode = 0x43;
constexpr uint8_t WriteCode = 0x31;
constexpr uint8_t ReadCode = 0x11;
constexpr uint8_t GoCode = 0x21;
constexpr uint8_t FirstRouteByte = 0x11;  // processor p is selected by p + 0x0F
constexpr uint8_t LastRouteByte = 0x13;

constexpr uint32_t FlashBase = K7310FlashBase;  // every processor is programmed from here
constexpr int32_t MaxBlock = 256;
constexpr int MaxRetries = 5;

constexpr const K7310Processor* Processors = K7310Processors;

uint8_t RouteByte(int processor) { return static_cast<uint8_t>(processor + 0x0F); }

}  // namespace

CmSwDl7310::CmSwDl7310(TModel& model, PortSettings* settings) : CmBase(model, settings) {
  Status().Medium = "Serial";
  for (int i = 0; i < 4; ++i) {
    RangeStart[i] = Processors[i].RangeStart;
    RangeSize[i] = Processors[i].RangeSize;
    PageSize[i] = Processors[i].PageSize;
  }
}

PortTimeouts CmSwDl7310::ReadTimeouts(int32_t baudRate) {
  PortTimeouts timeouts;
  timeouts.ReadTotalConstant = 1000;
  if (baudRate <= 0) return timeouts;
  const int64_t bitsPerByte = 11;
  const int64_t blockWireMs = MaxBlock * bitsPerByte * 1000 / baudRate;
  if (blockWireMs * 3 > 1000 * 2)  // ms per byte, rounded up
    timeouts.ReadTotalMultiplier = static_cast<uint32_t>((bitsPerByte * 1000 + baudRate - 1) / baudRate);
  return timeouts;
}

void CmSwDl7310::Open(CmConfig* config) {
  Config = config;
  try {
    OpenLine();
    State = Model.SwDl.HasData() ? Ready : NoFile;
    Processor = 0;
    AbortRequest = false;
  } catch (const ECommError& e) {
    ClosePort();
    State = Error;
    History.Failure(e.what());
    PortWait.Missing(Clock().Now(), e.what());
    throw;
  }
}

void CmSwDl7310::OpenLine() {
  OpenPort();
  ApplySettings();
  ApplyTimeouts(ReadTimeouts(Settings->BaudRate), CommText::CouldNotApplyTimeouts);
}

void CmSwDl7310::WaitForPort() {
  bool requested = false;
  if (!ReopenStep(PortWait, [this] { OpenLine(); }, requested)) return;
  Processor = 0;
  const bool hasData = Model.SwDl.HasData();
  const int8_t next = !hasData ? NoFile : requested ? Start : Ready;
  int8_t expected = Error;
  if (State.compare_exchange_strong(expected, next) && next == Start) History.Started();
}

std::string CmSwDl7310::WithHangupCause(const std::string& error) {
  if (error.find('\n') != std::string::npos || (Port.IsOpen() && !Port.HungUp())) return error;
  return error + "\n" + PortHangupCause(Config ? Config->Port : 0);
}

// Asked at every idle step: a look at the port that does not wait, next to
// the hand-over every step makes anyway.
void CmSwDl7310::WatchForHangup() {
  if (!TakeHangup(PortWait)) return;
  // A start the host asked for meanwhile stands: its run opens the port.
  int8_t expected = StepState;
  if (State.compare_exchange_strong(expected, Error)) StatusChanged = true;
}

// Command runs on the host thread, also while a step is in progress, and never
// waits for it. The rule that keeps the two apart:
// - Command writes State first and AbortRequest after it. The host only ever
//   sets State to 1 (stop) or 2 (start).
// - A step moves State on only by a compare-exchange from the state it began
//   in, so a State the host set during the step stands.
// - A stop that came during a step is completed by that step's abort check;
//   one that came between two steps by the next step, whatever its state; and
//   a start clears a stop that no step has completed yet, so that it never
//   cancels the new run.
void CmSwDl7310::Command(int code) {
  if (code == CmCommand::Stop) {
    // Waiting for the port is no run: a stop (or a file loaded) leaves it
    // waiting, never ready on a closed port.
    int8_t was = State;
    do {
      if (was == Error) return;
    } while (!State.compare_exchange_weak(was, Ready));
    if (was != Ready) AbortRequest = was > Ready;
    if (was > Ready) History.Stopped();
  } else if (code == CmCommand::Start) {
    if (State == Error) {
      PortWait.RequestAttempt();
    } else if (State == Ready) {
      if (AbortRequest.exchange(false)) DoneCount = 0;
      int8_t expected = Ready;
      if (State.compare_exchange_strong(expected, Start)) History.Started();
    }
  }
}

int CmSwDl7310::GetState() { return State; }

void CmSwDl7310::Step() {
  StepState = State;
  if (StepState == Error) {
    WaitForPort();
    return;
  }
  if (StepState == NoFile || StepState == Ready) WatchForHangup();
  int8_t next = StepState;
  const bool idle = StepState == NoFile || StepState == Ready || StepState == Error ||
                    StepState < 0 || StepState > FinalGoAddressAck;
  if (!idle) {
    Image = Model.SwDl.CurrentImage();
    if (StepState != Start && Image != RunImage) {
      // A file was loaded during the run: the run's image is gone.
      StatusChanged = true;
      next = Ready;
    } else {
      try {
        next = Perform(StepState);
      } catch (const ECommError& e) {
        // The run has failed: the worker shows the error and ends, and the
        // channel is rebuilt. Until then the view shows the run as ended.
        const std::string message = WithHangupCause(e.what());
        History.Failure(message);
        History.Failed();
        PortWait.Missing(Clock().Now(), message);
        State = Error;
        throw ECommError(message);
      }
    }
    if (next == Ready) RunImage.reset();
    int8_t expected = StepState;
    if (State.compare_exchange_strong(expected, next)) {
      if (RunCompleted) ++DoneCount;
      if (RunEnded) History.Completed();
    }
    RunCompleted = false;
    RunEnded = false;
  }
  // The abort check. The stop has already put State to 1.
  if (AbortRequest.exchange(false)) {
    StatusChanged = true;
    DoneCount = 0;
  }
}

// The state table.
int8_t CmSwDl7310::Perform(int8_t state) {
  switch (state) {
    case Start: return StartRun();
    case Connect: return SendConnectByte();
    case ConnectReply: return TakeConnectReply();

    case EraseCommand: SendCommandFrame(EraseCode); return EraseCommandAck;
    case EraseCommandAck: return Acknowledged(SwDl7310Log::EraseCommand) ? ErasePage : Retry(EraseCommand);
    case ErasePage:
      ClearFrame();
      Append(0x00);  // one page
      Append(static_cast<uint8_t>(Offset / PageSize[Processor - 1]));
      AppendChecksum();
      SendFrame();
      return ErasePageAck;
    case ErasePageAck: return ErasePageAcknowledged();

    case WriteCommand: SendCommandFrame(WriteCode); return WriteCommandAck;
    case WriteCommandAck: return Acknowledged(SwDl7310Log::WriteCommand) ? WriteAddress : Retry(WriteCommand);
    case WriteAddress: SendAddress(FlashBase + static_cast<uint32_t>(Offset)); return WriteAddressAck;
    case WriteAddressAck: return Acknowledged(SwDl7310Log::WriteAddress) ? WriteData : Retry(WriteCommand);
    case WriteData: return SendWriteData();
    case WriteDataAck:
      if (!Acknowledged(SwDl7310Log::WriteData)) return Retry(WriteCommand);
      RetryCount = 0;
      return ReadCommand;

    case ReadCommand:
      // State moves on before the send, so that a port error leaves it at 17.
      Advance(ReadCommandAck);
      SendCommandFrame(ReadCode);
      return ReadCommandAck;
    case ReadCommandAck: return Acknowledged(SwDl7310Log::ReadCommand) ? ReadAddress : Retry(ReadCommand);
    case ReadAddress: SendAddress(FlashBase + static_cast<uint32_t>(Offset)); return ReadAddressAck;
    case ReadAddressAck: return Acknowledged(SwDl7310Log::ReadAddress) ? ReadLength : Retry(ReadCommand);
    case ReadLength: SendBytes({static_cast<uint8_t>(CurLength - 1), static_cast<uint8_t>(~(CurLength - 1))}); return ReadLengthAck;
    case ReadLengthAck: return Acknowledged(SwDl7310Log::ReadLength) ? ReadData : Retry(ReadCommand);
    case ReadData: return CompareReadBack();

    case VerifyCommand: SendCommandFrame(ReadCode); return VerifyCommandAck;
    case VerifyCommandAck: return Acknowledged(SwDl7310Log::VerifyCommand) ? VerifyAddress : Retry(VerifyCommand);
    case VerifyAddress: SendAddress(FlashBase + static_cast<uint32_t>(Offset)); return VerifyAddressAck;
    case VerifyAddressAck: return Acknowledged(SwDl7310Log::VerifyAddress) ? VerifyLength : Retry(VerifyCommand);
    case VerifyLength: SendBytes({static_cast<uint8_t>(CurLength - 1), static_cast<uint8_t>(~(CurLength - 1))}); return VerifyLengthAck;
    case VerifyLengthAck: return Acknowledged(SwDl7310Log::VerifyLength) ? VerifyData : Retry(VerifyCommand);
    case VerifyData: return CompareVerifyBlock();

    case GoCommand: SendCommandFrame(GoCode); return GoCommandAck;
    case GoCommandAck: return Acknowledged(SwDl7310Log::GoCommand) ? GoAddress : Retry(GoCommand);
    case GoAddress: SendAddress(FlashBase); return GoAddressAck;
    case GoAddressAck: return Acknowledged(SwDl7310Log::GoAddress) ? GoAcknowledged() : Retry(GoCommand);
    case NextProcessor: Pause(1000); return Connect;

    case FinalEscape: Pause(100); SendBytes({Escape}); return FinalEscapeReply;
    case FinalEscapeReply: return TakeFinalEscapeReply();
    case FinalConnect: Pause(100); SendBytes({Sync}); return FinalConnectReply;
    case FinalConnectReply: return TakeFinalConnectReply();
    case FinalGoCommand: SendCommandFrame(GoCode); return FinalGoCommandAck;
    case FinalGoCommandAck: return ReadByte() == Ack ? FinalGoAddress : FinalConnect;
    case FinalGoAddress: SendAddress(FlashBase); return FinalGoAddressAck;
    case FinalGoAddressAck: return FinalGoAcknowledged();

    default: return state;
  }
}

int8_t CmSwDl7310::StartRun() {
  Pause(1000);
  // A stopped or failed run may have left the line at another processor.
  if (LineMayBeRouted) WaitForRouteRelease();
  // A stopped run leaves the device's answer to its last frame unread, and
  // a failed one may leave late answers; read as replies of the new run they
  // would shift every reply by one. Nothing pending now belongs to the new
  // run. A port that hung up just as the run was asked for is opened once;
  // its failure ends the run with the open error.
  if (!Port.IsOpen()) OpenLine();
  if (!Port.DiscardInput()) throw ECommError(CommText::CouldNotReadStx);
  // The image is taken after the pause: a file loaded during it counts.
  Image = Model.SwDl.CurrentImage();
  RunImage = Image;
  Processor = 0;
  for (int p = 4; p >= 1; --p) {
    UsedLength[p - 1] = RunImage ? RunImage->BlockLength(RangeStart[p - 1], RangeSize[p - 1]) : -1;
    HasPart[p - 1] = UsedLength[p - 1] > 0;
    if (HasPart[p - 1]) Processor = static_cast<int8_t>(p);
  }
  Routed = false;
  RetryCount = 0;
  if (Processor == 0) {
    StatusChanged = true;
    return Ready;
  }
  return Connect;
}

int8_t CmSwDl7310::SendConnectByte() {
  Pause(100);
  if (Processor == 1 || Routed) {
    SendBytes({Sync});
  } else {
    // A route byte whose echo was lost has taken the line all the same, and
    // the processor behind it ignores the next one: let the route drop first.
    if (LineMayBeRouted) WaitForRouteRelease();
    LineMayBeRouted = true;
    SendBytes({RouteByte(Processor)});
  }
  return ConnectReply;
}

int8_t CmSwDl7310::TakeConnectReply() {
  const int reply = ReadByte();
  if (reply < 0) return Connect;
  const bool toProcessor = Processor == 1 || Routed;
  if (reply == Asleep && Processor == 1) {
    SendWakeUp();
    return Connect;
  }
  if (Processor > 1 && reply == RouteByte(Processor)) {
    Routed = true;
    return Connect;
  }
  if ((reply == Ack || reply == Nack) && toProcessor) {
    Offset = 0;
    Model.SwDl.ClearErasedPages();
    RetryCount = 0;
    return EraseCommand;
  }
  if (reply == Asleep || (reply >= FirstRouteByte && reply <= LastRouteByte) || reply == Ack ||
      reply == Nack)
    return ConnectReply;  // read again
  return Connect;
}

int8_t CmSwDl7310::ErasePageAcknowledged() {
  if (!Acknowledged(SwDl7310Log::ErasePage)) return Retry(EraseCommand);
  Model.SwDl.MarkPageErased(Offset);
  return WriteCommand;
}

int8_t CmSwDl7310::SendWriteData() {
  CurLength = std::min(PartLength() - Offset, MaxBlock);
  ClearFrame();
  Append(static_cast<uint8_t>(CurLength - 1));
  for (int32_t i = 0; i < CurLength; ++i) Append(ImageByte(Offset + i));
  AppendChecksum();
  SendFrame();
  return WriteDataAck;
}

int8_t CmSwDl7310::CompareReadBack() {
  if (!ReadBlock(SwDl7310Log::ReadBackCount)) return Retry(ReadCommand);
  if (FirstDifference() >= 0) {
    // Erase the block's page and write it again; not counted as a failure.
    Offset -= Offset % PageSize[Processor - 1];
    return EraseCommand;
  }
  Offset += CurLength;
  RetryCount = 0;
  if (Offset < PartLength()) return Model.SwDl.IsPageErased(Offset) ? WriteCommand : EraseCommand;
  Offset = 0;
  CurLength = std::min(PartLength(), MaxBlock);
  return VerifyCommand;
}

int8_t CmSwDl7310::CompareVerifyBlock() {
  if (!ReadBlock(SwDl7310Log::VerifyCount)) return Retry(VerifyCommand);
  if (FirstDifference() >= 0) {
    // The whole part is written again.
    Offset = 0;
    return EraseCommand;
  }
  Offset += CurLength;
  if (Offset < PartLength()) {
    CurLength = std::min(PartLength() - Offset, MaxBlock);
    return VerifyCommand;
  }
  RetryCount = 0;
  ++Processor;
  return GoCommand;
}

int8_t CmSwDl7310::GoAcknowledged() {
  // After a Go the device routes the line back to the main processor.
  LineMayBeRouted = false;
  if (Processor >= 5) return FinalEscape;
  StatusChanged = true;
  for (int p = Processor; p <= 4; ++p) {
    if (HasPart[p - 1]) {
      Processor = static_cast<int8_t>(p);
      Routed = false;
      return NextProcessor;
    }
  }
  Processor = 0;
  RunEnded = true;  // the last part was not the Ethernet processor's: no final reboot
  return Ready;
}

int8_t CmSwDl7310::TakeFinalEscapeReply() {
  if (ReadByte() != EscapeReply) return FinalEscape;
  Advance(FinalConnect);
  SendWakeUp();
  return FinalConnect;
}

int8_t CmSwDl7310::TakeFinalConnectReply() {
  const int reply = ReadByte();
  if (reply < 0) return FinalConnect;
  return reply == Ack || reply == Nack ? FinalGoCommand : FinalEscape;
}

int8_t CmSwDl7310::FinalGoAcknowledged() {
  if (ReadByte() != Ack) return FinalConnect;
  StatusChanged = true;
  RunCompleted = true;
  RunEnded = true;
  Processor = 0;
  return Ready;
}

bool CmSwDl7310::Acknowledged(const TAwaitedReply& reply) {
  const int got = ReadByte();
  if (got == Ack) return true;
  if (got < 0) {
    LogLine(reply.TimeoutText);
  } else {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02x\r\n", static_cast<unsigned>(got & 0xFF));
    LogLine(std::string(reply.NoAckPrefix) + digits);
  }
  return false;
}

bool CmSwDl7310::ReadBlock(const char* countPrefix) {
  const size_t got = ReadPort(RxBuffer, static_cast<size_t>(CurLength), CommText::CouldNotReadStx);
  if (static_cast<int32_t>(got) == CurLength) return true;
  char counts[32];
  std::snprintf(counts, sizeof counts, "%d %d\r\n", static_cast<int>(got), static_cast<int>(CurLength));
  LogLine(std::string(countPrefix) + counts);
  return false;
}

int8_t CmSwDl7310::Retry(int8_t commandState) {
  ++RetryCount;
  if (RetryCount > MaxRetries) return Start;
  Pause(100);
  // The command goes out again only once the device has had all of the last
  // frame: a command that arrives in the middle of a data frame is read as
  // data, and every reply after it is a NACK.
  Port.WaitUntilSent();
  // What is waiting now answers the attempt that failed: the acknowledge
  // behind a noise byte, the rest of a shifted read, a late answer. Read as
  // replies to the repeated command they would shift every reply after it,
  // and the run would only come back in step by restarting.
  if (Port.IsOpen() && !Port.DiscardInput()) throw ECommError(CommText::CouldNotReadStx);
  return commandState;
}

int32_t CmSwDl7310::FirstDifference() const {
  for (int32_t i = 0; i < CurLength; ++i)
    if (RxBuffer[i] != ImageByte(Offset + i)) return i;
  return -1;
}

void CmSwDl7310::ClearFrame() {
  Checksum = 0;
  TxLength = 0;
}

void CmSwDl7310::Append(uint8_t b) {
  Checksum ^= b;
  TxBuffer[TxLength++] = b;
}

void CmSwDl7310::AppendChecksum() { Append(Checksum); }

void CmSwDl7310::SendFrame() { WritePort(TxBuffer, static_cast<size_t>(TxLength)); }

void CmSwDl7310::SendBytes(std::initializer_list<uint8_t> bytes) {
  TxLength = 0;
  for (uint8_t b : bytes) TxBuffer[TxLength++] = b;
  SendFrame();
}

void CmSwDl7310::SendCommandFrame(uint8_t code) { SendBytes({code, static_cast<uint8_t>(~code)}); }

void CmSwDl7310::SendAddress(uint32_t address) {
  ClearFrame();
  Append(static_cast<uint8_t>(address >> 24));
  Append(static_cast<uint8_t>(address >> 16));
  Append(static_cast<uint8_t>(address >> 8));
  Append(static_cast<uint8_t>(address));
  AppendChecksum();
  SendFrame();
}

void CmSwDl7310::SendWakeUp() {
  SendBytes({'B', 'O', 'O', 'T'});
  ReadPort(RxBuffer, sizeof RxBuffer, CommText::CouldNotReadStx);
  Pause(1000);
}

int CmSwDl7310::ReadByte() {
  uint8_t b = 0;
  return ReadPort(&b, 1, CommText::CouldNotReadStx) == 1 ? b : -1;
}

uint8_t CmSwDl7310::ImageByte(int32_t offset) const {
  const int32_t cell = Image ? Image->ByteAt(RangeStart[Processor - 1] + offset) : -1;
  return cell < 0 ? 0xFF : static_cast<uint8_t>(cell);
}

int32_t CmSwDl7310::PartLength() const { return UsedLength[Processor - 1]; }

void CmSwDl7310::Advance(int8_t next) {
  int8_t expected = StepState;
  if (State.compare_exchange_strong(expected, next)) StepState = next;
}

void CmSwDl7310::WaitForRouteRelease() {
  // The device counts the silence from the last byte on the line, whichever
  // way it went: a long read-back keeps the route as much as a command does.
  Clock().SleepUntil(Port.LastLineActivity() + std::chrono::milliseconds(RouteReleaseMs));
  LineMayBeRouted = false;
}

void CmSwDl7310::Pause(int ms) { Clock().Sleep(std::chrono::milliseconds(ms)); }

void CmSwDl7310::LogLine(const std::string& text) {
  History.Failure(text);
  Model.Host().LogWrite(text);
}

CmRunStatus CmSwDl7310::RunStatus() const {
  const int state = State;
  CmPhase phase = CmPhase::Idle;
  if (state == Error)
    phase = CmPhase::Failed;
  else if (state == Start || state == Connect || state == ConnectReply)
    phase = CmPhase::Connecting;
  else if (state >= EraseCommand && state <= ReadData)
    phase = CmPhase::Transferring;
  else if (state >= VerifyCommand && state <= VerifyData)
    phase = CmPhase::Verifying;
  else if (state >= GoCommand && state <= FinalGoAddressAck)
    phase = CmPhase::Finishing;
  CmRunStatus status = History.Record(phase);
  // The part being connected, written or verified; during Go and the final
  // reboot Processor already names the next one.
  const bool onPart = phase == CmPhase::Connecting || phase == CmPhase::Transferring || phase == CmPhase::Verifying;
  if (onPart && Processor >= 1 && Processor <= K7310ProcessorCount) status.Part = Processor - 1;
  if ((phase == CmPhase::Transferring || phase == CmPhase::Verifying) && status.Part != CmRunStatus::NoPart) {
    status.DoneUnits = Offset;
    status.TotalUnits = std::max(UsedLength[status.Part], 0);
  }
  return status;
}

void CmSwDl7310::UpdateStatus() {
  Model.SwDl.SetRunStatus(RunStatus());
  const int state = State;
  const std::string name = Processor >= 1 && Processor <= 4 ? Processors[Processor - 1].Name : "";
  const std::string offset = std::to_string(Offset);
  std::string stateText = "-";
  std::string address;
  std::string unit;
  if (state >= NoFile && state <= VerifyData) unit = name;
  if (state == NoFile) {
    stateText = "No file opened for download";
  } else if (state == Ready) {
    stateText = DoneCount == 0 ? "Ready for download" : "Download done. Ready for new download";
  } else if (state == Start) {
    stateText = "Retry";
  } else if (state == Error) {
    // Why the port is absent, after the fixed text.
    stateText = PortWait.Cause().empty() ? "Error!" : "Error! " + PortWait.Cause();
  } else if (state == Connect || state == ConnectReply) {
    stateText = "Connecting";
  } else if (state >= EraseCommand && state <= ReadData) {
    stateText = "Downloading";
    address = offset;
  } else if (state >= VerifyCommand && state <= VerifyData) {
    stateText = "Verifying";
    address = offset;
  } else if (state >= GoCommand && state <= NextProcessor) {
    stateText = "Re-booting device";
  } else if (state >= FinalEscape && state <= FinalConnectReply) {
    stateText = "Final reboot: Connecting";
  } else if (state >= FinalGoCommand && state <= FinalGoAddressAck) {
    stateText = "Final reboot";
  }
  Model.SwDl.StateText.Set(stateText);
  Model.SwDl.AddressText.Set(address);
  Model.SwDl.UnitText.Set(unit);
  if (StatusChanged.exchange(false)) Model.Host().ViewStateChanged();
  // A start while the port was absent, whose open failed: one box.
  const std::string message = PortWait.TakeMessage();
  if (!message.empty()) Model.Host().ShowError(message);
}
