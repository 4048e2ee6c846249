// The K7310 download channel run through the model and the worker thread by
// the tests' one channel host, with its port mapped to a device path (a pty
// slave); loads test images and records the state texts shown.
#pragma once

#include <string>
#include <vector>

#include "tests/k7310/Testimage.h"
#include "tests/support/Channelhost.h"

class TK7310Host {
 public:
  explicit TK7310Host(const std::string& devicePath, int baudRate = 115200, char parity = 'E');
  ~TK7310Host();

  // Writes the image as a HEX file and opens it as the download view does.
  void Load(const TTestImage& image, const std::string& name = "image.hex");
  void StartDownload() { Host.PressStart(); }
  void StopDownload() { Host.PressAbort(); }

  int State() const { return Host.State(); }
  std::string StateText() const { return Host.StateText(); }
  std::string UnitText() const { return Host.ModelPtr->SwDl.UnitText.Get(); }
  // Pumps events until the channel is back in state 1 showing text.
  bool WaitForIdle(const std::string& text, int timeoutMs = 60000);
  // Every state text shown so far, in order (each change once).
  std::vector<std::string> TextsSeen() const { return Texts; }
  bool Saw(const std::string& text) const;

  ChannelHost Host;

 private:
  static void OnStateText(void* self);
  std::vector<std::string> Texts;
  int Subscription = 0;
};

// The image's text for the two ends of a run.
inline constexpr const char* ReadyText = "Ready for download";
inline constexpr const char* DoneText = "Download done. Ready for new download";
