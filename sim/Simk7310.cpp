#include "sim/Simk7310.h"

#include <fstream>
#include <functional>
#include <iterator>

#include "sim/Simframed.h"
#include "sim/Simjson.h"

namespace {

constexpr uint8_t kAck = 0x79;
constexpr uint8_t kNack = 0x1F;
constexpr uint8_t kSync = 0x7F;
constexpr uint8_t kAsleep = 0x16;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kEscAnswer = 0x1A;
constexpr uint32_t kBootWord = 0x424F4F54;  // B O O T
constexpr uint8_t kBootLoaderVersion = 0x22;
const std::vector<uint8_t> kCommandList{0x00, 0x01, 0x02, 0x11, 0x21, 0x31, 0x43};

constexpr size_t kMainSize = 0x80000;
constexpr size_t kOtherSize = 0x10000;

}  // namespace

SimK7310::SimK7310(const SimOptions& options)
    : SimDevice("k7310", options),
      Units{Processor{"main", 0x0414, SimFlash(kFlashBase, kMainSize, 2048), false, {}},
            Processor{"display", 0x0440, SimFlash(kFlashBase, kOtherSize, 1024), false, {}},
            Processor{"lccomm", 0x0440, SimFlash(kFlashBase, kOtherSize, 1024), false, {}},
            Processor{"ethernet", 0x0440, SimFlash(kFlashBase, kOtherSize, 1024), false, {}}},
      Asleep(!options.Awake) {}

const char* SimK7310::UnitName(int unit) {
  static const char* const kNames[kUnits] = {"main", "display", "lccomm", "ethernet"};
  return unit >= 0 && unit < kUnits ? kNames[unit] : "";
}

size_t SimK7310::FlashSize(int unit) { return unit == Main ? kMainSize : kOtherSize; }

bool SimK7310::Prepare(std::string& error) {
  if (Options.ImageFile.empty()) return true;
  std::ifstream in(Options.ImageFile, std::ios::binary);
  if (!in) {
    error = "Could not open the flash image " + Options.ImageFile;
    return false;
  }
  std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The four parts back to back, as they lie from 0x08000000 in a total image.
  size_t total = kMainSize + 3 * kOtherSize;
  if (image.size() > total) {
    error = "The flash image " + Options.ImageFile + " is larger than the four flash memories (704 KiB)";
    return false;
  }
  size_t at = 0;
  std::lock_guard<std::mutex> guard(Lock);
  for (Processor& unit : Units) {
    size_t size = unit.Memory.Size();
    if (at < image.size()) {
      auto from = image.begin() + static_cast<ptrdiff_t>(at);
      auto to = image.begin() + static_cast<ptrdiff_t>(std::min(image.size(), at + size));
      unit.Memory.Load(std::vector<uint8_t>(from, to));
    }
    at += size;
  }
  return true;
}

void SimK7310::Serve() {
  for (;;) {
    uint8_t byte;
    bool got = ReadByte(byte, 50);
    // Silence on a routed line hands it back to the main processor.
    if (Routed != Main && Options.RouteFallbackMs > 0) {
      auto limit = std::chrono::milliseconds(Options.RouteFallbackMs);
      if ((got ? SilenceBeforeLastByte() : SilenceNow()) >= limit) FallBack();
    }
    if (!got) continue;
    Processor& unit = Units[Routed];
    if (unit.InSession) {
      Command(unit, byte);
    } else if (Routed == Main) {
      MainApplication(byte);
    } else {
      RoutedApplication(unit, byte);
    }
  }
}

void SimK7310::FallBack() {
  std::lock_guard<std::mutex> guard(Lock);
  Routed = Main;
  ++FallbackCount;
}

