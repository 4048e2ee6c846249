// The data of the download and parameter view and of the channels serving it:
// the current operation, one TOpState per operation, the erased-page map, the
// received-line queue, the parameter result lists, the status texts and the
// event flags.
//
// Two threads use this data. The worker thread appends received lines and
// parameter results and reads images and parameter lines inside its steps;
// the host thread loads files and reads and empties lists. Everything shared
// is guarded by one mutex, and images are immutable once published: loading
// builds a new image and swaps it in, so a step never sees a half-loaded one.
#pragma once

#include <atomic>
#include <functional>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/Commconfig.h"
#include "comm/Runstatus.h"
#include "core/Runoutcome.h"
#include "core/Ansistring.h"
#include "core/Operations.h"
#include "core/Parameterindex.h"
#include "hex/Hexfile.h"

struct TOpState {
  std::unique_ptr<PortSettings> Settings;            // null for operation 0
  std::shared_ptr<const HexFile> Image;              // operations 1 and 2
  std::string DataFileName;
  std::unique_ptr<std::vector<std::string>> TextLines;  // operations 3, 4 and 5
  // The parameters of TextLines for NextParameter; null until first asked
  // for after TextLines changed.
  mutable std::unique_ptr<const TParameterIndex> Parameters;
  std::deque<std::string> ReceivedQueue;             // received, not yet shown
};

// The three lists of the parameter download table, taken together.
struct TParameterResults {
  std::vector<std::string> ParNumbers;
  std::vector<std::string> PreviousValues;
  std::vector<std::string> NewValues;
};

class TModelSwDl {
 public:
  TModelSwDl();

  // Operation table accessors about the current operation.
  void SetOperation(uint8_t id) { CurrentOperation = id; }
  uint8_t GetOperation() const { return CurrentOperation; }
  uint8_t OperationKind() const { return OperationKindOf(CurrentOperation); }
  int32_t ImageBase() const { return OperationImageBase(CurrentOperation); }
  bool IsK7310Download() const { return CurrentOperation == OpSwDlK7310; }
  bool IsTRX5170Download() const { return CurrentOperation == OpSwDlTrx5170; }
  bool IsParameterUpload() const { return CurrentOperation == OpParUlTest || CurrentOperation == OpParUlDownload; }
  int32_t GetBaudRate() const;
  void SetBaudRate(int32_t baud);
  char GetParity() const;
  void SetParity(char parity);

  // Kind 1: loads the HEX file into a new image (operation 2: then stamps its
  // checksum) and publishes it; kind 2: reads the parameter file's lines;
  // kind 3: nothing. Raises HexFileError / TextFileError naming the file; the
  // previous data then stay.
  void LoadFile(const std::string& fileName);
  // The two halves of a kind-1 load, for callers that look at the load report
  // before they decide: PrepareImage reads the file into a new image shaped for
  // the current operation; CommitImage publishes it.
  std::shared_ptr<HexFile> PrepareImage(const std::string& fileName) const;
  void CommitImage(std::shared_ptr<const HexFile> image);

  // A copy of the current operation's lines: the HEX file's lines (kind 1),
  // the parameter file's (kind 2), the received lines (kind 3).
  std::vector<std::string> DataLines() const;
  bool HasDataLines() const;
  bool HasData() const;
  std::string DisplayFileName() const;
  void SetReceivedFileName(const std::string& fileName);
  std::shared_ptr<const HexFile> CurrentImage() const;
  int32_t BlockLength(int32_t address, int32_t length) const;
  int32_t ByteAt(int32_t address) const;

  // The erased-page map: one flag per 2048 bytes of offset (worker thread).
  void ClearErasedPages();
  bool IsPageErased(int32_t address) const;
  void MarkPageErased(int32_t address);

  // Received lines of the parameter upload.
  void AddReceivedLine(const std::string& text);
  void ClearReceivedLines();
  bool TakeReceivedLine(std::string& text);

  // Kind 2: the first accepted parameter line in file order whose number is
  // greater than after. Numbers above 65535 do not fit the 16-bit field of the
  // protocol and would write another parameter: such lines do not count.
  bool NextParameter(int32_t after, int32_t& number, std::string& value) const;
  // Kind 2: how many parameters a run sends.
  int32_t SendableParameterCount() const;

  // The parameter download table (appended by the worker, taken by the view).
  void AppendParNumber(const std::string& text);
  void AppendPreviousValue(const std::string& text);
  void AppendNewValue(const std::string& text);
  TParameterResults TakeParameterResults();
  size_t ParameterResultCount() const;

  TOpState& OpState(int id) { return OpStates[id]; }

  // Event flags: set by model and channels, tested and cleared by the view.
  std::atomic<bool> ListChanged{false};
  std::atomic<bool> CommandIssued{false};
  std::atomic<bool> ReceiveStopped{false};
  std::atomic<bool> ParameterTableChanged{false};

  // Observable status texts (host thread only).
  TAnsiString StateText;
  TAnsiString AddressText;
  TAnsiString UnitText;

  // The run status the channel publishes with the texts, in the same
  // hand-over and before them (host thread only): what hosts decide on.
  const CmRunStatus& RunStatus() const { return LastRunStatus; }
  // Also notes how a run ended: OnRunEnded is called once for each run.
  void SetRunStatus(const CmRunStatus& status);
  std::function<void(const TRunEnd&)> OnRunEnded;
  // Done, Failed or Stopped while the last run's outcome is to be shown;
  // Idle otherwise. Cleared by the next Open, Download or change of operation.
  CmPhase RunOutcome() const { return Outcome.Shown(); }
  void ClearRunOutcome() { Outcome.Clear(); }

 private:
  const TOpState* Current() const;
  TOpState* Current();

  mutable std::mutex Lock;  // guards OpStates' images, lines and queues, and the results
  TOpState OpStates[OperationCount];
  std::atomic<uint8_t> CurrentOperation{0};
  uint8_t ErasedPages[256] = {};
  TParameterResults Results;
  CmRunStatus LastRunStatus;
  TRunOutcome Outcome;
};

// Line numbers (1-based) of accepted parameter lines whose number does not fit
// 16 bits; the parameter download skips them.
std::vector<int> OversizedParameterLines(const std::vector<std::string>& lines);
