#include "comm/Commswdl5170.h"

#include <algorithm>

#include "comm/Channelcodes.h"
#include "core/Host.h"
#include "core/Model.h"
#include "hex/Hexfile.h"

namespace {

// Requests and their answers (answer = request + 1), with the answers' data lengths.
constexpr uint8_t CmdConnect = 0x00;
constexpr uint8_t CmdRevision = 0xE0;
constexpr uint8_t CmdSetBaud = 0xE2;
constexpr uint8_t CmdSignature = 0xE4;
constexpr uint8_t CmdBlock = 0xE8;
constexpr uint8_t CmdPoll = 0xEA;
constexpr int ConnectAnswerLength = 3;
constexpr int RevisionAnswerLength = 10;
constexpr int SetBaudAnswerLength = 1;
constexpr int SignatureAnswerLength = 1;
constexpr int PollAnswerLength = 5;
constexpr int BlockAnswerLength = 6;
constexpr int BlockAnswerAddress = 2;  // the block's address, least significant byte first

// Device status bits.
constexpr uint8_t TakesBlock = 0x08;
// The block answer: byte 0 says whether the block was programmed (0) or
// refused (busy, locked, out of range), byte 1 is the status, bytes 2 to 5
// the block's address, least significant byte first.
constexpr uint8_t BlockProgrammed = 0;
constexpr uint8_t TakesClosingFrame = 0x04;

// The flash unlock signature: the software-data-protection command cycles of
// an 8-bit parallel flash (three unlock pairs, the commands 0x80 and 0xA0).
struct SignatureEntry {
  uint32_t Address;
  uint8_t Byte;
};
constexpr SignatureEntry UnlockSignature[8] = {
    {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80}, {0x5555, 0xAA},
    {0x2AAA, 0x55}, {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xA0},
};
constexpr int SignatureLength = 8 * 5 + 1;

void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The exchanges of a run. Connect, read the revision, switch the rate, send
// the unlock signature; then poll the device's status and send a block
// whenever it takes one; after the last block poll until it takes the closing
// frame, which is the signature exchange again. Where the device's status
// byte or the end of the data chooses, the channel decides.
// clang-format off
constexpr CmExchange ExchangeTable[] = {
    // send state                 command       answer length          next state
    {CmSwDl5170::SendConnect,     CmdConnect,   ConnectAnswerLength,   CmSwDl5170::SendRevision},
    {CmSwDl5170::SendRevision,    CmdRevision,  RevisionAnswerLength,  CmSwDl5170::SendBaudRate},
    {CmSwDl5170::SendBaudRate,    CmdSetBaud,   SetBaudAnswerLength,   CmSwDl5170::SendSignature},
    {CmSwDl5170::SendSignature,   CmdSignature, SignatureAnswerLength, CmExchange::Decided},
    {CmSwDl5170::SendPoll,        CmdPoll,      PollAnswerLength,      CmExchange::Decided},
    {CmSwDl5170::SendBlock,       CmdBlock,     BlockAnswerLength,     CmExchange::Decided},
};
// clang-format on

}  // namespace

CmSwDl5170::CmSwDl5170(TModel& model, PortSettings* settings)
    : CmFramed(model, settings, ReplyTimeoutMs, PortError, ExchangeTable) {}

CmSwDl5170::~CmSwDl5170() = default;

void CmSwDl5170::ApplySlowRate() {
  PortSettings slow = *Settings;
  slow.BaudRate = 1200;
  ApplySettings(&slow);
}

void CmSwDl5170::ApplyLineSettings() { ApplySlowRate(); }

int8_t CmSwDl5170::OpenedState() { return Model.SwDl.HasData() ? Ready : NoImage; }

int CmSwDl5170::SignatureFrame(uint8_t* data) const {
  // Before the data the unlock signature with final byte 0; after the data
  // (the closing frame) forty zero bytes and final byte 1.
  for (int i = 0; i < SignatureLength; ++i) data[i] = 0;
  if (!Done) {
    for (int i = 0; i < 8; ++i) {
      PutLe32(data + 5 * i, UnlockSignature[i].Address);
      data[5 * i + 4] = UnlockSignature[i].Byte;
    }
  }
  data[SignatureLength - 1] = Done ? 1 : 0;
  return SignatureLength;
}

