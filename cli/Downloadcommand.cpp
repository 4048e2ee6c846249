// qmss download k7310|trx5170l FILE --port PORT: a firmware download through
// the operation's channel, as the download view runs it: the file loaded
// through the controller, the run started, its progress shown from the
// channel's run status, until the run has completed, failed, timed out or
// been stopped. With several ports, the file is checked here once and each
// port is handed to a worker process of its own (Paralleldownload).
#include <cstdio>
#include <functional>
#include <memory>
#include <set>

#include "cli/Clihost.h"
#include "cli/Cliport.h"
#include "cli/Commands.h"
#include "cli/Downloadlog.h"
#include "cli/Downloadrun.h"
#include "cli/Imageshapes.h"
#include "cli/Jsonline.h"
#include "cli/Lineoptions.h"
#include "cli/Paralleldownload.h"
#include "cli/Runtimeout.h"
#include "comm/Channelcodes.h"
#include "comm/K7310map.h"
#include "comm/Portmap.h"
#include "core/Modelswdl.h"
#include "core/Useraction.h"

namespace {

const char* const DownloadUsage =
    "Usage: qmss download k7310|trx5170l FILE -p|--port PORT [-p PORT ...] [--baud N] [--parity N|E|O]\n"
    "                     [--timeout S] [--connect-timeout S] [--reconnect S] [--force] [--ini FILE]\n"
    "                     [--json] [-q|-v] [--log FILE]\n"
    "  -p, --port PORT      COMn (see qmss ports) or a device path such as " QMSS_DEVICE_PATH_EXAMPLE ";\n"
    "                       give it again for each further device: all are programmed at the same\n"
    "                       time, each by a process of its own, with a table of the outcomes at the end\n"
    "  --baud, --parity     line settings (default: the operation's section of the INI, else 1200 E)\n"
    "  --timeout S          give the run up after S seconds (default: three times the wire time\n"
    "                       of the bytes the run sends and receives, plus 60 s)\n"
    "  --connect-timeout S  give up after S seconds when no byte at all has come from the device\n"
    "                       (default 20)\n"
    "  --reconnect S        after a port error during the run (a cable pulled), wait up to S seconds\n"
    "                       for the port to come back, then start the run again from the beginning\n"
    "                       (default 0: no waiting)\n"
    "  --force              download even when the file's load report shows problems\n"
    "  --ini FILE           the INI file to read (default: the desktop app's)\n"
    "  --json               one JSON object per line on stdout: events start, part, progress,\n"
    "                       failure and done (the schema is in README)\n"
    "  -q, --quiet          only errors and the closing line\n"
    "  -v, --verbose        also the log lines as they are written\n"
    "  --log FILE           the log file (default LOG.TXT; with several ports LOG-<port>.TXT each)\n"
    "  -h, --help           this text\n"
    "Exit: 0 done, 1 the device answered but the run did not finish, 2 usage or unreadable file,\n"
    "3 load report problems, 4 the port could not be opened, 5 no answer from the device,\n"
    "130 stopped by SIGINT, 143 stopped by SIGTERM\n";

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

// The done event of a run that ended before it started (the port did not
// open, the file was refused), so that a --json reader always gets one.
void PrintEarlyDone(const TDownloadOutput& output, int code, const std::string& why) {
  if (!output.Json) return;
  TJsonLine("done").Bool("ok", false).Integer("exit_code", code).Integer("bytes", 0).Number("seconds", 0, 1)
      .Text("error", why).Print();
}

// The options a worker process for one port is given: every one of the
// command line but the ports, --json, -q and --log.
std::vector<std::string> WorkerOptions(const TCliArgs& parsed) {
  std::vector<std::string> words;
  for (const char* name : {"--baud", "--parity", "--timeout", "--connect-timeout", "--reconnect", "--ini"})
    if (parsed.Has(name)) {
      words.push_back(name);
      words.push_back(parsed.Value(name));
    }
  for (const char* name : {"--force", "--verbose"})
    if (parsed.Has(name)) words.push_back(name);
  return words;
}

}  // namespace

