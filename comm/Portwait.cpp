#include "comm/Portwait.h"

#include <algorithm>
#include <chrono>

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
