// The program's error type for failed serial calls. Its message is one of the
// fixed "Communication: ..." texts; the worker thread shows it and ends.
#pragma once

#include <stdexcept>
#include <string>

class ECommError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The fixed texts, so that no channel spells one differently.
namespace CommText {
inline constexpr const char* InvalidHandle = "Communication: Invalid Handle";
inline constexpr const char* CouldNotGetSettings = "Communication: Could not get settings";
inline constexpr const char* InvalidSettings = "Communication: Invalid settings";
inline constexpr const char* CouldNotApplySettings = "Communication: Could not apply settings";
inline constexpr const char* CouldNotApplyTimeouts = "Communication: Could not apply timeouts";
inline constexpr const char* CouldNotTransmit = "Communication: Could not transmit data";
inline constexpr const char* CouldNotFlush = "Communication: Could not flush transmit data";
inline constexpr const char* CouldNotReadStx = "Communication: Could not read (STX) port";
inline constexpr const char* CouldNotRead = "Communication: Could not read port";
inline constexpr const char* CouldNotReadEmpty = "Communication: Could not read port during empty";
}  // namespace CommText
