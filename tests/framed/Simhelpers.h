// Starting a simulated device for a channel test and recording what the
// channel showed.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/Ansistring.h"
#include "sim/Simulators.h"

// A started simulator, or null with the reason added as a test failure.
template <typename Device>
std::unique_ptr<Device> StartDevice(SimKind kind, const SimOptions& options) {
  std::unique_ptr<SimDevice> device = MakeSimulator(kind, options);
  std::string error;
  if (!device || !device->Start(error)) {
    ADD_FAILURE() << "simulator did not start: " << error;
    return nullptr;
  }
  return std::unique_ptr<Device>(static_cast<Device*>(device.release()));
}

inline std::string WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Every distinct text a status text showed, in order (a TAnsiString notifies
// only on change, on the host thread).
class TextRecorder {
 public:
  explicit TextRecorder(TAnsiString& text) : Text(text) { Id = Text.Subscribe(&TextRecorder::Changed, this); }
  ~TextRecorder() { Text.Unsubscribe(Id); }
  TextRecorder(const TextRecorder&) = delete;
  TextRecorder& operator=(const TextRecorder&) = delete;

  const std::vector<std::string>& Seen() const { return Texts; }
  bool Saw(const std::string& text) const {
    for (const std::string& t : Texts)
      if (t == text) return true;
    return false;
  }

 private:
  static void Changed(void* self) {
    auto* r = static_cast<TextRecorder*>(self);
    r->Texts.push_back(r->Text.Get());
  }
  TAnsiString& Text;
  int32_t Id = 0;
  std::vector<std::string> Texts;
};