bool CmSwDl5170::FetchNextBlock() {
  auto cell = [this](int32_t address) { return Image ? Image->ByteAt(address) : -1; };
  // Stretches of 0xFF and empty cells are erased flash already: skip them.
  int32_t address = CurrentAddress;
  while (address < ImageEnd && (cell(address) < 0 || cell(address) == 0xFF)) ++address;
  if (address >= ImageEnd) {
    // No data left: the current address stays where the last block ended,
    // which is what the progress text shows during the closing polls.
    Done = true;
    return false;
  }
  CurrentAddress = address;
  BlockPending = true;
  PutLe32(BlockBuffer, static_cast<uint32_t>(address));
  int count = 0;
  while (count < MaxBlock && address < ImageEnd) {
    const int32_t b = cell(address);
    BlockBuffer[4 + count] = b < 0 ? 0xFF : static_cast<uint8_t>(b);
    ++count;
    ++address;
  }
  // The next scan starts after the whole window, even when its trailing 0xFF
  // bytes are not sent.
  CurrentAddress = address;
  while (count > 1 && BlockBuffer[4 + count - 1] == 0xFF) --count;
  BlockLength = count;
  return true;
}

int8_t CmSwDl5170::AfterDeviceStatus() {
  if (Done) return (DeviceStatus & TakesClosingFrame) ? SendSignature : SendPoll;
  // A block the device refused goes again before the next one is fetched.
  if (DeviceStatus & TakesBlock) return BlockPending || FetchNextBlock() ? SendBlock : SendPoll;
  return SendPoll;
}

void CmSwDl5170::StepOther(int8_t state) {
  if (state != StartRequested) return;  // no image, ready, port error: nothing to do
  Image = Model.SwDl.CurrentImage();
  CurrentAddress = ImageStart;
  Done = false;
  BlockPending = false;
  Attempts = 0;
  ClosingAtSlowRate = false;
  ClosingRateChange = false;
  State_ = SendConnect;
}

int CmSwDl5170::Request(int8_t sendState, uint8_t* data) {
  switch (sendState) {
    case SendBaudRate:
      // Request and answer still travel at 1200 baud.
      PutLe32(data, static_cast<uint32_t>(Settings->BaudRate));
      return 4;
    case SendSignature:
      if (ClosingRateChange) {
        ClosingRateChange = false;
        if (ClosingAtSlowRate)
          ApplySlowRate();
        else
          ApplySettings(Settings);
      }
      return SignatureFrame(data);
    case SendBlock:
      // The block buffer is unchanged since the block was fetched, so a
      // resend after a time-out sends the same bytes.
      std::copy(BlockBuffer, BlockBuffer + 4 + BlockLength, data);
      return 4 + BlockLength;
    default:  // connect, revision, poll: no data
      return 0;
  }
}

bool CmSwDl5170::BelongsToRequest(int8_t sendState) const {
  if (sendState != SendBlock) return true;
  // A block answer carries the block's address after the result and status
  // bytes. One for another address answers a block sent before, whose answer
  // came after the block had been sent again on its time-out: it reports the
  // device's status of then and must not pace the block after this one.
  return std::equal(BlockBuffer, BlockBuffer + 4, AnswerData + BlockAnswerAddress);
}

int8_t CmSwDl5170::Answered(int8_t sendState, int8_t next) {
  switch (sendState) {
    case SendBaudRate:
      ApplySettings(Settings);
      return next;
    case SendSignature:
      if (!Done) return SendPoll;
      StatusChanged = true;
      ++DoneCount;
      History.Completed();
      ApplySlowRate();
      Image.reset();
      return Ready;
    case SendPoll:
      DeviceStatus = AnswerData[0];
      return AfterDeviceStatus();
    case SendBlock:
      // The answer is this block's (BelongsToRequest). A block the device
      // refused (busy, locked) stays pending and goes again.
      if (AnswerData[0] == BlockProgrammed) BlockPending = false;
      DeviceStatus = AnswerData[1];
      // Done is clear here: a block is only sent while data is left.
      return AfterDeviceStatus();
    default:
      return next;
  }
}

