// A test host running the K7310 download channel through the model and the
// worker thread, with its port mapped to a device path (a pty slave).
#pragma once

#include <string>
#include <vector>

#include "tests/k7310/Testimage.h"
#include "tests/support/Testhost.h"

class TK7310Host {
 public:
  static constexpr int PortNumber = 7;

  explicit TK7310Host(const std::string& devicePath, int baudRate = 115200, char parity = 'E');
  ~TK7310Host();

  // Writes the image as a HEX file and opens it as the download view does.
  void Load(const TTestImage& image, const std::string& name = "image.hex");
  void StartDownload();
  void StopDownload();

  int State() const { return Host.ModelPtr->ChannelState(); }
  std::string StateText() const { return Host.ModelPtr->SwDl.StateText.Get(); }
  std::string UnitText() const { return Host.ModelPtr->SwDl.UnitText.Get(); }
  // Pumps events until the channel is back in state 1 showing text.
  bool WaitForIdle(const std::string& text, int timeoutMs = 60000);
  // Every state text shown so far, in order (each change once).
  std::vector<std::string> TextsSeen() const { return Texts; }
  bool Saw(const std::string& text) const;

  TTestHost Host;

 private:
  static void OnStateText(void* self);
  std::vector<std::string> Texts;
  int Subscription = 0;
};

// The image's text for the two ends of a run.
inline constexpr const char* ReadyText = "Ready for download";
inline constexpr const char* DoneText = "Download done. Ready for new download";
