// The device side of the command frame: 0x02, L = N + 3, address 0xD0,
// command, N data bytes, and the XOR of every byte before the check. Written
// for the simulators alone so that a mistake in the host's frame code cannot
// be repeated here.
#pragma once

#include <cstdint>
#include <vector>

constexpr uint8_t kSimFrameStart = 0x02;
constexpr uint8_t kSimFrameAddress = 0xD0;

struct SimFrame {
  uint8_t Address = 0;
  uint8_t Command = 0;
  std::vector<uint8_t> Data;
};

// The bytes of a frame with address 0xD0.
std::vector<uint8_t> SimFrameBytes(uint8_t command, const std::vector<uint8_t>& data);

// Assembles frames from the host's bytes, one byte at a time.
class SimFrameReader {
 public:
  enum class Result { Pending, Frame, BadCheck };

  Result Feed(uint8_t byte);
  // Drops a partly received frame and hunts for the next start byte.
  void Reset();
  // Whether a frame has begun and not yet ended.
  bool InFrame() const { return Step != Hunt; }
  // The frame that Feed last reported.
  const SimFrame& Frame() const { return Current; }

 private:
  enum StepKind { Hunt, Length, Address, Command, Data, Check };
  StepKind Step = Hunt;
  uint8_t Xor = 0;
  int Expected = 0;
  SimFrame Current;
};
