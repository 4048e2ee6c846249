#include "tests/soak/Soakrun.h"

#include <QElapsedTimer>
#include <memory>

#include "comm/Channelcodes.h"
#include "core/Model.h"
#include "tests/support/Channelhost.h"
#include "tests/soak/Soakcase.h"
#include "tests/soak/Soakfaults.h"

int SoakRunDeadline(SimKind kind) {
  switch (kind) {
    case SimKind::K7310: return 300;
    case SimKind::Trx5170l: return 150;
    default: return 90;
  }
}

namespace {

// The same seed gives the same run; the kinds draw from unrelated streams.
uint64_t MixSeed(SimKind kind, uint64_t seed) {
  uint64_t x = seed * 0x9E3779B97F4A7C15ULL + (static_cast<uint64_t>(kind) + 1) * 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 31;
  x *= 0x94D049BB133111EBULL;
  return x ^ (x >> 29);
}

class Run {
 public:
  Run(SimKind kind, uint64_t seed, double scale, std::ostream& log)
      : Kind(kind), Random(MixSeed(kind, seed)), Scale(scale), Log(log) {
    Result.Kind = kind;
    Result.Seed = seed;
  }

  SoakResult Go() {
    QElapsedTimer clock;
    clock.start();
    Result.Failure = Perform();
    for (const auto& device : {First.get(), Second.get()}) {
      if (!device) continue;
      for (int i = 0; i < kSimFaultKinds; ++i) Result.Faults[i] += device->FaultCount(static_cast<SimFault>(i));
    }
    if (!Result.Failure.empty()) Report();
    Result.Verified = Result.Failure.empty();
    Host.Shutdown();
    if (First) First->Stop();
    if (Second) Second->Stop();
    Result.Seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    return Result;
  }

 private:
  int Ms(int seconds) const { return static_cast<int>(seconds * 1000 * Scale); }

  std::string Where() const {
    return "state " + std::to_string(Host.State()) + " \"" + Host.StateText() + "\"";
  }

  std::unique_ptr<SimDevice> StartDevice(const SimOptions& options, std::string& failure) {
    std::unique_ptr<SimDevice> device = MakeSimulator(Kind, options);
    std::string error;
    if (!device || !device->Start(error)) {
      failure = "the simulator did not start: " + error;
      return nullptr;
    }
    return device;
  }

  // Starts the loaded run; empty when the channel took the start.
  std::string StartRun() {
    Host.PressStart();
    if (Host.State() == CmState::Ready) return "the channel did not take the start (" + Where() + ")";
    return {};
  }

  std::string WaitForRunEnd(const SimDevice* goneWatch) {
    const int deadline = Ms(SoakRunDeadline(Kind));
    const bool ended = RunUntil(
        [&] { return (goneWatch && goneWatch->Disconnected()) || Case->RunOver(Host); }, deadline);
    if (ended) return {};
    return "hang: the run did not end within " + std::to_string(deadline / 1000) + " s (" + Where() + ")";
  }

  std::string Perform() {
    Case = MakeSoakCase(Kind, Random);
    if (!Case) return "no soak case for this kind";
    const SoakFaultPlan plan = ChooseSoakFaults(Kind, *Case, Random);
    Log << "run " << SoakRunName(Kind, Result.Seed) << ": faults " << DescribeSoakFaults(plan) << "\n";

    SimOptions options;
    options.Seed = Random();
    options.Faults = plan.Faults;
    options.DisconnectAfterBytes = plan.DisconnectAfterBytes;
    Case->PrepareDevice(options, Host.Folder(), nullptr);
    std::string failure;
    First = StartDevice(options, failure);
    if (!First) return failure;

    Host.StartOn(Case->Operation(), First->SlavePath(), Case->BaudRate(), Case->Parity());
    Host.LoadFile(Case->WriteHostFile(Host.Folder()));
    if (!RunUntil([&] { return Host.State() == CmState::Ready; }, Ms(10)))
      return "the channel is not ready after loading the file (" + Where() + ")";
    if (!Host.Errors().empty()) return "error before the run: " + Host.Errors().front();

    if (std::string e = StartRun(); !e.empty()) return e;
    if (std::string e = WaitForRunEnd(First.get()); !e.empty()) return e;
    const SimDevice* device = First.get();

    if (First->Disconnected()) {
      Result.Disconnected = true;
      // The device comes back on another line holding what it held; the
      // port is pointed at it before the channel is rebuilt (100 ms after
      // the error), as a technician plugs the cable in again.
      SimOptions again = options;
      again.Seed = Random();
      again.DisconnectAfterBytes = -1;
      again.Fault(SimFault::Disconnect) = {};
      Case->PrepareDevice(again, Host.Folder(), First.get());
      Second = StartDevice(again, failure);
      if (!Second) return failure;
      Host.MapPort(ChannelHost::ComNumber, Second->SlavePath());
      Log << "  the device went away after " << First->Sent().size() + First->Received().size()
          << " bytes; a new one is on the line\n";

      bool ended = false;
      const bool rebuilt = RunUntil(
          [&] {
            ended = ended || Host.CommEnded;
            return ended && !Host.CommEnded && Host.ModelPtr->ThreadRunning() && Host.State() == CmState::Ready;
          },
          Ms(30));
      const std::vector<std::string> errors = Host.Errors();
      if (!errors.empty()) Result.PortError = errors.front();
      if (!rebuilt)
        return std::string(ended ? "the channel was not rebuilt" : "the worker thread did not end") +
               " after the device went away (" + Where() + ", " + std::to_string(errors.size()) + " errors shown)";
      Result.Rebuilt = true;
      if (errors.size() != 1) return std::to_string(errors.size()) + " errors shown for one disconnect";

      if (std::string e = StartRun(); !e.empty()) return "after the rebuild: " + e;
      if (std::string e = WaitForRunEnd(nullptr); !e.empty()) return "after the rebuild: " + e;
      device = Second.get();
    }

    if (std::string e = Case->Verify(*device, Host); !e.empty()) return e;
    const size_t allowed = Result.Disconnected ? 1 : 0;
    const std::vector<std::string> errors = Host.Errors();
    if (errors.size() > allowed) return "error shown: " + errors.back();
    return {};
  }

  // What a failed run leaves for whoever reproduces it.
  void Report() {
    Log << "FAILED " << SoakRunName(Kind, Result.Seed) << ": " << Result.Failure << "\n";
    for (const std::string& e : Host.Errors()) Log << "  error shown: " << e << "\n";
    const std::string hostLog = Host.Log();
    if (!hostLog.empty()) Log << "  host log:\n" << hostLog << "\n";
    if (First) Log << "  first device: " << First->SummaryJson() << "\n";
    if (Second) Log << "  second device: " << Second->SummaryJson() << "\n";
  }

  SimKind Kind;
  std::mt19937_64 Random;
  double Scale;
  std::ostream& Log;
  SoakResult Result;
  std::unique_ptr<SoakCase> Case;
  // Devices outlive the host's channel: the host shuts down first.
  std::unique_ptr<SimDevice> First;
  std::unique_ptr<SimDevice> Second;
  ChannelHost Host;
};

}  // namespace

SoakResult RunSoak(SimKind kind, uint64_t seed, double scale, std::ostream& log) {
  Run run(kind, seed, scale, log);
  return run.Go();
}
