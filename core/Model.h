// The one model of the application: owns the active channel and the worker
// thread that drives it, the selected operation and its data, the total hex
// tool's data, and the channels' reply timer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/Commconfig.h"
#include "core/Modelswdl.h"
#include "core/Modeltotalhex.h"
#include "core/Replytimer.h"

class CmBase;
class TCommThread;
class TModel;
class THost;

using TChannelFactory =
    std::function<std::unique_ptr<CmBase>(TModel&, const CmConfig&, PortSettings*)>;

class TModel {
 public:
  // Reads the model's INI keys. With writeIniAtExit false (the command line)
  // the destructor leaves the INI file alone.
  explicit TModel(THost& host, bool writeIniAtExit = true);
  // Writes the model's INI keys, then destroys channel and thread. A thread
  // still running is stopped first.
  ~TModel();
  TModel(const TModel&) = delete;
  TModel& operator=(const TModel&) = delete;

  // Replaces channel and thread for the configuration. Only after the old
  // thread has left its loop (or before the first one).
  void Restart(CmConfig& config);
  // Asks the worker thread to end; does not wait.
  void StopCommunication();
  void SendCommand(int code);
  void Start();
  void Abort();
  std::string PortName() const;
  static void ListOperations(std::vector<std::string>& list);
  void StartReplyTimer(int milliseconds);
  void StopReplyTimer();
  void ReplyTimeout();
  int ChannelState() const;
  // Whether the channel is moving data: a download or parameter download
  // from its start request on (state 2 or more, but not 3, where it waits
  // for its port), an upload while it receives (state 1). Actions that would end the channel ask the user first then.
  bool InTransfer() const;

  bool ThreadRunning() const;
  // Which channel Restart builds; the default serves each operation with its
  // device channel. Tests put channels of their own here.
  void SetChannelFactory(TChannelFactory factory) { ChannelFactory = std::move(factory); }
  CmBase* CurrentChannel() const { return Channel.get(); }
  TCommThread* CurrentThread() const { return Thread.get(); }
  THost& Host() const { return HostRef; }
  TReplyTimer& ReplyTimer() { return tmCommTimeout; }

  TModelSwDl SwDl;
  TModelTotalHex TotalHex;
  bool ToolMenu = false;

 private:
  void WriteIniKeys();
  void ReplyTimerExpired(uint64_t generation);
  // Command to the channel, serialised with a step in progress for the
  // channels whose steps never block.
  void ChannelCommand(int code);

  THost& HostRef;
  bool WriteIniAtExit;
  bool ShuttingDown = false;
  TChannelFactory ChannelFactory;
  std::unique_ptr<PortSettings> ChannelSettings;  // the running channel's copy
  std::unique_ptr<CmBase> Channel;
  std::unique_ptr<TCommThread> Thread;
  TReplyTimer tmCommTimeout;
};
