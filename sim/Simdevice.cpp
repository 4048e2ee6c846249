#include "sim/Simdevice.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "sim/Simjson.h"

namespace {

using Clock = std::chrono::steady_clock;

// The device thread looks at the stop request and the line settings at
// least this often.
constexpr int kSliceMs = 10;

bool WriteFile(const std::filesystem::path& path, const std::string& bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error = "Could not write " + path.string();
    return false;
  }
  return true;
}

}  // namespace

SimDevice::SimDevice(std::string kind, const SimOptions& options)
    : Options(options), KindName(std::move(kind)), FaultSet(options.Seed, options.Faults) {}

SimDevice::~SimDevice() { Stop(); }

bool SimDevice::Prepare(std::string&) { return true; }

bool SimDevice::Start(std::string& error) {
  if (Running || Thread.joinable()) {
    error = "The simulator is already running";
    return false;
  }
  if (!Prepare(error)) return false;
  Pty.SetPacing(Options.Pace);
  Pty.SetAssumedParity(Options.AssumedParity);
  if (!Pty.Open(error)) return false;
  LastByteTime = Clock::now();
  StopRequested = false;
  Running = true;
  Thread = std::thread([this] { Run(); });
  return true;
}

void SimDevice::Stop() {
  StopRequested = true;
  if (Thread.joinable()) Thread.join();
}

void SimDevice::Run() {
  try {
    Serve();
  } catch (const LineEnded&) {
  } catch (const std::exception& e) {
    std::lock_guard<std::mutex> guard(Lock);
    ServeError = e.what();
  }
  Pty.Close();
  Running = false;
}

void SimDevice::CheckStop() {
  if (StopRequested) throw LineEnded{};
}

void SimDevice::SampleLine() {
  if (!RecordingRates) {
    // Before the host has opened and set up its port the pty shows only
    // the simulator's own defaults.
    RecordingRates = Traffic() > 0 || Pty.SettingsChanged();
    if (!RecordingRates) return;
  }
  int baud = Pty.LineSettings().BaudRate;
  std::lock_guard<std::mutex> guard(Lock);
  if (Rates.empty() || Rates.back() != baud) Rates.push_back(baud);
}

void SimDevice::Hangup(const std::string& why) {
  FaultSet.Record(SimFault::Disconnect, why, Traffic());
  HungUp = true;
  Pty.Close();
  throw LineEnded{};
}

bool SimDevice::ReadByte(uint8_t& byte, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  while (PendingAt >= Pending.size()) {
    CheckStop();
    int slice = kSliceMs;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        SampleLine();
        return false;
      }
      slice = static_cast<int>(std::min<long long>(left, kSliceMs));
    }
    uint8_t chunk[256];
    int got = Pty.Read(chunk, sizeof chunk, slice);
    if (got < 0) throw LineEnded{};
    SampleLine();
    if (got == 0) continue;
    size_t take = static_cast<size_t>(got);
    bool cut = false;
    if (Options.DisconnectAfterBytes >= 0) {
      uint64_t room = static_cast<uint64_t>(Options.DisconnectAfterBytes) - std::min<uint64_t>(Traffic(), Options.DisconnectAfterBytes);
      if (take >= room) {
        take = static_cast<size_t>(room);
        cut = true;
      }
    }
    Pending.assign(chunk, chunk + take);
    PendingAt = 0;
    PendingTime = Clock::now();
    TrafficCount += take;
    {
      std::lock_guard<std::mutex> guard(Lock);
      ReceivedBytes.insert(ReceivedBytes.end(), chunk, chunk + take);
    }
    if (cut) Hangup("after " + std::to_string(Options.DisconnectAfterBytes) + " bytes");
    SampleLine();
  }
  byte = Pending[PendingAt++];
  // Bytes read together with this one may have come before an answer the
  // device sent since: the line was busy then, not silent.
  LastGap = PendingTime - LastByteTime;
  if (LastGap.count() < 0) LastGap = {};
  LastByteTime = std::max(LastByteTime, PendingTime);
  return true;
}

Clock::duration SimDevice::SilenceNow() const { return Clock::now() - LastByteTime; }

void SimDevice::Send(const std::vector<uint8_t>& bytes) {
  CheckStop();
  size_t count = bytes.size();
  bool cut = false;
  if (Options.DisconnectAfterBytes >= 0) {
    uint64_t room = static_cast<uint64_t>(Options.DisconnectAfterBytes) - std::min<uint64_t>(Traffic(), Options.DisconnectAfterBytes);
    if (count >= room) {
      count = static_cast<size_t>(room);
      cut = true;
    }
  }
  size_t written = count ? Pty.Write(bytes.data(), count) : 0;
  // The device's own bytes keep the line busy as much as the host's: the
  // silence that ends a route counts from whichever came last. (A paced
  // write returns once its last byte is on the line.)
  if (written > 0) LastByteTime = std::max(LastByteTime, Clock::now());
  TrafficCount += written;
  {
    std::lock_guard<std::mutex> guard(Lock);
    SentBytes.insert(SentBytes.end(), bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(written));
    LostBytes += count - written;
  }
  if (cut) Hangup("after " + std::to_string(Options.DisconnectAfterBytes) + " bytes");
  if (!Pty.IsOpen()) throw LineEnded{};
}

