// The TRX5170L firmware download at line rate: a full 128 KiB image
// (0x000E0000..0x000FFFFF, random data, checksum stamped) through model,
// worker thread and channel to the simulated boot loader on a
// pseudo-terminal, 57600 baud 8E1 after the connect at 1200 baud, with the
// simulator carrying bytes no faster than the line would (11 bits a byte).
//
// The wall time from the start command to "Download done. Ready for new
// download" is set against the wire time of every frame of both directions,
// each at the rate it travelled at. The device's status polls (it is busy for
// a seeded 0..2 polls after a block) are part of the protocol and counted in
// the wire time; a second ratio leaves their bytes out. The run ends with the
// device's flash compared to the stamped image.
//
// Usage: bench_trx5170
#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/support/Benchhost.h"
#include "comm/Commthrd.h"
#include "comm/Portmap.h"
#include "core/Controller.h"
#include "core/Model.h"
#include "sim/Simtrx5170.h"
#include "tests/support/Hexwriter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int BaudRate = 57600;
constexpr int BitsPerByte = 11;  // start, 8 data, even parity, stop
constexpr uint32_t ImageStart = 0xE0000;
constexpr size_t ImageSize = 0x20000;
constexpr uint8_t PollCommand = 0xEA;
constexpr uint8_t BlockCommand = 0xE8;
constexpr int PortNumber = 7;
const char* const DoneText = "Download done. Ready for new download";  // for the report only

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct WireFrame {
  uint8_t Command;
  size_t Bytes;
};

// Splits a byte stream into frames (0x02, L, address, command, L - 3 data
// bytes, check). False when the stream holds anything else.
bool SplitFrames(const std::vector<uint8_t>& bytes, std::vector<WireFrame>& frames) {
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes[at] != 0x02 || at + 4 > bytes.size()) return false;
    const size_t length = size_t{bytes[at + 1]} + 2;
    if (at + length > bytes.size()) return false;
    frames.push_back({bytes[at + 3], length});
    at += length;
  }
  return true;
}

// Wire time of both directions, and the part of it the status polls take.
struct Wire {
  double All = 0;
  double Polls = 0;
  double Transfer = 0;  // blocks and polls, at the fast rate
  int PollCount = 0;
  int BlockCount = 0;
};

