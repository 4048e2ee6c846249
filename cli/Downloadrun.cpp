#include "cli/Downloadrun.h"

#include <cmath>

#include "cli/Commands.h"
#include "cli/Figuretext.h"
#include "cli/Jsonline.h"
#include "core/Modelswdl.h"
#include "core/Useraction.h"

namespace {
// Progress events: at most ten a second.
constexpr auto ProgressEventInterval = std::chrono::milliseconds(100);
}  // namespace

TDownloadRun::TDownloadRun(TCliHost& host, const TDownloadOutput& output, std::vector<int64_t> partUnits,
                           std::vector<std::string> partNames)
    : Host(host),
      Options(output),
      Progress(stderr),
      Drawing(host.Loop()),
      Meter(partUnits, !partNames.empty()),
      PartUnits(std::move(partUnits)),
      PartNames(std::move(partNames)) {
  Progress.SetQuiet(output.Quiet || output.Json);
}

double TDownloadRun::Seconds() const {
  if (!Started) return 0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - StartTime).count();
}

void TDownloadRun::Start() {
  Started = true;
  StartTime = std::chrono::steady_clock::now();
  const CmRunStatus& status = Host.TheModel().SwDl.RunStatus();
  RunsBefore = status.CompletedRuns;
  UASwDlStart start;
  Host.TheController().Execute(start);
}

void TDownloadRun::Observe() {
  const CmRunStatus& status = Host.TheModel().SwDl.RunStatus();
  Meter.Update(status, Seconds());
  if (!Options.Json) return;
  if (!PartNames.empty() && status.Part != CmRunStatus::NoPart && status.Part != LastPart &&
      status.Part < static_cast<int>(PartNames.size())) {
    LastPart = status.Part;
    const auto part = static_cast<size_t>(status.Part);
    TJsonLine("part").Integer("index", status.Part).Text("name", PartNames[part]).Integer("bytes", PartUnits[part]).Print();
  }
  const TRunFigures f = Meter.Figures();
  TJsonLine progress("progress");
  progress.Text("phase", PhaseName(status.Phase));
  if (status.Part == CmRunStatus::NoPart)
    progress.Raw("part", "null");
  else
    progress.Integer("part", status.Part);
  progress.Number("percent", f.Fraction * 100, 1).Integer("bytes_done", f.UnitsDone).Integer("bytes_total", f.UnitsTotal);
  // Throttled, and only when a figure other than the clock moved.
  const std::string moved = progress.Get();
  const auto now = std::chrono::steady_clock::now();
  if (moved == LastProgressJson || now - LastProgressEvent < ProgressEventInterval) return;
  LastProgressJson = moved;
  LastProgressEvent = now;
  progress.Number("bytes_per_s", f.Rate, 1).Number("elapsed_s", f.Seconds, 1).Number("left_s", f.SecondsLeft, 1, true);
  progress.Print();
}

void TDownloadRun::TextChanged() {
  if (Started && !Host.Finished()) Observe();
  const CmRunStatus& status = Host.TheModel().SwDl.RunStatus();
  if (Started && !Stopping && !Host.Finished() && status.CompletedRuns > RunsBefore) {
    Meter.Completed(Seconds());
    const std::string& state = Host.TheModel().SwDl.StateText.Get();
    Progress.Message("qmss download: done (" + state + ")");
    Host.Finish(ExitDone);
  }
  if (!DrawPending) {
    DrawPending = true;
    Drawing.Post([this] { Draw(); });
  }
}

void TDownloadRun::LogLine(const std::string& text) {
  for (const std::string& line : Lines.Add(text)) {
    // A download channel logs what went wrong, one line at a time.
    if (Options.Json && Started) TJsonLine("failure").Text("line", line).Print();
    // -v adds to what is shown: on stderr, even beside --json.
    if (Options.Verbose) Progress.Error("log: " + line);
  }
}

void TDownloadRun::Stop(const std::string& why, int code) {
  if (Host.Finished()) return;
  Stopping = true;
  Progress.Error("qmss download: " + why + "; stopping the run");
  UASwDlAbort abort;
  Host.TheController().Execute(abort);
  Host.Finish(code);
}

void TDownloadRun::Draw() {
  DrawPending = false;
  if (Host.Finished()) return;
  TModelSwDl& swdl = Host.TheModel().SwDl;
  const CmRunStatus& status = swdl.RunStatus();
  const bool counting = status.TotalUnits > 0;
  const TRunFigures f = Meter.Figures();
  Progress.Show(swdl.StateText.Get(), swdl.AddressText.Get(), swdl.UnitText.Get(),
                counting ? static_cast<long>(status.DoneUnits) : -1, counting ? static_cast<long>(status.TotalUnits) : 0,
                Started ? &f : nullptr);
}

void TDownloadRun::Finished(int code, const std::string& why) {
  Progress.End();
  if (Started && code != ExitDone) Meter.SetSeconds(Seconds());
  const bool k7310 = !PartNames.empty();
  const TRunFigures f = Meter.Figures();
  std::vector<std::string> verified;
  for (int p : Meter.VerifiedParts())
    if (static_cast<size_t>(p) < PartNames.size()) verified.push_back(PartNames[static_cast<size_t>(p)]);
  const std::string summary =
      Started ? SummaryLine(code == ExitDone, k7310 ? "verified" : "downloaded", f, "bytes",
                            static_cast<int>(verified.size()), k7310 ? Meter.PartsWithData() : 0)
              : std::string();
  if (!summary.empty()) Progress.Error("qmss download: " + summary);
  if (!Options.Json) return;
  TJsonLine done("done");
  done.Bool("ok", code == ExitDone).Integer("exit_code", code).Integer("bytes", f.UnitsDone)
      .Integer("bytes_total", Meter.TotalUnits()).Number("seconds", f.Seconds, 1);
  if (k7310) done.Texts("parts_verified", verified);
  if (!summary.empty()) done.Text("summary", summary);
  if (!why.empty()) done.Text("error", why);
  done.Print();
}
