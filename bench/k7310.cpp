// The K7310 firmware download at line rate: a full total image (704 KiB of
// random data for all four processors) through model, worker thread and
// channel to the simulated device on a pseudo-terminal, 115200 baud 8E1.
//
// The paced run has the simulator carry bytes no faster than the line would
// (11 bits a byte); its wall time, from the start command to "Download done.
// Ready for new download", is set against the time the bytes of both
// directions need on the wire (the protocol is half-duplex, so they add up).
// The unpaced run shows what the host side costs per 256-byte block. The slow
// run is paced at 1200 baud 8E1 with a small image (two blocks for the main
// processor, one for the display): there every frame takes seconds on the
// wire, and the host must await each answer from when its frame has left.
// Each run ends with the device's flash compared to the image: the figures of
// a wrong download would mean nothing.
//
// Usage: bench_k7310 [paced|unpaced|slow|both]   (all three by default; both:
// paced and unpaced)
#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/support/Benchhost.h"
#include "comm/Commthrd.h"
#include "comm/Portmap.h"
#include "core/Controller.h"
#include "core/Model.h"
#include "sim/Simk7310.h"
#include "tests/support/Hexwriter.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FastRate = 115200;
constexpr int SlowRate = 1200;
constexpr int BitsPerByte = 11;  // start, 8 data, even parity, stop
constexpr uint32_t FlashBase = 0x08000000;
constexpr int BlockSize = 256;
constexpr int PortNumber = 7;
const char* const DoneText = "Download done. Ready for new download";  // for the report only

double WireSeconds(uint64_t bytes, int baudRate) { return static_cast<double>(bytes) * BitsPerByte / baudRate; }
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The time and wire bytes of one stretch of the run with the same state text.
struct Phase {
  std::string Text;
  Clock::time_point Begin;
  uint64_t BytesAtBegin = 0;
  Clock::duration Wall{};
  uint64_t Bytes = 0;
};

struct RunResult {
  bool Ok = false;
  std::string Problem;
  double Wall = 0;
  uint64_t HostBytes = 0;    // host to device
  uint64_t DeviceBytes = 0;  // device to host
  uint64_t Passes = 0;
  std::vector<Phase> Phases;
  // Summed over the four processors.
  double Writing = 0, WritingWire = 0, Verifying = 0, VerifyingWire = 0;
};

uint64_t LineBytes(const SimK7310& sim) { return sim.Sent().size() + sim.Received().size(); }