void SimK7310::MainApplication(uint8_t byte) {
  BootWindow = (BootWindow << 8) | byte;
  if (BootWindow == kBootWord && Asleep) {
    std::lock_guard<std::mutex> guard(Lock);
    Asleep = false;
    ++WakeCount;
    return;
  }
  switch (byte) {
    case kSync:
      if (Asleep) {
        {
          std::lock_guard<std::mutex> guard(Lock);
          ++SleepCount;
        }
        Answer({kAsleep}, "main: 0x16 to 0x7F");
      } else {
        OpenSession(Units[Main]);
      }
      break;
    case 0x11:
    case 0x12:
    case 0x13: {
      {
        std::lock_guard<std::mutex> guard(Lock);
        Routed = byte - 0x10;
      }
      Answer({byte}, std::string("route echo to ") + UnitName(byte - 0x10));
      break;
    }
    case kEsc: {
      {
        std::lock_guard<std::mutex> guard(Lock);
        Asleep = true;
        ++RebootCount;
      }
      Answer({kEscAnswer}, "main: 0x1A to ESC");
      break;
    }
    default:
      break;  // the application has no use for other bytes
  }
}

void SimK7310::RoutedApplication(Processor& unit, uint8_t byte) {
  if (byte == kSync) OpenSession(unit);
}

void SimK7310::OpenSession(Processor& unit) {
  {
    std::lock_guard<std::mutex> guard(Lock);
    unit.InSession = true;
    ++unit.Counts.Connects;
    Order.push_back(unit.Name);
  }
  // A NACK fault here still opens the session: a part that is already
  // synchronised answers 0x1F too.
  Acknowledge(unit.Name + ": connect ACK");
}

bool SimK7310::Acknowledge(const std::string& what, const std::function<void()>& effect) {
  if (Faults().Roll(SimFault::Nack, what, Traffic())) {
    Answer({kNack}, what);
    return false;
  }
  if (effect) effect();
  uint8_t ack = kAck;
  if (Faults().Roll(SimFault::Corrupt, what, Traffic())) ack ^= static_cast<uint8_t>(1 + Faults().Below(SimFault::Corrupt, 255));
  Answer({ack}, what);
  return true;
}

void SimK7310::Reject(Processor& unit, const std::string& what) {
  {
    std::lock_guard<std::mutex> guard(Lock);
    ++unit.Counts.Rejected;
  }
  Answer({kNack}, what);
}

bool SimK7310::CommandByte(uint8_t& byte) {
  if (ReadByte(byte, CommandTimeout())) return true;
  std::lock_guard<std::mutex> guard(Lock);
  ++AbandonedCount;
  return false;
}

bool SimK7310::ReadAddress(Processor& unit, uint32_t& address, bool& valid) {
  uint8_t bytes[5];
  for (uint8_t& b : bytes) {
    if (!CommandByte(b)) return false;
  }
  address = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  uint8_t check = bytes[0] ^ bytes[1] ^ bytes[2] ^ bytes[3];
  valid = check == bytes[4] && unit.Memory.Contains(address, 1);
  return true;
}

void SimK7310::Command(Processor& unit, uint8_t code) {
  if (code == kSync) {
    // Already synchronised: not a new connect.
    Answer({kNack}, unit.Name + ": 0x7F in a session");
    return;
  }
  uint8_t complement;
  if (!CommandByte(complement)) return;
  CommandArrived(unit.Name + ": command " + SimHexKey(code));
  if ((code ^ complement) != 0xFF) {
    Reject(unit, unit.Name + ": bad command complement");
    return;
  }
  {
    std::lock_guard<std::mutex> guard(Lock);
    ++unit.Counts.Commands[code];
  }
  switch (code) {
    case 0x00: Get(unit); break;
    case 0x01: GetVersion(unit); break;
    case 0x02: GetId(unit); break;
    case 0x11: ReadMemory(unit); break;
    case 0x21: Go(unit); break;
    case 0x31: WriteMemory(unit); break;
    case 0x43: Erase(unit); break;
    default: Reject(unit, unit.Name + ": unknown command " + SimHexKey(code)); break;
  }
}

void SimK7310::Get(Processor& unit) {
  if (!Acknowledge(unit.Name + ": Get ACK")) return;
  std::vector<uint8_t> answer{static_cast<uint8_t>(kCommandList.size()), kBootLoaderVersion};
  answer.insert(answer.end(), kCommandList.begin(), kCommandList.end());
  answer.push_back(kAck);
  Answer(answer, unit.Name + ": Get data");
}

