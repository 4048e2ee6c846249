// The worker loop with the idle channel: passes per second and the CPU both
// threads use. Each pass is a step, a blocking hand-over of the status to the
// host thread and a 1 ms sleep, so about a thousand passes per second is the
// ceiling; the CPU figure is the cost of keeping that loop turning.
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "comm/Commthrd.h"
#include "core/Eventloop.h"
#include "core/Host.h"
#include "core/Model.h"

namespace {

struct BenchLoop {
  TEventLoop Events;
};

class BenchHost : private BenchLoop, public THost {
 public:
  explicit BenchHost(std::string ini) : THost(BenchLoop::Events), Ini(std::move(ini)) {}
  TEventLoop& Events() { return BenchLoop::Events; }
  void LogWrite(const std::string&) override {}
  void ShowError(const std::string& message) override { std::fprintf(stderr, "%s\n", message.c_str()); }
  void ViewStateChanged() override {}
  void ViewUpdate() override {}
  void CloseMainWindow() override { Events().Quit(); }
  std::string IniFileName() const override { return Ini; }

 private:
  std::string Ini;
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  QTemporaryDir dir;
  BenchHost host(dir.path().toStdString() + "/bench.INI");
  TModel model(host, false);
  host.Model = &model;
  ApplicationStarted = true;

  rusage before{}, hostBefore{};
  getrusage(RUSAGE_SELF, &before);
  getrusage(RUSAGE_THREAD, &hostBefore);
  QElapsedTimer clock;
  clock.start();
  model.Restart(host.Config);

  THostTimer stop(host.Loop(), seconds * 1000, [&] {
    host.CloseRequested = true;
    model.StopCommunication();
  });
  stop.Start();
  host.Events().Run();

  const double wall = clock.elapsed() / 1000.0;
  const uint64_t passes = model.CurrentThread()->Passes();
  rusage after{}, hostAfter{};
  getrusage(RUSAGE_SELF, &after);
  getrusage(RUSAGE_THREAD, &hostAfter);
  const double all = Seconds(after.ru_utime) + Seconds(after.ru_stime) - Seconds(before.ru_utime) -
                     Seconds(before.ru_stime);
  const double hostCpu = Seconds(hostAfter.ru_utime) + Seconds(hostAfter.ru_stime) -
                         Seconds(hostBefore.ru_utime) - Seconds(hostBefore.ru_stime);
  std::printf("commloop: idle channel for %.1f s: %llu passes, %.0f passes/s\n", wall,
              static_cast<unsigned long long>(passes), passes / wall);
  std::printf("commloop: CPU %.1f%% of one core (host thread %.1f%%, worker %.1f%%), %.1f us per pass\n",
              100.0 * all / wall, 100.0 * hostCpu / wall, 100.0 * (all - hostCpu) / wall,
              1e6 * all / static_cast<double>(passes ? passes : 1));
  return 0;
}
