#include "comm/Commframe.h"

#include "comm/Commerror.h"
#include "comm/Serialport.h"
#include "core/Replytimer.h"

TFrameLink::TFrameLink(TSerialPort& port, TReplyTimer& replyTimer)
    : Port(port), ReplyTimer(replyTimer) {}

void TFrameLink::SendFrame(uint8_t address, uint8_t command, const uint8_t* data, int count) {
  if (count < 0) count = 0;
  if (count > Frame::MaxData) count = Frame::MaxData;
  size_t n = 0;
  Transmit[n++] = Frame::Start;
  Transmit[n++] = static_cast<uint8_t>(count + 3);
  Transmit[n++] = address;
  Transmit[n++] = command;
  for (int i = 0; i < count; ++i) Transmit[n++] = data[i];
  uint8_t check = 0;
  for (size_t i = 0; i < n; ++i) check ^= Transmit[i];
  Transmit[n++] = check;

  size_t written = 0;  // Write fails unless the driver took every byte in time
  if (!Port.Write(Transmit, n, written)) throw ECommError(CommText::CouldNotTransmit);
  if (!Port.Flush()) throw ECommError(CommText::CouldNotFlush);
}

void TFrameLink::Fill() {
  size_t got = 0;
  if (!Port.Read(Receive, sizeof Receive, got)) throw ECommError(CommText::CouldNotRead);
  ReceiveCount = got;
  ReceiveNext = 0;
}

bool TFrameLink::ReadFrame(uint8_t& address, uint8_t& command, uint8_t* data, int& length) {
  if (ReceiveNext >= ReceiveCount) Fill();
  bool complete = false;
  while (!complete && ReceiveNext < ReceiveCount) {
    const uint8_t b = Receive[ReceiveNext++];
    RunningXor ^= b;
    switch (Reader) {
      case Hunt:
        // Anything before a start byte is noise.
        if (b == Frame::Start) {
          Reader = Length;
          RunningXor = Frame::Start;
        }
        break;
      case Length:
        ExpectedLength = static_cast<int>(b) - 3;
        Reader = AddressByte;
        break;
      case AddressByte:
        ReceivedAddress = b;
        Reader = CommandByte;
        break;
      case CommandByte:
        ReceivedCommand = b;
        if (ExpectedLength > 0) {
          DataCount = 0;
          Reader = Data;
        } else {
          Reader = Check;
        }
        break;
      case Data:
        data[DataCount++] = b;
        if (DataCount >= ExpectedLength) Reader = Check;
        break;
      case Check:
        Reader = Hunt;
        complete = RunningXor == 0;
        break;
    }
    if (ReceiveNext >= ReceiveCount) Fill();
  }
  if (complete) {
    address = ReceivedAddress;
    command = ReceivedCommand;
    length = ExpectedLength;
  }
  return complete;
}

void TFrameLink::EmptyInput() {
  Reader = Hunt;
  RunningXor = 0;
  ReplyTimer.Stop();
  uint8_t scratch[256];
  size_t got = 0;
  do {
    if (!Port.Read(scratch, sizeof scratch, got)) throw ECommError(CommText::CouldNotReadEmpty);
  } while (got > 0);
  ReceiveCount = 0;
  ReceiveNext = 0;
}