void CmSwDl5170::Command(int code) {
  if (State_ == PortError) {
    // Waiting for the port is no run: a stop (or a file loaded) leaves it
    // waiting; a start tries to open it at once.
    if (code == CmCommand::Start) RequestPortAttempt(code);
    return;
  }
  if (code == CmCommand::Stop) {
    const int8_t was = State_;
    if (was == Ready) return;
    if (was > Ready && was != PortError) History.Stopped();
    // Without a loaded image there is nothing to download: the channel shows
    // so instead of offering a run that would only unlock and close the flash.
    State_ = Model.SwDl.HasData() ? Ready : NoImage;
    Image.reset();
    DoneCount = 0;
    StatusChanged = true;
    // The port never opened: there is no line to return to 1200 baud.
    if (was == PortError || !Port.IsOpen()) return;
    // This runs on the host thread, where no port error may escape; the next
    // step raises it on the worker thread, which shows it and has the channel
    // rebuilt (and the port opened afresh at 1200 baud).
    try {
      ApplySlowRate();
    } catch (const ECommError& e) {
      DeferPortError(e);
    }
  } else if (code == CmCommand::Start) {
    if (State_ != Ready) return;
    Attempts = 0;  // "Connecting 0" from the start, not the last run's count
    History.Started();
    State_ = StartRequested;
  }
}

void CmSwDl5170::TimedOut(int8_t sendState) {
  // The request that timed out goes out again.
  if (sendState == SendConnect) {
    ++Attempts;
  } else if (sendState == SendSignature && Done) {
    ClosingAtSlowRate = !ClosingAtSlowRate;
    ClosingRateChange = true;
  }
}

std::string CmSwDl5170::StatusText() const {
  switch (State_.load()) {
    case NoImage:
      return "No file opened for download";
    case Ready:
      return DoneCount > 0 ? "Download done. Ready for new download" : "Ready for download";
    case StartRequested:
    case SendConnect:
    case WaitConnect:
      return "Connecting " + std::to_string(Attempts);
    case PortError:
      return PortErrorText();
    case SendRevision:
    case WaitRevision:
      return "Aqquiring BIOS revision";
    case SendBaudRate:
    case WaitBaudRate:
      return "Setting baudrate at " + std::to_string(Settings->BaudRate) + " baud";
    case SendSignature:
    case WaitSignature:
      return "Transferring Flash Unlock Signature";
    case SendPoll:
    case WaitPoll:
    case SendBlock:
    case WaitBlock:
      return "Transferring data";
    default:
      return "-";
  }
}

std::string CmSwDl5170::ProgressText() const {
  const int8_t s = State_;
  if (s < SendPoll || s > WaitBlock) return {};
  return std::to_string(static_cast<uint32_t>(CurrentAddress - ImageStart));
}

CmRunStatus CmSwDl5170::RunStatus() const {
  const int8_t s = State_;
  CmPhase phase = CmPhase::Idle;
  if (s == PortError)
    phase = CmPhase::Failed;
  else if (s >= StartRequested && s <= WaitBaudRate)
    phase = CmPhase::Connecting;
  else if (s >= SendSignature && s <= WaitBlock)
    phase = Done ? CmPhase::Finishing : CmPhase::Transferring;
  CmRunStatus status = History.Record(phase);
  if (s >= SendPoll && s <= WaitBlock) {
    status.DoneUnits = CurrentAddress - ImageStart;
    status.TotalUnits = Image ? std::max(Image->UsedLength(), 0) : 0;
  }
  return status;
}

void CmSwDl5170::UpdateStatus() {
  Model.SwDl.SetRunStatus(RunStatus());
  Model.SwDl.StateText.Set(StatusText());
  Model.SwDl.AddressText.Set(ProgressText());
  if (StatusChanged.exchange(false)) Model.Host().ViewStateChanged();
  ShowPortMessage();
}