void SimK7310::GetVersion(Processor& unit) {
  if (!Acknowledge(unit.Name + ": Get Version ACK")) return;
  Answer({kBootLoaderVersion, 0x00, 0x00, kAck}, unit.Name + ": Get Version data");
}

void SimK7310::GetId(Processor& unit) {
  if (!Acknowledge(unit.Name + ": Get ID ACK")) return;
  Answer({0x01, static_cast<uint8_t>(unit.ProductId >> 8), static_cast<uint8_t>(unit.ProductId & 0xFF), kAck},
         unit.Name + ": Get ID data");
}

void SimK7310::ReadMemory(Processor& unit) {
  const std::string& name = unit.Name;
  if (!Acknowledge(name + ": read command ACK")) return;
  uint32_t address = 0;
  bool valid = false;
  if (!ReadAddress(unit, address, valid)) return;
  if (!valid) return Reject(unit, name + ": read address");
  if (!Acknowledge(name + ": read address ACK")) return;
  uint8_t length, complement;
  if (!CommandByte(length) || !CommandByte(complement)) return;
  size_t count = size_t{length} + 1;
  if ((length ^ complement) != 0xFF || !unit.Memory.Contains(address, count)) return Reject(unit, name + ": read length");
  if (!Acknowledge(name + ": read length ACK")) return;
  std::vector<uint8_t> data = unit.Memory.Read(address, count);
  {
    std::lock_guard<std::mutex> guard(Lock);
    ++unit.Counts.Reads;
    unit.Counts.BytesRead += static_cast<int>(count);
  }
  std::string what = name + ": read data";
  if (Faults().Roll(SimFault::Bitflip, what, Traffic())) {
    size_t at = Faults().Below(SimFault::Bitflip, count);
    data[at] ^= static_cast<uint8_t>(1u << Faults().Below(SimFault::Bitflip, 8));
  }
  Answer(data, what);
}

void SimK7310::Go(Processor& unit) {
  const std::string& name = unit.Name;
  if (!Acknowledge(name + ": Go command ACK")) return;
  uint32_t address = 0;
  bool valid = false;
  if (!ReadAddress(unit, address, valid)) return;
  if (!valid) return Reject(unit, name + ": Go address");
  Acknowledge(name + ": Go address ACK", [&] {
    std::lock_guard<std::mutex> guard(Lock);
    ++unit.Counts.Gos;
    unit.InSession = false;
    if (&unit == &Units[Main]) {
      Asleep = true;  // the new application runs and has not been told B O O T
    } else {
      Routed = Main;
    }
  });
}

void SimK7310::WriteMemory(Processor& unit) {
  const std::string& name = unit.Name;
  if (!Acknowledge(name + ": write command ACK")) return;
  uint32_t address = 0;
  bool valid = false;
  if (!ReadAddress(unit, address, valid)) return;
  if (!valid) return Reject(unit, name + ": write address");
  if (!Acknowledge(name + ": write address ACK")) return;
  uint8_t length;
  if (!CommandByte(length)) return;
  size_t count = size_t{length} + 1;
  std::vector<uint8_t> data(count);
  uint8_t check = length;
  for (uint8_t& b : data) {
    if (!CommandByte(b)) return;
    check ^= b;
  }
  uint8_t sent;
  if (!CommandByte(sent)) return;
  if (sent != check || !unit.Memory.Contains(address, count)) return Reject(unit, name + ": write data");
  Acknowledge(name + ": write data ACK", [&] {
    std::lock_guard<std::mutex> guard(Lock);
    unit.Memory.Program(address, data.data(), count);
    ++unit.Counts.Writes;
    unit.Counts.BytesWritten += static_cast<int>(count);
  });
}

