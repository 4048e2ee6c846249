#include "tests/framed/Scriptedframeddevice.h"

#include <algorithm>

#include "tests/framed/Frames.h"

namespace {

constexpr uint8_t FrameStart = 0x02;
constexpr uint8_t FrameAddress = 0xD0;  // in every frame, both directions
constexpr uint32_t FlashStart = 0xE0000;
constexpr uint32_t FlashEnd = 0x100000;
constexpr size_t ValueField = 7;

uint32_t Le32(const std::vector<uint8_t>& data, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(data[at + i]) << (8 * i);
  return value;
}

void PutLe32(std::vector<uint8_t>& data, uint32_t value) {
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool IsUnlockSignature(const std::vector<uint8_t>& data) {
  const std::pair<uint32_t, uint8_t> cycles[8] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80},
                                                  {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xAA},
                                                  {0x2AAA, 0x55}, {0x5555, 0xA0}};
  for (int i = 0; i < 8; ++i)
    if (Le32(data, 5 * i) != cycles[i].first || data[5 * i + 4] != cycles[i].second) return false;
  return data[40] == 0;
}

bool IsClosingSignature(const std::vector<uint8_t>& data) {
  return std::all_of(data.begin(), data.begin() + 40, [](uint8_t b) { return b == 0; }) && data[40] == 1;
}

}  // namespace

void TScriptedFramedDevice::LoseAnswer(uint8_t command, int occurrence) {
  std::lock_guard<std::mutex> lock(Lock);
  Fates[{command, occurrence}].Lost = true;
}

void TScriptedFramedDevice::DelayAnswer(uint8_t command, int occurrence, std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(Lock);
  Fates[{command, occurrence}].Delay = delay;
}

void TScriptedFramedDevice::BusyAfterBlock(int occurrence, int polls) {
  std::lock_guard<std::mutex> lock(Lock);
  BusyAfter[occurrence] = polls;
}

void TScriptedFramedDevice::SetParameter(int number, const std::string& value) {
  std::lock_guard<std::mutex> lock(Lock);
  Table[number] = value;
}

void TScriptedFramedDevice::Unplug() {
  std::lock_guard<std::mutex> lock(Lock);
  Plugged = false;
}

bool TScriptedFramedDevice::Connected() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Plugged;
}

void TScriptedFramedDevice::LineSet(int32_t baudRate, char parity) {
  std::lock_guard<std::mutex> lock(Lock);
  HostBaud = baudRate;
  HostParity = parity;
  Rates.push_back(baudRate);
  if (FirstRate == 0) FirstRate = ListenRate = baudRate;
}

std::vector<TLineRecord> TScriptedFramedDevice::Records() const {
  std::lock_guard<std::mutex> lock(Lock);
  std::vector<TLineRecord> records = Log;
  std::stable_sort(records.begin(), records.end(),
                   [](const TLineRecord& a, const TLineRecord& b) { return a.First < b.First; });
  return records;
}

std::vector<std::pair<uint8_t, std::vector<uint8_t>>> TScriptedFramedDevice::HeardRequests() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Heard;
}

std::map<uint32_t, uint8_t> TScriptedFramedDevice::Flash() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Cells;
}

std::map<int, std::string> TScriptedFramedDevice::Parameters() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Table;
}

std::vector<int32_t> TScriptedFramedDevice::RatesSet() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Rates;
}

bool TScriptedFramedDevice::Unlocked() const {
  std::lock_guard<std::mutex> lock(Lock);
  return IsUnlocked;
}

int TScriptedFramedDevice::Closings() const {
  std::lock_guard<std::mutex> lock(Lock);
  return ClosingCount;
}