// Every answer travels at the rate of the request it answers (the rate answer
// too: the host switches only after it); the rate of each request is the one
// the simulator saw it arrive at.
bool WireTime(const SimTrx5170& sim, Wire& wire, std::string& problem) {
  std::vector<WireFrame> requests, answers;
  if (!SplitFrames(sim.Received(), requests) || !SplitFrames(sim.Sent(), answers)) {
    problem = "the line carried bytes outside frames";
    return false;
  }
  const std::vector<SimFrameRecord> log = sim.Frames();
  if (log.size() != requests.size()) {
    problem = "the simulator logged " + std::to_string(log.size()) + " frames of " +
              std::to_string(requests.size()) + " sent";
    return false;
  }
  std::map<int, std::deque<int>> unanswered;  // request command -> rates
  auto add = [&wire](const WireFrame& frame, uint8_t request, int rate) {
    const double seconds = static_cast<double>(frame.Bytes) * BitsPerByte / rate;
    wire.All += seconds;
    if (request == PollCommand) wire.Polls += seconds;
    if (request == PollCommand || request == BlockCommand) wire.Transfer += seconds;
  };
  for (size_t i = 0; i < requests.size(); ++i) {
    add(requests[i], requests[i].Command, log[i].BaudRate);
    unanswered[requests[i].Command].push_back(log[i].BaudRate);
    if (requests[i].Command == PollCommand) ++wire.PollCount;
    if (requests[i].Command == BlockCommand) ++wire.BlockCount;
  }
  for (const WireFrame& answer : answers) {
    const uint8_t request = static_cast<uint8_t>(answer.Command - 1);
    std::deque<int>& rates = unanswered[request];
    if (rates.empty()) {
      problem = "an answer without its request";
      return false;
    }
    add(answer, request, rates.front());
    rates.pop_front();
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);

  std::vector<uint8_t> data(ImageSize);
  std::mt19937_64 random(5170);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  QTemporaryDir dir;
  const std::string hexPath = dir.path().toStdString() + "/trx5170l.hex";
  std::ofstream(hexPath, std::ios::binary) << IntelHex({{ImageStart, data}});
  const std::string ini = dir.path().toStdString() + "/bench.INI";
  std::ofstream(ini, std::ios::binary) << "[CONFIG]\r\nOPERATION=Software Download - TRX5170L\r\n"
                                          "[Software Download - TRX5170L]\r\nBAUDRATE="
                                       << BaudRate << "\r\nPARITY=E\r\n";

  SimOptions options;
  options.Pace = true;
  options.AssumedParity = 'E';
  SimTrx5170 sim(options);
  std::string error;
  if (!sim.Start(error)) {
    std::printf("trx5170: the simulator did not start: %s\n", error.c_str());
    return 1;
  }
  SetComOverrides({{PortNumber, sim.SlavePath()}});

  BenchHost host(ini);
  auto model = std::make_unique<TModel>(host, false);
  host.Model = model.get();
  TController controller(*model);
  host.Config.Connection = 1;
  host.Config.Operation = 2;
  host.Config.Port = PortNumber;
  ApplicationStarted = true;
  model->Restart(host.Config);
  UASwDlFileLoad load;
  load.FileName = hexPath;
  controller.Execute(load);
  // The stamped image as the channel sends it.
  const std::shared_ptr<const HexFile> image = model->SwDl.CurrentImage();

  // Each change of the state text, with the time it came.
  struct Watch {
    TModel* Model = nullptr;
    TEventLoop* Loop = nullptr;
    std::vector<std::pair<CmPhase, Clock::time_point>> Texts;
    bool Done = false;
  } watch;
  watch.Model = model.get();
  watch.Loop = &host.Events();
  auto onText = [](void* self) {
    auto* w = static_cast<Watch*>(self);
    const CmRunStatus& status = w->Model->SwDl.RunStatus();
    w->Texts.emplace_back(status.Phase, Clock::now());
    if (status.CompletedRuns > 0) {
      w->Done = true;
      w->Loop->Quit();
    }
  };
  const int subscription = model->SwDl.StateText.Subscribe(onText, &watch);
  THostTimer limit(host.Loop(), 10 * 60 * 1000, [&] { host.Events().Quit(); });
  limit.Start();

  const auto begin = Clock::now();
  const uint64_t passesBefore = model->CurrentThread()->Passes();
  UASwDlStart start;
  controller.Execute(start);
  host.Events().Run();
  const uint64_t passes = model->CurrentThread()->Passes() - passesBefore;
  const double wall = Seconds((watch.Done ? watch.Texts.back().second : Clock::now()) - begin);
  double transferWall = 0;
  for (size_t i = 0; i + 1 < watch.Texts.size(); ++i)
    if (watch.Texts[i].first == CmPhase::Transferring)
      transferWall += Seconds(watch.Texts[i + 1].second - watch.Texts[i].second);

  model->SwDl.StateText.Unsubscribe(subscription);
  host.CloseRequested = true;
  model->StopCommunication();
  while (model->ThreadRunning()) host.Loop().ProcessPending(5);
  host.Loop().ProcessPending(0);
  model.reset();
  sim.Stop();
  SetComOverrides({});

  const std::vector<uint8_t> flash = sim.Flash();
  bool flashOk = flash.size() == ImageSize;
  for (size_t i = 0; flashOk && i < ImageSize; ++i) {
    const int32_t cell = image->ByteAt(static_cast<int32_t>(ImageStart + i));
    flashOk = flash[i] == (cell < 0 ? 0xFF : cell);
  }
  Wire wire;
  std::string problem;
  if (!watch.Done)
    problem = "no \"" + std::string(DoneText) + "\" within the time limit";
  else if (!host.Errors.empty())
    problem = "the run showed errors: " + host.Errors;
  else if (!flashOk)
    problem = "the device's flash differs from the stamped image";
  else if (sim.BlocksRejected() > 0 || sim.RateMismatches() > 0 || sim.BadFrames() > 0)
    problem = "the device rejected blocks or frames";
  else
    WireTime(sim, wire, problem);
  if (!problem.empty()) {
    std::printf("trx5170: run failed: %s\n", problem.c_str());
    return 1;
  }

  std::printf("trx5170: paced, %d baud 8E1 (connect at 1200), 128 KiB in %d blocks, flash verified: "
              "wire %.2f s, of which %d status polls %.2f s (%d busy reports)\n",
              BaudRate, wire.BlockCount, wire.All, wire.PollCount, wire.Polls, sim.BusyReports());
  std::printf("trx5170: paced: wall %.2f s from start to done, wire/wall %.3f with the polls, "
              "%.3f without them\n",
              wall, wire.All / wall, (wire.All - wire.Polls) / wall);
  std::printf("trx5170: paced: transferring data %.2f s wall / %.2f s wire (%.3f); %llu worker steps, "
              "%.3f ms wall per step\n",
              transferWall, wire.Transfer, wire.Transfer / transferWall, static_cast<unsigned long long>(passes),
              1000.0 * wall / static_cast<double>(passes));
  return 0;
}
