#include "sim/Simframe.h"

std::vector<uint8_t> SimFrameBytes(uint8_t command, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes;
  bytes.reserve(data.size() + 5);
  bytes.push_back(kSimFrameStart);
  bytes.push_back(static_cast<uint8_t>(data.size() + 3));
  bytes.push_back(kSimFrameAddress);
  bytes.push_back(command);
  for (uint8_t b : data) bytes.push_back(b);
  uint8_t check = 0;
  for (uint8_t b : bytes) check ^= b;
  bytes.push_back(check);
  return bytes;
}

void SimFrameReader::Reset() {
  Step = Hunt;
  Xor = 0;
}

SimFrameReader::Result SimFrameReader::Feed(uint8_t byte) {
  switch (Step) {
    case Hunt:
      if (byte == kSimFrameStart) {
        Xor = byte;
        Step = Length;
      }
      return Result::Pending;
    case Length:
      Xor ^= byte;
      // L counts address, command, data and check; less than 3 is a frame
      // without data.
      Expected = byte > 3 ? byte - 3 : 0;
      Step = Address;
      return Result::Pending;
    case Address:
      Xor ^= byte;
      Current.Address = byte;
      Step = Command;
      return Result::Pending;
    case Command:
      Xor ^= byte;
      Current.Command = byte;
      Current.Data.clear();
      Step = Expected > 0 ? Data : Check;
      return Result::Pending;
    case Data:
      Xor ^= byte;
      Current.Data.push_back(byte);
      if (static_cast<int>(Current.Data.size()) == Expected) Step = Check;
      return Result::Pending;
    case Check:
      Step = Hunt;
      return (Xor ^ byte) == 0 ? Result::Frame : Result::BadCheck;
  }
  return Result::Pending;
}
