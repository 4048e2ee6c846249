// The command frame both framed channels speak (the TRX5170L boot loader and
// the parameter download):
//
//   0x02, L = N + 3, address 0xD0, command, N data bytes, XOR of all before
//
// TFrameLink writes such frames, assembles received ones across calls (a frame
// may arrive over several reads, bytes after it stay for the next call) and
// empties the input before each request. It owns the reader state and the
// receive and transmit buffers; the channel owns the port. Reads must return
// at once with what has arrived (the channels' port time-outs see to that), so
// no call waits for the device.
#pragma once

#include <cstddef>
#include <cstdint>

class TSerialPort;
class TReplyTimer;

namespace Frame {
inline constexpr uint8_t Start = 0x02;
inline constexpr uint8_t Address = 0xD0;  // in every frame, both directions
inline constexpr int Overhead = 5;        // start, length, address, command, check
inline constexpr int MaxData = 252;       // the largest N a one-byte length allows
}  // namespace Frame

class TFrameLink {
 public:
  TFrameLink(TSerialPort& port, TReplyTimer& replyTimer);

  // Writes one frame in one write, then flushes. Raises ECommError
  // "Communication: Could not transmit data" / "... Could not flush transmit data".
  void SendFrame(uint8_t address, uint8_t command, const uint8_t* data, int count);

  // Takes the bytes that have arrived; true when they completed a frame with a
  // correct check byte. data must hold Frame::MaxData bytes; length is L - 3
  // (0 or less for a frame without data). A frame with a wrong check byte is
  // dropped without notice. Raises "Communication: Could not read port".
  bool ReadFrame(uint8_t& address, uint8_t& command, uint8_t* data, int& length);

  // Resets the reader, stops the reply timer and discards everything waiting at
  // the port. Raises "Communication: Could not read port during empty".
  void EmptyInput();

 private:
  enum ReaderState : uint8_t { Hunt, Length, AddressByte, CommandByte, Data, Check };

  void Fill();  // one read of up to 256 bytes into the empty receive buffer

  TSerialPort& Port;
  TReplyTimer& ReplyTimer;

  uint8_t Receive[256] = {};
  size_t ReceiveCount = 0;  // bytes of the last read
  size_t ReceiveNext = 0;   // next byte not yet taken

  ReaderState Reader = Hunt;
  uint8_t RunningXor = 0;
  int ExpectedLength = 0;
  uint8_t ReceivedAddress = 0;
  uint8_t ReceivedCommand = 0;
  int DataCount = 0;

  uint8_t Transmit[Frame::MaxData + Frame::Overhead] = {};
};