void SimK7310::Erase(Processor& unit) {
  const std::string& name = unit.Name;
  if (!Acknowledge(name + ": erase command ACK")) return;
  uint8_t count;
  if (!CommandByte(count)) return;
  std::vector<size_t> pages;
  if (count == 0xFF) {
    uint8_t check;
    if (!CommandByte(check)) return;
    if (check != 0x00) return Reject(unit, name + ": global erase checksum");
    for (size_t page = 0; page < unit.Memory.PageCount(); ++page) pages.push_back(page);
  } else {
    uint8_t check = count;
    bool inside = true;
    for (int i = 0; i <= count; ++i) {
      uint8_t page;
      if (!CommandByte(page)) return;
      check ^= page;
      inside = inside && page < unit.Memory.PageCount();
      pages.push_back(page);
    }
    uint8_t sent;
    if (!CommandByte(sent)) return;
    if (sent != check || !inside) return Reject(unit, name + ": erase page list");
  }
  Acknowledge(name + ": erase pages ACK", [&] {
    std::lock_guard<std::mutex> guard(Lock);
    for (size_t page : pages) unit.Memory.ErasePage(page);
    ++unit.Counts.EraseCommands;
    unit.Counts.PagesErased += static_cast<int>(pages.size());
  });
}

std::vector<uint8_t> SimK7310::Flash(int unit) const {
  std::lock_guard<std::mutex> guard(Lock);
  return unit >= 0 && unit < kUnits ? Units[unit].Memory.Bytes() : std::vector<uint8_t>{};
}

SimK7310Counts SimK7310::Counts(int unit) const {
  std::lock_guard<std::mutex> guard(Lock);
  return unit >= 0 && unit < kUnits ? Units[unit].Counts : SimK7310Counts{};
}

std::vector<std::string> SimK7310::ConnectOrder() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Order;
}

int SimK7310::Route() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Routed;
}

bool SimK7310::MainAsleep() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Asleep;
}

int SimK7310::SleepReplies() const {
  std::lock_guard<std::mutex> guard(Lock);
  return SleepCount;
}

int SimK7310::Wakeups() const {
  std::lock_guard<std::mutex> guard(Lock);
  return WakeCount;
}

int SimK7310::Reboots() const {
  std::lock_guard<std::mutex> guard(Lock);
  return RebootCount;
}

int SimK7310::RouteFallbacks() const {
  std::lock_guard<std::mutex> guard(Lock);
  return FallbackCount;
}

int SimK7310::Abandoned() const {
  std::lock_guard<std::mutex> guard(Lock);
  return AbandonedCount;
}

void SimK7310::SummaryFields(SimJson& json) const {
  json.Field("route", UnitName(Routed));
  json.Field("main_asleep", Asleep);
  json.Field("connect_order", Order);
  json.Field("sleep_replies", SleepCount);
  json.Field("wakeups", WakeCount);
  json.Field("reboots", RebootCount);
  json.Field("route_fallbacks", FallbackCount);
  json.Field("abandoned_commands", AbandonedCount);
  json.Key("processors").BeginObject();
  for (const Processor& unit : Units) {
    const SimK7310Counts& c = unit.Counts;
    json.Key(unit.Name).BeginObject();
    json.Field("connects", c.Connects);
    json.Key("commands").BeginObject();
    for (const auto& [code, count] : c.Commands) json.Field(SimHexKey(code), count);
    json.EndObject();
    json.Field("rejected", c.Rejected);
    json.Field("erase_commands", c.EraseCommands);
    json.Field("pages_erased", c.PagesErased);
    json.Field("writes", c.Writes);
    json.Field("bytes_written", c.BytesWritten);
    json.Field("reads", c.Reads);
    json.Field("bytes_read", c.BytesRead);
    json.Field("gos", c.Gos);
    json.Field("in_session", unit.InSession);
    json.EndObject();
  }
  json.EndObject();
}

bool SimK7310::DumpFiles(const std::string& dir, std::string& error) const {
  for (const Processor& unit : Units) {
    if (!WriteDumpFile(dir, unit.Name + ".bin", unit.Memory.Bytes(), error)) return false;
  }
  return true;
}