int RunDownloadCommand(const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::string error;
  if (!parsed.Parse(args,
                    {{"-p,--port", true, true}, {"--baud", true}, {"--parity", true}, {"--timeout", true},
                     {"--ini", true}, {"--connect-timeout", true}, {"--reconnect", true}, {"--force", false}, {"--json", false},
                     {"-q,--quiet", false}, {"-v,--verbose", false}, {"--log", true}, {"-h,--help", false}},
                    error)) {
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
  TDownloadOutput output;
  output.Json = parsed.Has("--json");
  output.Quiet = parsed.Has("--quiet");
  output.Verbose = parsed.Has("--verbose");
  if (output.Quiet && output.Verbose) {
    std::fprintf(stderr, "qmss download: give -q or -v, not both\n");
    return ExitUsage;
  }

  // Every port must name a device, and each device only once.
  const std::vector<std::string> ports = parsed.Values("--port");
  TLineOptions line;
  std::set<std::string> devices;
  for (const std::string& port : ports) {
    if (!ReadLineOptions(parsed, 0, line, error, &port)) {
      std::fprintf(stderr, "qmss download: %s\n", error.c_str());
      return ExitUsage;
    }
    if (!devices.insert(ComDevicePath(line.Port)).second) {
      std::fprintf(stderr, "qmss download: option --port given more than once for the device of \"%s\"\n",
                   port.c_str());
      return ExitUsage;
    }
  }
  if (ports.empty() && !ReadLineOptions(parsed, 0, line, error)) {
    std::fprintf(stderr, "qmss download: %s\n", error.c_str());
    return ExitUsage;
  }
  if (ports.size() > 1 && parsed.Has("--log")) {
    std::fprintf(stderr, "qmss download: --log names the log of one port; with several ports each writes its own "
                         "LOG-<port>.TXT\n");
    return ExitUsage;
  }
  double reconnectSeconds = 0;
  if (parsed.Has("--reconnect") && parsed.Value("--reconnect") != "0" &&
      !ParseSeconds(parsed.Value("--reconnect"), reconnectSeconds)) {
    std::fprintf(stderr, "qmss download: bad reconnect time \"%s\" (seconds, 0 or more)\n",
                 parsed.Value("--reconnect").c_str());
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
      PrintEarlyDone(output, ExitLoadReport, "the load report of " + fileName + " shows problems");
      return ExitLoadReport;
    }
  }
  std::string contents;
  if (!DescribeImage(*image, k7310, contents)) {
    std::fprintf(stderr, "qmss download: %s holds no data for any of the four processors (0x08000000 to 0x080AFFFF)\n",
                 fileName.c_str());
    return ExitUsage;
  }

  if (ports.size() > 1) {
    std::vector<std::string> workerArgs = {"download", kind, fileName};
    const std::vector<std::string> options = WorkerOptions(parsed);
    return RunParallelDownloads(workerArgs, options, ports, output);
  }

  std::vector<int64_t> partUnits;
  std::vector<std::string> partNames;
  if (k7310) {
    for (int p = 0; p < K7310ProcessorCount; ++p) {
      partUnits.push_back(std::max<int32_t>(ProcessorUsedLength(*image, p), 0));
      partNames.push_back(K7310Processors[p].Name);
    }
  } else {
    partUnits.push_back(std::max<int32_t>(image->UsedLength(), 0));
  }

  TCliHost host(line.IniPath);
  host.SetLogFiles(parsed.Value("--log", "LOG.TXT"), parsed.Has("--log") ? "" : PortLogFileName(line.PortText));
  TDownloadRun run(host, output, partUnits, partNames);
  host.OnTextChanged = [&run] { run.TextChanged(); };
  host.OnBeforeMessage = [&run] { run.Output().End(); };
  if (output.Verbose || output.Json) host.SetLogTap([&run](const std::string& text) { run.LogLine(text); });
  std::string stopReason;
  auto stop = [&](const std::string& why, int code) {
    if (host.Finished()) return;
    stopReason = why;
    run.Stop(why, code);
  };
  host.OnStop = [&] { stop("stopped", host.StopExitCode()); };
  host.OnNoAnswer = [&] { stop(NoAnswerMessage(line, line.ConnectTimeoutSeconds), ExitNoAnswer); };
  host.OnTimeout = [&] {
    if (!host.DeviceAnswered())
      stop(NoAnswerMessage(line, line.TimeoutSeconds), ExitNoAnswer);
    else
      stop("no end of the run within " + FormatSeconds(line.TimeoutSeconds) + " s", ExitFailed);
  };

  if (!host.Start(operation, line.Port, line.Baud, line.Parity)) {
    // The error above says why, and what to do about it.
    std::fprintf(stderr, "qmss download: could not use %s\n", PortDescription(line).c_str());
    PrintEarlyDone(output, ExitPortFailed, host.LastError());
    return ExitPortFailed;
  }
  if (host.LogFileName().empty())
    run.Output().Error("qmss download: no log file: " + parsed.Value("--log", "LOG.TXT") +
                       (parsed.Has("--log") ? "" : " and " + PortLogFileName(line.PortText)) +
                       " could not be opened (held by another run, or the folder is not writable); the run goes on");
  else if (host.LogFileName() != parsed.Value("--log", "LOG.TXT"))
    run.Output().Error("qmss download: LOG.TXT is held by another run; this run logs to " + host.LogFileName());
  const TModelSwDl& swdl = host.TheModel().SwDl;
  const char parity = swdl.GetParity() ? swdl.GetParity() : '?';
  if (line.TimeoutSeconds <= 0)
    line.TimeoutSeconds = RunTimeoutSeconds(k7310 ? K7310RunBytes(*image) : Trx5170RunBytes(*image),
                                            swdl.GetBaudRate(), parity);
  run.Output().Message("qmss download: " + fileName + " (" + contents + ") to " + PortDescription(line) + " at " +
                       std::to_string(swdl.GetBaudRate()) + " baud, parity " + std::string(1, parity) +
                       ", time-out " + FormatSeconds(line.TimeoutSeconds) + " s");
  if (output.Json) {
    TJsonLine start("start");
    start.Text("command", "download").Text("kind", kind).Text("file", fileName).Text("port", line.PortText)
        .Text("device", ComDevicePath(line.Port)).Integer("baud", swdl.GetBaudRate())
        .Text("parity", std::string(1, parity)).Number("timeout_s", line.TimeoutSeconds, 1)
        .Text("log", host.LogFileName());
    int64_t total = 0;
    std::string parts = "[";
    for (size_t p = 0; p < partUnits.size(); ++p) {
      total += partUnits[p];
      if (!k7310 || partUnits[p] <= 0) continue;
      parts += std::string(parts.size() > 1 ? "," : "") +
               TJsonLine().Integer("index", static_cast<int64_t>(p)).Text("name", partNames[p])
                   .Integer("bytes", partUnits[p]).Get();
    }
    start.Integer("bytes", total);
    if (k7310) start.Raw("parts", parts + "]");
    start.Print();
  }

  UASwDlFileLoad load;
  load.FileName = fileName;
  load.Prepared = image;
  host.TheController().Execute(load);
  host.SetTimeout(line.TimeoutSeconds);
  host.WatchForAnswer(line.ConnectTimeoutSeconds);
  // A run started again after the port came back has its whole time again.
  run.SetReconnect(reconnectSeconds, PortDescription(line), [&host, &line] {
    host.SetTimeout(line.TimeoutSeconds);
    host.WatchForAnswer(line.ConnectTimeoutSeconds);
  });
  host.OnPortError = [&run] { return run.PortFailed(); };
  run.Start();

  int code = host.Run();
  run.Output().End();
  const bool portFailed = host.ErrorsShown() > 0 && code != ExitDone;
  const bool answered = host.DeviceAnswered() || run.AnsweredBefore();
  host.Shutdown();
  if (portFailed) {
    run.Output().Error("qmss download: the run failed on " + PortDescription(line) +
                       "; check the cable and that the device is powered");
    code = answered ? ExitFailed : ExitNoAnswer;
    stopReason = host.LastError();
  }
  run.Finished(code, stopReason);
  return code;
}
