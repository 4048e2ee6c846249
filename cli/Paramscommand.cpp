// qmss params send FILE --port PORT: the parameter download, each parameter
// read, written and read back, with the table the log gets.
// qmss params receive --port PORT: the parameter upload, the lines the
// device sends, stored as the view's Stop stores them.
#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>

#include "cli/Clihost.h"
#include "cli/Commands.h"
#include "cli/Jsonline.h"
#include "cli/Lineoptions.h"
#include "cli/Loglines.h"
#include "cli/Progress.h"
#include "core/Modelswdl.h"
#include "core/Parameterindex.h"
#include "core/Textfile.h"
#include "core/Useraction.h"

namespace {

const char* const ParamsUsage =
    "Usage: qmss params send FILE -p|--port PORT [--baud N] [--parity C] [--timeout S]\n"
    "                           [--connect-timeout S] [--ini FILE] [--json] [-q|-v]\n"
    "       qmss params receive -p|--port PORT [--out FILE] [--idle S] [--timeout S] [--test]\n"
    "                           [--baud N] [--parity C] [--ini FILE] [--json] [-q]\n"
    "send:     each parameter of FILE (lines \"Par.12: Description :3\" or \"12:3\") is read,\n"
    "          written and read back; exit 0 when every one was read back (default --timeout 300);\n"
    "          exit 5 when no byte at all came within --connect-timeout (default 20)\n"
    "receive:  prints the lines the device sends; after the first line, stops after --idle\n"
    "          seconds of silence (default 2) or on Ctrl-C, writes CPSTORE.TXT here and --out;\n"
    "          exit 5 when nothing arrived within --timeout (default 60). Operation\n"
    "          \"Parameters from device to PC - DOWNLOAD\", with --test the \"- TEST\" one\n"
    "PORT is COMn or a device path; line settings default to the operation's INI section.\n"
    "  --json      JSON objects on stdout, one per line: start, one per parameter (send) or per\n"
    "              line (receive), done (the schema is in README)\n"
    "  -q, --quiet    only errors and the closing line on stderr\n"
    "  -v, --verbose  send: also the log lines as they are written\n"
    "  -h, --help  this text\n"
    "Exit: 0 done, 1 the device answered but the run did not finish, 2 usage or unreadable file,\n"
    "4 the port could not be opened, 5 no answer from the device, 130 SIGINT, 143 SIGTERM\n";

constexpr double DefaultSendTimeoutSeconds = 300;
constexpr double DefaultReceiveTimeoutSeconds = 60;
constexpr double DefaultIdleSeconds = 2;
constexpr uint8_t ParameterDownload = OpParDl;
constexpr uint8_t ParameterUploadTest = OpParUlTest;
constexpr uint8_t ParameterUploadDownload = OpParUlDownload;

struct TSendItem {
  int32_t Number;
  std::string FileValue;
};

// The parameters in the order the channel sends them, from the library's
// own reading of the file.
std::vector<TSendItem> SendSequence(const std::string& fileName) {
  TModelSwDl reader;
  reader.SetOperation(ParameterDownload);
  reader.LoadFile(fileName);
  std::vector<TSendItem> items;
  int32_t after = -1, number = 0;
  std::string value;
  while (reader.NextParameter(after, number, value)) {
    items.push_back({number, value});
    after = number;
  }
  return items;
}

struct TSkippedLine {
  int Line;        // 1-based
  int32_t Number;  // the line's parameter number
  int32_t After;   // the number sent before it
};

// Lines the parameter download passes over because their number is not above
// the one sent before them (it sends in file order, always to a higher
// number), so that a file out of order does not silently lose parameters.
std::vector<TSkippedLine> OutOfOrderLines(const std::vector<std::string>& lines) {
  std::vector<TSkippedLine> skipped;
  const std::vector<TParameterLineUse> uses = PlanParameterLines(lines);
  for (size_t i = 0; i < uses.size(); ++i)
    if (uses[i].Use == TParameterLineUse::OutOfOrder)
      skipped.push_back({static_cast<int>(i + 1), uses[i].Number, uses[i].After});
  return skipped;
}

// The parity letter of the line settings, "?" when none is set.
std::string ParityText(char parity) { return std::string(1, parity ? parity : '?'); }

std::string Row(const std::string& number, const std::string& previous, const std::string& file,
                const std::string& fresh) {
  char text[512];
  std::snprintf(text, sizeof text, "%3s  %-10s  %-10s  %-10s", number.c_str(), previous.c_str(), file.c_str(),
                fresh.c_str());
  return text;
}

int Send(const std::vector<std::string>& words, const TCliArgs& parsed) {
  std::string error;
  if (words.size() != 1) {
    std::fprintf(stderr, "qmss params send: give one parameter file\n%s", ParamsUsage);
    return ExitUsage;
  }
  const std::string& fileName = words[0];
  TLineOptions line;
  if (!ReadLineOptions(parsed, DefaultSendTimeoutSeconds, line, error)) {
    std::fprintf(stderr, "qmss params send: %s\n", error.c_str());
    return ExitUsage;
  }

  std::vector<TSendItem> sequence;
  try {
    const std::vector<std::string> lines = ReadTextLines(fileName);
    for (int lineNumber : OversizedParameterLines(lines))
      std::fprintf(stderr, "qmss params send: %s line %d: parameter number above 65535, skipped\n",
                   fileName.c_str(), lineNumber);
    for (const TSkippedLine& skipped : OutOfOrderLines(lines))
      std::fprintf(stderr,
                   "qmss params send: %s line %d: parameter %d comes after parameter %d and is skipped "
                   "(parameters are sent in file order, each number above the one before)\n",
                   fileName.c_str(), skipped.Line, static_cast<int>(skipped.Number), static_cast<int>(skipped.After));
    sequence = SendSequence(fileName);
  } catch (const TextFileError& e) {
    std::fprintf(stderr, "qmss params send: %s\n", e.what());
    return ExitUsage;
  }
  if (sequence.empty()) {
    std::fprintf(stderr, "qmss params send: %s holds no parameter line to send\n", fileName.c_str());
    return ExitUsage;
  }

  const bool json = parsed.Has("--json");
  TCliHost host(line.IniPath);
  TProgress progress(stderr, "parameters");
  progress.SetQuiet(json || parsed.Has("--quiet"));  // with --json the rows and the end are events
  host.OnBeforeMessage = [&] { progress.End(); };
  TLogLines logLines;
  if (parsed.Has("--verbose"))
    host.SetLogTap([&](const std::string& text) {
      for (const std::string& one : logLines.Add(text)) progress.Error("log: " + one);
    });
  std::chrono::steady_clock::time_point startTime;
  size_t mismatches = 0;
  TParameterResults rows;
  size_t printed = 0;
  bool started = false;
  int32_t runsBefore = 0;
  // Done once the channel has completed the run and every row is printed.
  auto finishIfComplete = [&] {
    if (started && !host.Finished() && printed >= sequence.size() &&
        host.TheModel().SwDl.RunStatus().CompletedRuns > runsBefore) {
      // The closing line, also with -q.
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.1f",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count());
      progress.Error("qmss params send: done, " + std::to_string(printed) + " parameters read back in " + seconds +
                     " s");
      host.Finish(ExitDone);
    }
  };
  host.OnStateChanged = [&] {
    TModelSwDl& swdl = host.TheModel().SwDl;
    if (!swdl.ParameterTableChanged.exchange(false)) return;
    TParameterResults taken = swdl.TakeParameterResults();
    rows.ParNumbers.insert(rows.ParNumbers.end(), taken.ParNumbers.begin(), taken.ParNumbers.end());
    rows.PreviousValues.insert(rows.PreviousValues.end(), taken.PreviousValues.begin(), taken.PreviousValues.end());
    rows.NewValues.insert(rows.NewValues.end(), taken.NewValues.begin(), taken.NewValues.end());
    const size_t complete = std::min({rows.ParNumbers.size(), rows.PreviousValues.size(), rows.NewValues.size()});
    if (printed < complete) progress.End();
    for (; printed < complete; ++printed) {
      const std::string file = printed < sequence.size() ? sequence[printed].FileValue : std::string();
      // The device holds at most 7 characters of a value.
      const bool matches = rows.NewValues[printed] == file.substr(0, 7);
      if (json)
        TJsonLine("parameter").Text("number", rows.ParNumbers[printed]).Text("old", rows.PreviousValues[printed])
            .Text("file", file).Text("new", rows.NewValues[printed]).Bool("matches", matches).Print();
      else
        std::printf("%s\n", Row(rows.ParNumbers[printed], rows.PreviousValues[printed], file, rows.NewValues[printed]).c_str());
      if (!matches) {
        ++mismatches;
        std::fprintf(stderr, "qmss params send: parameter %s reads back \"%s\", the file gives \"%s\"\n",
                     rows.ParNumbers[printed].c_str(), rows.NewValues[printed].c_str(), file.c_str());
      }
    }
    std::fflush(stdout);
    finishIfComplete();
  };
  host.OnTextChanged = [&] {
    if (!host.Finished()) {
      // The channel's count while it runs; the rows printed around it.
      const CmRunStatus& status = host.TheModel().SwDl.RunStatus();
      const bool counting = status.TotalUnits > 0;
      progress.Show(host.TheModel().SwDl.StateText.Get(), "", "",
                    counting ? static_cast<long>(status.DoneUnits) : static_cast<long>(printed),
                    counting ? static_cast<long>(status.TotalUnits) : static_cast<long>(sequence.size()));
    }
    finishIfComplete();
  };
  auto stop = [&](const std::string& why, int code) {
    if (host.Finished()) return;
    progress.Error("qmss params send: " + why + " after " + std::to_string(printed) + " of " +
                     std::to_string(sequence.size()) + " parameters; stopping");
    UASwDlAbort abort;
    host.TheController().Execute(abort);
    host.Finish(code);
  };
  host.OnStop = [&] { stop("stopped", host.StopExitCode()); };
  host.OnNoAnswer = [&] { stop(NoAnswerMessage(line, line.ConnectTimeoutSeconds), ExitNoAnswer); };
  host.OnTimeout = [&] {
    if (host.DeviceAnswered())
      stop("time-out", ExitFailed);
    else
      stop(NoAnswerMessage(line, line.TimeoutSeconds), ExitNoAnswer);
  };

  if (!host.Start(ParameterDownload, line.Port, line.Baud, line.Parity)) {
    std::fprintf(stderr, "qmss params send: could not use %s\n", PortDescription(line).c_str());
    return ExitPortFailed;
  }
  UASwDlFileLoad load;
  load.FileName = fileName;
  try {
    host.TheController().Execute(load);
  } catch (const TextFileError& e) {
    std::fprintf(stderr, "qmss params send: %s\n", e.what());
    return ExitUsage;
  }
  if (json)
    TJsonLine("start").Text("command", "params send").Text("file", fileName).Text("port", line.PortText)
        .Integer("baud", host.TheModel().SwDl.GetBaudRate())
        .Text("parity", ParityText(host.TheModel().SwDl.GetParity())).Integer("parameters", static_cast<int64_t>(sequence.size()))
        .Print();
  else
    std::printf("No.  Previous    File        New\n");
  std::fflush(stdout);
  startTime = std::chrono::steady_clock::now();
  host.SetTimeout(line.TimeoutSeconds);
  host.WatchForAnswer(line.ConnectTimeoutSeconds);
  started = true;
  runsBefore = host.TheModel().SwDl.RunStatus().CompletedRuns;
  UASwDlStart start;
  host.TheController().Execute(start);

  int code = host.Run();
  progress.End();
  const bool portFailed = host.ErrorsShown() > 0;
  const bool answered = host.DeviceAnswered();
  host.Shutdown();
  if (portFailed) code = answered ? ExitFailed : ExitNoAnswer;
  if (json)
    TJsonLine("done").Bool("ok", code == ExitDone).Integer("exit_code", code)
        .Integer("parameters", static_cast<int64_t>(printed)).Integer("mismatches", static_cast<int64_t>(mismatches))
        .Number("seconds", std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count(), 1)
        .Print();
  return code;
}

int Receive(const std::vector<std::string>& words, const TCliArgs& parsed) {
  std::string error;
  if (!words.empty()) {
    std::fprintf(stderr, "qmss params receive: takes no file (use --out FILE)\n%s", ParamsUsage);
    return ExitUsage;
  }
  if (parsed.Has("--connect-timeout")) {
    std::fprintf(stderr, "qmss params receive: --connect-timeout is for send; receive waits --timeout for its "
                         "first line\n");
    return ExitUsage;
  }
  TLineOptions line;
  if (!ReadLineOptions(parsed, DefaultReceiveTimeoutSeconds, line, error)) {
    std::fprintf(stderr, "qmss params receive: %s\n", error.c_str());
    return ExitUsage;
  }
  double idleSeconds = DefaultIdleSeconds;
  if (parsed.Has("--idle") && !ParseSeconds(parsed.Value("--idle"), idleSeconds)) {
    std::fprintf(stderr, "qmss params receive: bad --idle \"%s\" (seconds, greater than 0)\n",
                 parsed.Value("--idle").c_str());
    return ExitUsage;
  }
  const std::string out = parsed.Value("--out");
  const uint8_t operation = parsed.Has("--test") ? ParameterUploadTest : ParameterUploadDownload;
  const bool json = parsed.Has("--json");
  const auto startTime = std::chrono::steady_clock::now();

  TCliHost host(line.IniPath);
  std::function<void()> onIdle;
  THostTimer idle(host.Loop(), 0, [&] { onIdle(); });
  size_t received = 0;
  // Stopping is the Stop button: the model ends the reception and raises
  // ReceiveStopped, which stores the lines below.
  auto stopReceiving = [&] {
    if (host.Finished()) return;
    host.CancelTimeout();
    idle.Stop();
    UASwDlStart stop;
    host.TheController().Execute(stop);
  };
  onIdle = stopReceiving;
  host.OnStateChanged = [&] {
    TModelSwDl& swdl = host.TheModel().SwDl;
    if (swdl.ListChanged.exchange(false)) {
      std::string text;
      bool any = false;
      while (swdl.TakeReceivedLine(text)) {
        if (json) {
          TJsonLine("line").Text("text", text).Print();
        } else {
          std::fwrite(text.data(), 1, text.size(), stdout);
          std::fputc('\n', stdout);
        }
        ++received;
        any = true;
      }
      std::fflush(stdout);
      if (any) {
        host.CancelTimeout();
        idle.Start(static_cast<int>(idleSeconds * 1000.0));
      }
    }
    if (swdl.ReceiveStopped.exchange(false) && !host.Finished()) {
      const std::vector<std::string> lines = swdl.DataLines();
      if (lines.empty()) {
        std::fprintf(stderr, "qmss params receive: nothing received\n");
        // Stopped by a signal: its code. Otherwise the device sent nothing
        // at all, or bytes that never made a line.
        host.Finish(host.StopSignal() ? host.StopExitCode() : host.DeviceAnswered() ? ExitFailed : ExitNoAnswer);
        return;
      }
      try {
        WriteTextLines("CPSTORE.TXT", lines);
        if (!out.empty()) WriteTextLines(out, lines);
      } catch (const TextFileError& e) {
        std::fprintf(stderr, "qmss params receive: %s\n", e.what());
        host.Finish(ExitFailed);
        return;
      }
      std::fprintf(stderr, "qmss params receive: %zu lines stored in CPSTORE.TXT%s\n", lines.size(),
                   out.empty() ? "" : (" and " + out).c_str());
      host.Finish(ExitDone);
    }
  };
  host.OnStop = stopReceiving;
  host.OnTimeout = [&] {
    std::fprintf(stderr, "qmss params receive: no line within %g s\n", line.TimeoutSeconds);
    stopReceiving();
  };

  if (!host.Start(operation, line.Port, line.Baud, line.Parity)) {
    std::fprintf(stderr, "qmss params receive: could not use %s\n", PortDescription(line).c_str());
    return ExitPortFailed;
  }
  if (!parsed.Has("--quiet") && !json)
    std::fprintf(stderr, "qmss params receive: listening on %s\n", PortDescription(line).c_str());
  if (json)
    TJsonLine("start").Text("command", "params receive").Text("port", line.PortText)
        .Integer("baud", host.TheModel().SwDl.GetBaudRate())
        .Text("parity", ParityText(host.TheModel().SwDl.GetParity())).Print();
  host.SetTimeout(line.TimeoutSeconds);
  UASwDlStart start;
  host.TheController().Execute(start);

  int code = host.Run();
  idle.Stop();
  const bool portFailed = host.ErrorsShown() > 0;
  const bool answered = host.DeviceAnswered();
  host.Shutdown();
  if (portFailed) code = answered ? ExitFailed : ExitNoAnswer;
  if (json) {
    std::vector<std::string> stored;
    if (code == ExitDone) {
      stored.push_back("CPSTORE.TXT");
      if (!out.empty()) stored.push_back(out);
    }
    TJsonLine("done").Bool("ok", code == ExitDone).Integer("exit_code", code)
        .Integer("lines", static_cast<int64_t>(received)).Texts("stored", stored)
        .Number("seconds", std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count(), 1)
        .Print();
  }
  return code;
}

}  // namespace

int RunParamsCommand(const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {QMSS_LINE_OPTIONS, {"--out", true}, {"--idle", true}, {"--test", false}, {"--json", false},
                     {"-q,--quiet", false}, {"-v,--verbose", false}, {"-h,--help", false}},
                    error)) {
    std::fprintf(stderr, "qmss params: %s\n%s", error.c_str(), ParamsUsage);
    return ExitUsage;
  }
  if (parsed.Has("--help")) {
    std::fputs(ParamsUsage, stdout);
    return ExitDone;
  }
  std::vector<std::string> words = parsed.Positional();
  const std::string action = words.empty() ? std::string() : words.front();
  if (!words.empty()) words.erase(words.begin());
  if (parsed.Has("--quiet") && parsed.Has("--verbose")) {
    std::fprintf(stderr, "qmss params: give -q or -v, not both\n");
    return ExitUsage;
  }
  if (action == "send") return Send(words, parsed);
  if (action == "receive") return Receive(words, parsed);
  std::fprintf(stderr, "qmss params: say send or receive\n%s", ParamsUsage);
  return ExitUsage;
}