TClock::Duration TScriptedFramedDevice::ByteTime() const {
  // Start bit, 8 data bits, the parity bit if any, stop bit.
  const int bits = HostParity == 'N' ? 10 : 11;
  return std::chrono::duration_cast<TClock::Duration>(std::chrono::nanoseconds(1'000'000'000LL * bits / HostBaud));
}

std::vector<TTimedByte> TScriptedFramedDevice::Receive(const uint8_t* bytes, size_t count, TClock::Time first,
                                                       TClock::Time last) {
  std::lock_guard<std::mutex> lock(Lock);
  Answers.clear();
  Log.push_back({true, std::vector<uint8_t>(bytes, bytes + count), HostBaud, first, last});
  Pending.insert(Pending.end(), bytes, bytes + count);
  // Whole frames with a good check byte; anything else is skipped byte by byte.
  for (;;) {
    while (!Pending.empty() && Pending.front() != FrameStart) Pending.erase(Pending.begin());
    if (Pending.size() < 2) break;
    const size_t length = Pending[1];
    if (length < 3) {
      Pending.erase(Pending.begin());
      continue;
    }
    if (Pending.size() < length + 2) break;
    uint8_t check = 0;
    for (size_t i = 0; i < length + 2; ++i) check ^= Pending[i];
    if (check != 0 || Pending[2] != FrameAddress) {
      Pending.erase(Pending.begin());
      continue;
    }
    const std::vector<uint8_t> data(Pending.begin() + 4, Pending.begin() + static_cast<long>(length) + 1);
    const uint8_t command = Pending[3];
    Pending.erase(Pending.begin(), Pending.begin() + static_cast<long>(length) + 2);
    // At another rate than the device listens at, the frame is garbage to it.
    if (HostBaud == ListenRate) Take(command, data, last);
  }
  return Answers;
}

void TScriptedFramedDevice::Answer(uint8_t request, uint8_t command, const std::vector<uint8_t>& data,
                                   TClock::Time at) {
  const int occurrence = HeardCount[request] - 1;
  const auto fate = Fates.find({request, occurrence});
  if (fate != Fates.end() && fate->second.Lost) return;
  if (fate != Fates.end()) at += fate->second.Delay;
  // The answer reaches the host whole, when its last byte has arrived (as
  // a USB adapter hands it over).
  const std::vector<uint8_t> frame = MakeFrame(command, data);
  const TClock::Time arrived = at + ByteTime() * static_cast<int64_t>(frame.size());
  for (uint8_t b : frame) Answers.push_back({b, arrived});
  Log.push_back({false, frame, HostBaud, arrived, arrived});
}

uint8_t TScriptedFramedDevice::Status() const {
  if (!IsUnlocked) return 0;
  return BusyPolls > 0 ? DeviceStatus::Unlocked : DeviceStatus::Ready;
}

void TScriptedFramedDevice::Take(uint8_t command, const std::vector<uint8_t>& data, TClock::Time at) {
  Heard.emplace_back(command, data);
  ++HeardCount[command];
  const size_t n = data.size();
  switch (command) {
    case Request::Connect:
      if (n == 0) Answer(command, 0x01, {0x51, 0x70, 0x01}, at);
      break;
    case Request::Revision:
      if (n == 0) Answer(command, 0xE1, {'T', 'R', 'X', ' ', 'B', 'L', ' ', '2', '.', '0'}, at);
      break;
    case Request::SetRate:
      if (n == 4) {
        Answer(command, 0xE3, {0}, at);  // still at the old rate
        ListenRate = static_cast<int32_t>(Le32(data, 0));
      }
      break;
    case Request::Signature:
      if (n == 41) Signature(data, at);
      break;
    case Request::Block:
      Block(data, at);
      break;
    case Request::Poll:
      if (n == 0) {
        std::vector<uint8_t> answer = {Status()};
        PutLe32(answer, BytesWritten);
        if (BusyPolls > 0) --BusyPolls;
        Answer(command, 0xEB, answer, at);
      }
      break;
    case Request::ParameterRead:
      if (n == 2) {
        const std::string value = Table[data[0] | (data[1] << 8)];
        std::vector<uint8_t> answer = {data[0], data[1]};
        for (size_t i = 0; i < ValueField; ++i) answer.push_back(i < value.size() ? static_cast<uint8_t>(value[i]) : 0);
        Answer(command, 0xD3, answer, at);
      }
      break;
    case Request::ParameterWrite:
      if (n == 2 + ValueField) {
        std::string value;
        for (size_t i = 2; i < n && data[i] != 0; ++i) value += static_cast<char>(data[i]);
        Table[data[0] | (data[1] << 8)] = value;
        Answer(command, 0xD1, {data[0], data[1], 0}, at);
      }
      break;
    default:
      break;
  }
}

void TScriptedFramedDevice::Signature(const std::vector<uint8_t>& data, TClock::Time at) {
  uint8_t result = 0;
  if (IsUnlockSignature(data)) {
    Cells.clear();  // a taken unlock signature erases the flash
    IsUnlocked = true;
    BusyPolls = 0;
  } else if (IsClosingSignature(data)) {
    if (!IsUnlocked) {
      result = 2;
    } else if (BusyPolls > 0) {
      result = 3;
    } else {
      ++ClosingCount;
      IsUnlocked = false;
    }
  } else {
    result = 1;
  }
  Answer(Request::Signature, 0xE5, {result}, at);
  if (IsClosingSignature(data) && result != 3) ListenRate = FirstRate;  // locked: back to the boot rate
}

void TScriptedFramedDevice::Block(const std::vector<uint8_t>& data, TClock::Time at) {
  const size_t n = data.size();
  const uint32_t address = n >= 4 ? Le32(data, 0) : 0;
  uint8_t result = 0;
  if (n < 5 || n > 68)
    result = 3;
  else if (!IsUnlocked)
    result = 1;
  else if (address < FlashStart || address + (n - 4) > FlashEnd)
    result = 2;
  else if (BusyPolls > 0)
    result = 4;
  if (result == 0) {
    for (size_t i = 4; i < n; ++i) Cells[address + static_cast<uint32_t>(i - 4)] = data[i];
    BytesWritten += static_cast<uint32_t>(n - 4);
    const auto busy = BusyAfter.find(BlocksWritten++);
    if (busy != BusyAfter.end()) BusyPolls = busy->second;
  }
  std::vector<uint8_t> answer = {result, Status()};
  PutLe32(answer, address);
  Answer(Request::Block, 0xE9, answer, at);
}
