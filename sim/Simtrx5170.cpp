#include "sim/Simtrx5170.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "sim/Simjson.h"

namespace {

// The unlock signature: eight command cycles of address and byte.
struct UnlockCycle {
  uint32_t Address;
  uint8_t Byte;
};
constexpr UnlockCycle kUnlock[8] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80}, {0x5555, 0xAA},
                                    {0x2AAA, 0x55}, {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xA0}};

bool IsUnlockSignature(const std::vector<uint8_t>& data) {
  for (int i = 0; i < 8; ++i) {
    if (SimLittleEndian(data, 5 * i, 4) != kUnlock[i].Address || data[5 * i + 4] != kUnlock[i].Byte) return false;
  }
  return data[40] == 0;
}

bool IsClosingSignature(const std::vector<uint8_t>& data) {
  return std::all_of(data.begin(), data.begin() + 40, [](uint8_t b) { return b == 0; }) && data[40] == 1;
}

bool RateSupported(uint32_t rate) {
  static const uint32_t kRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400};
  return std::find(std::begin(kRates), std::end(kRates), rate) != std::end(kRates);
}

constexpr uint8_t kTakesBlock = 0x08;
constexpr uint8_t kTakesClosing = 0x04;
constexpr uint8_t kUnlockedBit = 0x01;

}  // namespace

SimTrx5170::SimTrx5170(const SimOptions& options)
    : SimFramedDevice("trx5170l", options),
      BusyStream(options.Seed ^ 0x5170517051705170ULL),
      Memory(kFlashBase, kFlashSize, kFlashSize) {}

bool SimTrx5170::Prepare(std::string& error) {
  LastGoodFrame = std::chrono::steady_clock::now();
  if (Options.ImageFile.empty()) return true;
  std::ifstream in(Options.ImageFile, std::ios::binary);
  if (!in) {
    error = "Could not open the flash image " + Options.ImageFile;
    return false;
  }
  std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (image.size() > kFlashSize) {
    error = "The flash image " + Options.ImageFile + " is larger than the 128 KiB flash";
    return false;
  }
  Memory.Load(image);
  return true;
}

uint8_t SimTrx5170::Status() const {
  if (!IsUnlocked) return 0;
  return Busy > 0 ? kUnlockedBit : static_cast<uint8_t>(kUnlockedBit | kTakesBlock | kTakesClosing);
}

void SimTrx5170::BackToBootRate() {
  std::lock_guard<std::mutex> guard(Lock);
  IsUnlocked = false;
  Expected = kBootRate;
}

void SimTrx5170::Idle() {
  int limit = Options.SessionTimeoutMs;
  if (limit <= 0 || (!IsUnlocked && Expected == kBootRate)) return;
  if (std::chrono::steady_clock::now() - LastGoodFrame < std::chrono::milliseconds(limit)) return;
  BackToBootRate();
  std::lock_guard<std::mutex> guard(Lock);
  ++SessionTimeouts;
}

void SimTrx5170::HandleFrame(const SimFrame& frame) {
  int rate = HostBaudRate();
  bool accepted = rate == Expected;
  {
    std::lock_guard<std::mutex> guard(Lock);
    FrameLog.push_back({frame.Command, rate, accepted});
    if (!accepted) ++MismatchCount;
  }
  // At another rate than the device listens at the frame is garbage to it.
  if (!accepted) return;
  LastGoodFrame = std::chrono::steady_clock::now();
  size_t n = frame.Data.size();
  switch (frame.Command) {
    case 0x00:
      if (n == 0) AnswerFrame(0x01, {0x51, 0x70, 0x01}, "connect answer");
      break;
    case 0xE0:
      if (n == 0) {
        const char* revision = "5170L V1.3";
        AnswerFrame(0xE1, std::vector<uint8_t>(revision, revision + 10), "revision answer");
      }
      break;
    case 0xE2:
      if (n == 4) {
        uint32_t requested = SimLittleEndian(frame.Data, 0, 4);
        bool taken = RateSupported(requested);
        // The device listens at the new rate from the next frame on (its
        // answer travels at the rate the host still has).
        if (taken) {
          std::lock_guard<std::mutex> guard(Lock);
          Expected = static_cast<int>(requested);
        }
        AnswerFrame(0xE3, {static_cast<uint8_t>(taken ? 0 : 1)}, "rate answer");
      }
      break;
    case 0xE4:
      if (n == 41) Signature(frame);
      break;
    case 0xEA:
      if (n == 0) {
        uint8_t status = Status();
        if (Busy > 0) {
          --Busy;
          std::lock_guard<std::mutex> guard(Lock);
          ++BusyCount;
        }
        std::vector<uint8_t> data{status};
        SimAppendLittleEndian(data, BytesProgrammed, 4);
        AnswerFrame(0xEB, data, "status answer");
      }
      break;
    case 0xE8:
      Block(frame);
      break;
    default:
      break;
  }
}