void SimDevice::Answer(std::vector<uint8_t> bytes, const std::string& what) {
  if (FaultSet.Roll(SimFault::Drop, what, Traffic())) return;
  if (FaultSet.Roll(SimFault::Noise, what, Traffic())) {
    // 1 to 4 bytes from 0x80..0xFE: none of them is a start, reply or
    // route byte of any of the protocols, so noise is never mistaken for
    // an answer.
    size_t count = 1 + FaultSet.Below(SimFault::Noise, 4);
    std::vector<uint8_t> noise;
    for (size_t i = 0; i < count; ++i) noise.push_back(static_cast<uint8_t>(0x80 + FaultSet.Below(SimFault::Noise, 0x7F)));
    bytes.insert(bytes.begin(), noise.begin(), noise.end());
  }
  if (bytes.size() > 1 && FaultSet.Roll(SimFault::Split, what, Traffic())) {
    size_t pieces = std::min<size_t>(bytes.size(), 2 + FaultSet.Below(SimFault::Split, 3));
    size_t at = 0;
    for (size_t i = 0; i < pieces; ++i) {
      size_t left = bytes.size() - at;
      size_t size = (i + 1 == pieces) ? left : 1 + FaultSet.Below(SimFault::Split, left - (pieces - i - 1));
      Send(std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(at + size)));
      at += size;
      if (i + 1 < pieces) Pause(1 + static_cast<int>(FaultSet.Below(SimFault::Split, 8)));
    }
    return;
  }
  Send(bytes);
}

void SimDevice::Pause(int ms) {
  auto until = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    CheckStop();
    SampleLine();
    auto now = Clock::now();
    if (now >= until) return;
    std::this_thread::sleep_for(std::min<Clock::duration>(until - now, std::chrono::milliseconds(kSliceMs)));
  }
}

void SimDevice::CommandArrived(const std::string& what) {
  if (FaultSet.Roll(SimFault::Disconnect, what, Traffic())) {
    HungUp = true;
    Pty.Close();
    throw LineEnded{};
  }
}

std::vector<uint8_t> SimDevice::Sent() const {
  std::lock_guard<std::mutex> guard(Lock);
  return SentBytes;
}

std::vector<uint8_t> SimDevice::Received() const {
  std::lock_guard<std::mutex> guard(Lock);
  return ReceivedBytes;
}

uint64_t SimDevice::BytesLost() const {
  std::lock_guard<std::mutex> guard(Lock);
  return LostBytes;
}

std::vector<int> SimDevice::BaudRates() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Rates;
}

std::string SimDevice::SummaryJson() const {
  std::lock_guard<std::mutex> guard(Lock);
  SimJson json;
  json.BeginObject();
  json.Field("kind", KindName);
  json.Field("seed", Options.Seed);
  json.Field("port", Pty.SlavePath());
  json.Field("bytes_received", static_cast<uint64_t>(ReceivedBytes.size()));
  json.Field("bytes_sent", static_cast<uint64_t>(SentBytes.size()));
  json.Field("bytes_lost", LostBytes);
  json.Field("baud_rates", Rates);
  json.Field("disconnected", static_cast<bool>(HungUp));
  if (!ServeError.empty()) json.Field("error", ServeError);
  json.Key("faults").BeginObject();
  for (int i = 0; i < kSimFaultKinds; ++i) {
    auto fault = static_cast<SimFault>(i);
    const SimFaultSetting& setting = FaultSet.Setting(fault);
    json.Key(SimFaultName(fault)).BeginObject();
    json.Field("rate", setting.Rate);
    json.Field("limit", setting.Limit);
    json.Field("opportunities", FaultSet.Opportunities(fault));
    json.Field("injected", FaultSet.Count(fault));
    json.EndObject();
  }
  json.EndObject();
  if (Options.DisconnectAfterBytes >= 0) json.Field("disconnect_after_bytes", static_cast<int64_t>(Options.DisconnectAfterBytes));
  json.Key("fault_events").BeginArray();
  for (const SimFaultEvent& event : FaultSet.Events()) {
    json.BeginObject();
    json.Field("fault", SimFaultName(event.Fault));
    json.Field("where", event.Where);
    json.Field("at_byte", event.AtByte);
    json.EndObject();
  }
  json.EndArray();
  SummaryFields(json);
  json.EndObject();
  return json.Text();
}

bool SimDevice::WriteDumpFile(const std::string& dir, const std::string& name,
                              const std::vector<uint8_t>& bytes, std::string& error) {
  return WriteFile(std::filesystem::path(dir) / name, std::string(bytes.begin(), bytes.end()), error);
}

bool SimDevice::Dump(const std::string& dir, std::string& error) const {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    error = "Could not create the dump folder " + dir + ": " + ec.message();
    return false;
  }
  std::filesystem::path base(dir);
  std::vector<uint8_t> sent = Sent();
  if (!WriteFile(base / "sent.bin", std::string(sent.begin(), sent.end()), error)) return false;
  if (!WriteFile(base / "summary.json", SummaryJson(), error)) return false;
  std::lock_guard<std::mutex> guard(Lock);
  return DumpFiles(dir, error);
}