RunResult Download(bool paced, int baudRate, const std::string& hexPath, const std::vector<uint8_t>& image,
                   const std::string& folder) {
  RunResult result;
  SimOptions options;
  options.Awake = true;
  options.Pace = paced;
  options.AssumedParity = 'E';
  SimK7310 sim(options);
  std::string error;
  if (!sim.Start(error)) {
    result.Problem = "the simulator did not start: " + error;
    return result;
  }
  SetComOverrides({{PortNumber, sim.SlavePath()}});

  const std::string ini = folder + "/" + std::to_string(baudRate) + (paced ? "paced.INI" : "unpaced.INI");
  std::ofstream(ini, std::ios::binary) << "[CONFIG]\r\nOPERATION=Software Download - K7310\r\n"
                                          "[Software Download - K7310]\r\nBAUDRATE="
                                       << baudRate << "\r\nPARITY=E\r\n";
  BenchHost host(ini);
  auto model = std::make_unique<TModel>(host, false);
  host.Model = model.get();
  TController controller(*model);
  host.Config.Connection = 1;
  host.Config.Operation = 1;
  host.Config.Port = PortNumber;
  ApplicationStarted = true;
  model->Restart(host.Config);

  UASwDlFileLoad load;
  load.FileName = hexPath;
  controller.Execute(load);

  // Every change of the state text closes one phase and opens the next. The
  // worker waits in its hand-over meanwhile, so the byte counts are those of
  // the steps so far.
  struct Watch {
    TModel* Model = nullptr;
    SimK7310* Sim = nullptr;
    RunResult* Result = nullptr;
    TEventLoop* Loop = nullptr;
    Clock::time_point End{};
  } watch;
  watch.Model = model.get();
  watch.Loop = &host.Events();
  watch.Sim = &sim;
  watch.Result = &result;
  auto onText = [](void* self) {
    auto* w = static_cast<Watch*>(self);
    const auto now = Clock::now();
    const uint64_t bytes = LineBytes(*w->Sim);
    std::vector<Phase>& phases = w->Result->Phases;
    if (!phases.empty()) {
      phases.back().Wall = now - phases.back().Begin;
      phases.back().Bytes = bytes - phases.back().BytesAtBegin;
    }
    const std::string text = w->Model->SwDl.StateText.Get();
    phases.push_back({text, now, bytes, {}, 0});
    if (w->Model->SwDl.RunStatus().CompletedRuns > 0) {
      w->End = now;
      w->Loop->Quit();
    }
  };
  const int subscription = model->SwDl.StateText.Subscribe(onText, &watch);

  THostTimer limit(host.Loop(), paced ? 20 * 60 * 1000 : 10 * 60 * 1000, [&] { host.Events().Quit(); });
  limit.Start();

  const auto begin = Clock::now();
  const uint64_t passesBefore = model->CurrentThread()->Passes();
  UASwDlStart start;
  controller.Execute(start);
  host.Events().Run();
  result.Passes = model->CurrentThread()->Passes() - passesBefore;
  const bool done = watch.End != Clock::time_point{};
  result.Wall = Seconds((done ? watch.End : Clock::now()) - begin);

  model->SwDl.StateText.Unsubscribe(subscription);
  host.CloseRequested = true;
  model->StopCommunication();
  while (model->ThreadRunning()) host.Loop().ProcessPending(5);
  host.Loop().ProcessPending(0);
  model.reset();
  sim.Stop();
  SetComOverrides({});

  result.HostBytes = sim.Received().size();
  result.DeviceBytes = sim.Sent().size();
  for (const Phase& phase : result.Phases) {
    if (phase.Text == "Downloading") {
      result.Writing += Seconds(phase.Wall);
      result.WritingWire += WireSeconds(phase.Bytes, baudRate);
    } else if (phase.Text == "Verifying") {
      result.Verifying += Seconds(phase.Wall);
      result.VerifyingWire += WireSeconds(phase.Bytes, baudRate);
    }
  }

  size_t at = 0;
  bool flashOk = true;
  for (int unit = 0; unit < SimK7310::kUnits; ++unit) {
    const std::vector<uint8_t> flash = sim.Flash(unit);
    flashOk = flashOk && std::equal(flash.begin(), flash.end(), image.begin() + static_cast<ptrdiff_t>(at));
    at += flash.size();
  }
  const std::vector<int> rates = sim.BaudRates();
  if (!done)
    result.Problem = "no end of the run within the time limit";
  else if (!host.Errors.empty())
    result.Problem = "the run showed errors: " + host.Errors;
  else if (!flashOk)
    result.Problem = "the device's flash differs from the image";
  else if (rates != std::vector<int>{baudRate})
    result.Problem = "the line did not run at " + std::to_string(baudRate) + " baud throughout";
  else if (sim.BytesLost() > 0)
    result.Problem = std::to_string(sim.BytesLost()) + " answer bytes were lost";
  result.Ok = result.Problem.empty();
  if (!host.Log.empty()) std::printf("k7310: the channel logged failed replies:\n%s", host.Log.c_str());
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string which = argc > 1 ? argv[1] : "all";
  if (which != "all" && which != "both" && which != "paced" && which != "unpaced" && which != "slow") {
    std::fprintf(stderr, "Usage: bench_k7310 [paced|unpaced|slow|both]\n");
    return 2;
  }

  // Every cell filled: all four processors get their whole flash.
  std::vector<uint8_t> image(0xB0000);
  std::mt19937_64 random(7310);
  for (uint8_t& b : image) b = static_cast<uint8_t>(random());
  const int blocks = static_cast<int>(image.size() / BlockSize);
  QTemporaryDir dir;
  const std::string hexPath = dir.path().toStdString() + "/total.hex";
  std::ofstream(hexPath, std::ios::binary) << IntelHex({{FlashBase, image}});

  int status = 0;
  if (which == "all" || which == "both" || which == "paced") {
    const RunResult r = Download(true, FastRate, hexPath, image, dir.path().toStdString());
    if (!r.Ok) {
      std::printf("k7310: paced run failed: %s\n", r.Problem.c_str());
      status = 1;
    } else {
      const uint64_t bytes = r.HostBytes + r.DeviceBytes;
      const double wire = WireSeconds(bytes, FastRate);
      std::printf("k7310: paced, %d baud 8E1, 704 KiB in %d blocks, flash verified: wire %.1f s "
                  "(%llu bytes from the host + %llu from the device, %d bits each)\n",
                  FastRate, blocks, wire, static_cast<unsigned long long>(r.HostBytes),
                  static_cast<unsigned long long>(r.DeviceBytes), BitsPerByte);
      std::printf("k7310: paced: wall %.1f s from start to done, wire/wall %.3f (target at least 0.75)\n",
                  r.Wall, wire / r.Wall);
      std::printf("k7310: paced: writing with read-back %.1f s wall / %.1f s wire (%.3f), verifying %.1f s / "
                  "%.1f s (%.3f), the rest (connects, pauses, reboots) %.1f s / %.1f s\n",
                  r.Writing, r.WritingWire, r.WritingWire / r.Writing, r.Verifying, r.VerifyingWire,
                  r.VerifyingWire / r.Verifying, r.Wall - r.Writing - r.Verifying,
                  wire - r.WritingWire - r.VerifyingWire);
      std::printf("k7310: paced: %llu worker steps, %.3f ms wall per step\n",
                  static_cast<unsigned long long>(r.Passes), 1000.0 * r.Wall / static_cast<double>(r.Passes));
    }
  }
  if (which == "all" || which == "both" || which == "unpaced") {
    const RunResult r = Download(false, FastRate, hexPath, image, dir.path().toStdString());
    if (!r.Ok) {
      std::printf("k7310: unpaced run failed: %s\n", r.Problem.c_str());
      status = 1;
    } else {
      std::printf("k7310: unpaced, flash verified: wall %.1f s, %.2f ms per 256-byte block written and "
                  "verified (writing with read-back %.2f ms, verifying %.2f ms)\n",
                  r.Wall, 1000.0 * r.Wall / blocks, 1000.0 * r.Writing / blocks, 1000.0 * r.Verifying / blocks);
      std::printf("k7310: unpaced: %llu worker steps, %.3f ms wall per step\n",
                  static_cast<unsigned long long>(r.Passes), 1000.0 * r.Wall / static_cast<double>(r.Passes));
    }
  }
  if (which == "all" || which == "slow") {
    // Two blocks for the main processor, one for the display; the rest of
    // every flash stays erased.
    std::vector<uint8_t> small(image.size(), 0xFF);
    std::copy(image.begin(), image.begin() + 2 * BlockSize, small.begin());
    std::copy(image.begin() + 0x80000, image.begin() + 0x80000 + BlockSize, small.begin() + 0x80000);
    const std::string smallPath = dir.path().toStdString() + "/small.hex";
    std::ofstream(smallPath, std::ios::binary)
        << IntelHex({{FlashBase, std::vector<uint8_t>(small.begin(), small.begin() + 2 * BlockSize)},
                     {FlashBase + 0x80000, std::vector<uint8_t>(small.begin() + 0x80000,
                                                                small.begin() + 0x80000 + BlockSize)}});
    const RunResult r = Download(true, SlowRate, smallPath, small, dir.path().toStdString());
    if (!r.Ok) {
      std::printf("k7310: slow paced run failed: %s\n", r.Problem.c_str());
      status = 1;
    } else {
      const double wire = WireSeconds(r.HostBytes + r.DeviceBytes, SlowRate);
      std::printf("k7310: slow, paced %d baud 8E1, main 2 blocks + display 1 block, flash verified: wall %.1f s "
                  "from start to done, wire %.1f s (%llu + %llu bytes), wire/wall %.3f; the rest is the "
                  "run's own pauses (start, connects, next processor)\n",
                  SlowRate, r.Wall, wire, static_cast<unsigned long long>(r.HostBytes),
                  static_cast<unsigned long long>(r.DeviceBytes), wire / r.Wall);
    }
  }
  return status;
}