void SimTrx5170::Signature(const SimFrame& frame) {
  uint8_t result = 0;
  bool closing = false;
  if (IsUnlockSignature(frame.Data)) {
    std::lock_guard<std::mutex> guard(Lock);
    Memory.EraseAll();
    IsUnlocked = true;
    Busy = 0;
    ++UnlockCount;
  } else if (IsClosingSignature(frame.Data)) {
    if (!IsUnlocked) {
      result = 2;
    } else if (Busy > 0) {
      result = 3;  // not taken: the device still writes
    } else {
      std::lock_guard<std::mutex> guard(Lock);
      ++ClosingCount;
    }
    closing = result != 3;
  } else {
    std::lock_guard<std::mutex> guard(Lock);
    ++BadSignatureCount;
    result = 1;
  }
  if (closing) BackToBootRate();
  AnswerFrame(0xE5, {result}, closing ? "closing answer" : "signature answer");
}

void SimTrx5170::Block(const SimFrame& frame) {
  size_t n = frame.Data.size();
  uint32_t address = SimLittleEndian(frame.Data, 0, 4);
  uint8_t result = 0;
  if (n < 5 || n > 68) {
    result = 3;
  } else if (!IsUnlocked) {
    result = 1;
  } else if (!Memory.Contains(address, n - 4)) {
    result = 2;
  } else if (Busy > 0) {
    result = 4;
  }
  {
    std::lock_guard<std::mutex> guard(Lock);
    if (result == 0) {
      Memory.Program(address, frame.Data.data() + 4, n - 4);
      ++BlockCount;
      BytesProgrammed += static_cast<uint32_t>(n - 4);
    } else {
      ++RejectedCount;
    }
  }
  if (result == 0 && Options.BusyPolls > 0) {
    Busy = static_cast<int>(std::uniform_int_distribution<int>(0, Options.BusyPolls)(BusyStream));
  }
  uint8_t status = Status();
  if (Busy > 0) {
    std::lock_guard<std::mutex> guard(Lock);
    ++BusyCount;
  }
  std::vector<uint8_t> data{result, status};
  SimAppendLittleEndian(data, address, 4);
  AnswerFrame(0xE9, data, "block answer");
}

std::vector<uint8_t> SimTrx5170::Flash() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Memory.Bytes();
}

std::vector<SimFrameRecord> SimTrx5170::Frames() const {
  std::lock_guard<std::mutex> guard(Lock);
  return FrameLog;
}

bool SimTrx5170::Unlocked() const {
  std::lock_guard<std::mutex> guard(Lock);
  return IsUnlocked;
}

int SimTrx5170::ExpectedRate() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Expected;
}

int SimTrx5170::Unlocks() const {
  std::lock_guard<std::mutex> guard(Lock);
  return UnlockCount;
}

int SimTrx5170::Closings() const {
  std::lock_guard<std::mutex> guard(Lock);
  return ClosingCount;
}

int SimTrx5170::BadSignatures() const {
  std::lock_guard<std::mutex> guard(Lock);
  return BadSignatureCount;
}

int SimTrx5170::BlocksWritten() const {
  std::lock_guard<std::mutex> guard(Lock);
  return BlockCount;
}

int SimTrx5170::BlocksRejected() const {
  std::lock_guard<std::mutex> guard(Lock);
  return RejectedCount;
}

int SimTrx5170::BusyReports() const {
  std::lock_guard<std::mutex> guard(Lock);
  return BusyCount;
}

int SimTrx5170::RateMismatches() const {
  std::lock_guard<std::mutex> guard(Lock);
  return MismatchCount;
}

void SimTrx5170::SummaryFields(SimJson& json) const {
  FrameSummary(json);
  json.Field("unlocked", IsUnlocked);
  json.Field("listening_rate", Expected);
  json.Field("unlocks", UnlockCount);
  json.Field("closings", ClosingCount);
  json.Field("bad_signatures", BadSignatureCount);
  json.Field("blocks_written", BlockCount);
  json.Field("blocks_rejected", RejectedCount);
  json.Field("bytes_programmed", static_cast<uint64_t>(BytesProgrammed));
  json.Field("busy_reports", BusyCount);
  json.Field("rate_mismatches", MismatchCount);
  json.Field("session_timeouts", SessionTimeouts);
  json.Key("frames").BeginArray();
  for (const SimFrameRecord& record : FrameLog) {
    json.BeginObject();
    json.Field("command", SimHexKey(record.Command));
    json.Field("baud", record.BaudRate);
    json.Field("accepted", record.Accepted);
    json.EndObject();
  }
  json.EndArray();
}

bool SimTrx5170::DumpFiles(const std::string& dir, std::string& error) const {
  return WriteDumpFile(dir, "flash.bin", Memory.Bytes(), error);
}
