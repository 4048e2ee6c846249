// qmss download k7310|trx5170l FILE --port PORT: a firmware download through
// the operation's channel, as the download view runs it: the file loaded
// through the controller, the run started, its progress shown from the
// channel's run status, until the run has completed, failed, timed out or
// been stopped.
#include <cstdio>
#include <memory>

#include "cli/Clihost.h"
#include "cli/Cliport.h"
#include "cli/Commands.h"
#include "cli/Imageshapes.h"
#include "cli/Lineoptions.h"
#include "cli/Progress.h"
#include "cli/Runtimeout.h"
#include "comm/K7310map.h"
#include "core/Modelswdl.h"
#include "core/Useraction.h"

namespace {

const char* const DownloadUsage =
    "Usage: qmss download k7310|trx5170l FILE -p|--port PORT [--baud N] [--parity N|E|O]\n"
    "                     [--timeout S] [--connect-timeout S] [--force] [--ini FILE]\n"
    "  -p, --port PORT      COMn (see qmss ports) or a device path such as " QMSS_DEVICE_PATH_EXAMPLE "\n"
    "  --baud, --parity     line settings (default: the operation's section of the INI, else 1200 E)\n"
    "  --timeout S          give the run up after S seconds (default: three times the wire time\n"
    "                       of the bytes the run sends and receives, plus 60 s)\n"
    "  --connect-timeout S  give up after S seconds when no byte at all has come from the device\n"
    "                       (default 20)\n"
    "  --force              download even when the file's load report shows problems\n"
    "  --ini FILE           the INI file to read (default: the desktop app's)\n"
    "  -h, --help           this text\n"
    "Exit: 0 done, 1 the device answered but the run did not finish, 2 usage or unreadable file,\n"
    "3 load report problems, 4 the port could not be opened, 5 no answer from the device,\n"
    "130 stopped by SIGINT, 143 stopped by SIGTERM\n";

// Watches one run through the channel's run status (published with its texts
// after every step): the run has completed once the channel counts one more
// completed run than when it started.
class TDownloadRun {
 public:
  TDownloadRun(TCliHost& host) : Host(host), Progress(stderr), Drawing(host.Loop()) {}

  // Called for each of the three texts as the channel's status hand-over
  // sets them one after the other; the run status was published before them.
  // The end of a run is told at once; the progress line is drawn once the
  // hand-over is complete.
  void TextChanged() {
    const CmRunStatus& status = Host.TheModel().SwDl.RunStatus();
    if (Started && !Stopping && !Host.Finished() && status.CompletedRuns > RunsBefore) {
      const std::string& state = Host.TheModel().SwDl.StateText.Get();
      Progress.Show(state, "", "", -1, 0);
      Progress.Message("qmss download: done (" + state + ")");
      Host.Finish(ExitDone);
    }
    if (!DrawPending) {
      DrawPending = true;
      Drawing.Post([this] { Draw(); });
    }
  }

  // Time-outs and signals: the run is stopped as the Abort button stops it.
  void Stop(const std::string& why, int code) {
    if (Host.Finished()) return;
    Stopping = true;
    Progress.Message("qmss download: " + why + "; stopping the run");
    UASwDlAbort abort;
    Host.TheController().Execute(abort);
    Host.Finish(code);
  }

  void Start() {
    Started = true;
    RunsBefore = Host.TheModel().SwDl.RunStatus().CompletedRuns;
    UASwDlStart start;
    Host.TheController().Execute(start);
  }

  TProgress& Output() { return Progress; }

 private:
  void Draw() {
    DrawPending = false;
    if (Host.Finished()) return;
    TModelSwDl& swdl = Host.TheModel().SwDl;
    const CmRunStatus& status = swdl.RunStatus();
    const bool counting = status.TotalUnits > 0;
    Progress.Show(swdl.StateText.Get(), swdl.AddressText.Get(), swdl.UnitText.Get(),
                  counting ? static_cast<long>(status.DoneUnits) : -1, counting ? static_cast<long>(status.TotalUnits) : 0);
  }

  TCliHost& Host;
  TProgress Progress;
  // Draws once a hand-over is complete; a draw still queued goes with this.
  THostCall Drawing;
  bool Started = false;
  bool Stopping = false;
  bool DrawPending = false;
  int32_t RunsBefore = 0;
};

// What the image holds, one line; false when a K7310 image has nothing for
// any processor (the run would end at once without talking to the device).
bool DescribeImage(const HexFile& image, bool k7310, std::string& text) {
  if (!k7310) {
    text = "used length " + std::to_string(image.UsedLength()) + ", " + std::to_string(image.FilledCount()) +
           " bytes with data";
    return true;
  }
  bool any = false;
  for (int p = 0; p < K7310ProcessorCount; ++p) {
    const int32_t used = ProcessorUsedLength(image, p);
    if (used <= 0) continue;
    text += std::string(text.empty() ? "" : ", ") + K7310Processors[p].Name + " " + std::to_string(used) + " bytes";
    any = true;
  }
  return any;
}

}  // namespace

