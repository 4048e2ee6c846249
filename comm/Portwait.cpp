#include "comm/Portwait.h"

#include <algorithm>
#include <chrono>

#include "comm/Portmap.h"

namespace {

constexpr auto LookSlice = std::chrono::milliseconds(50);

std::string CauseOf(const std::string& error) {
  const size_t lineEnd = error.find('\n');
  if (lineEnd == std::string::npos) return error;
  std::string cause = error.substr(lineEnd + 1);
  while (!cause.empty() && (cause.back() == '\n' || cause.back() == '\r')) cause.pop_back();
  return cause;
}

}  // namespace

void CmPortWait::Missing(TClock::Time now, const std::string& error) {
  AttemptFailed(now, error);
}

TClock::Duration CmPortWait::WaitFrom(TClock::Time now) const {
  if (now >= NextAttempt) return TClock::Duration::zero();
  return std::min<TClock::Duration>(NextAttempt - now, LookSlice);
}

void CmPortWait::AttemptFailed(TClock::Time now, const std::string& error) {
  AbsentCause = CauseOf(error);
  NextAttempt = now + std::chrono::milliseconds(ReopenIntervalMs);
}

std::string CmPortWait::TakeMessage() {
  std::string message;
  message.swap(Message);
  return message;
}

std::string PortHangupCause(int number) {
  const std::string path = ComDevicePath(number);
  return ComName(number) + (path.empty() ? "" : " (" + path + ")") +
         " has hung up: the device is gone. Plug it in again; the port opens again by itself.";
}

std::string PortErrorLogLines(const std::string& message) {
  std::string lines;
  for (char c : message) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return lines + "\r\n";
}