int RunDownloadCommand(const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {QMSS_LINE_OPTIONS, {"--force", false}, {"-h,--help", false}}, error)) {
    std::fprintf(stderr, "qmss download: %s\n%s", error.c_str(), DownloadUsage);
    return ExitUsage;
  }
  if (parsed.Has("--help")) {
    std::fputs(DownloadUsage, stdout);
    return ExitDone;
  }
  if (parsed.Positional().size() != 2) {
    std::fprintf(stderr, "qmss download: give the device kind and one HEX file\n%s", DownloadUsage);
    return ExitUsage;
  }
  const std::string& kind = parsed.Positional()[0];
  const std::string& fileName = parsed.Positional()[1];
  if (kind != "k7310" && kind != "trx5170l") {
    std::fprintf(stderr, "qmss download: unknown device \"%s\" (k7310 or trx5170l)\n", kind.c_str());
    return ExitUsage;
  }
  const bool k7310 = kind == "k7310";
  const uint8_t operation = k7310 ? OpSwDlK7310 : OpSwDlTrx5170;

  TLineOptions line;
  if (!ReadLineOptions(parsed, 0, line, error)) {
    std::fprintf(stderr, "qmss download: %s\n", error.c_str());
    return ExitUsage;
  }

  // The file is read, as the operation reads it, before the port is opened:
  // a file that is no good never touches the device.
  std::shared_ptr<HexFile> image;
  {
    TModelSwDl reader;
    reader.SetOperation(operation);
    try {
      image = reader.PrepareImage(fileName);
    } catch (const HexFileError& e) {
      std::fprintf(stderr, "qmss download: %s\n", e.what());
      return ExitUsage;
    }
  }
  const HexLoadReport& report = image->Report();
  if (!report.Clean()) {
    std::fputs(LoadReportLines(report, "qmss download: " + fileName + ": ").c_str(), stderr);
    if (!parsed.Has("--force")) {
      std::fprintf(stderr, "qmss download: not downloaded; check the file, or give --force to download it as read\n");
      return ExitLoadReport;
    }
  }
  std::string contents;
  if (!DescribeImage(*image, k7310, contents)) {
    std::fprintf(stderr, "qmss download: %s holds no data for any of the four processors (0x08000000 to 0x080AFFFF)\n",
                 fileName.c_str());
    return ExitUsage;
  }

  TCliHost host(line.IniPath);
  TDownloadRun run(host);
  host.OnTextChanged = [&run] { run.TextChanged(); };
  host.OnBeforeMessage = [&run] { run.Output().End(); };
  host.OnStop = [&run, &host] { run.Stop("stopped", host.StopExitCode()); };
  host.OnNoAnswer = [&run, &line] { run.Stop(NoAnswerMessage(line, line.ConnectTimeoutSeconds), ExitNoAnswer); };
  host.OnTimeout = [&run, &line, &host] {
    if (!host.DeviceAnswered())
      run.Stop(NoAnswerMessage(line, line.TimeoutSeconds), ExitNoAnswer);
    else
      run.Stop("no end of the run within " + FormatSeconds(line.TimeoutSeconds) + " s", ExitFailed);
  };

  if (!host.Start(operation, line.Port, line.Baud, line.Parity)) {
    // The error above says why, and what to do about it.
    std::fprintf(stderr, "qmss download: could not use %s\n", PortDescription(line).c_str());
    return ExitPortFailed;
  }
  const TModelSwDl& swdl = host.TheModel().SwDl;
  const char parity = swdl.GetParity() ? swdl.GetParity() : '?';
  if (line.TimeoutSeconds <= 0)
    line.TimeoutSeconds = RunTimeoutSeconds(k7310 ? K7310RunBytes(*image) : Trx5170RunBytes(*image),
                                            swdl.GetBaudRate(), parity);
  run.Output().Message("qmss download: " + fileName + " (" + contents + ") to " + PortDescription(line) + " at " +
                       std::to_string(swdl.GetBaudRate()) + " baud, parity " + std::string(1, parity) +
                       ", time-out " + FormatSeconds(line.TimeoutSeconds) + " s");

  UASwDlFileLoad load;
  load.FileName = fileName;
  load.Prepared = image;
  host.TheController().Execute(load);
  host.SetTimeout(line.TimeoutSeconds);
  host.WatchForAnswer(line.ConnectTimeoutSeconds);
  run.Start();

  int code = host.Run();
  run.Output().End();
  const bool portFailed = host.ErrorsShown() > 0;
  const bool answered = host.DeviceAnswered();
  host.Shutdown();
  if (portFailed) {
    std::fprintf(stderr, "qmss download: the run failed on %s; check the cable and that the device is powered\n",
                 PortDescription(line).c_str());
    code = answered ? ExitFailed : ExitNoAnswer;
  }
  return code;
}
