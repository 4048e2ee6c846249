// A publisher holding one text that notifies only when the text changes (or
// after Invalidate).
#pragma once

#include <string>

#include "core/Publisher.h"

class TAnsiString : public TPublisher {
 public:
  void Set(const std::string& text);
  void Invalidate();
  const std::string& Get() const { return Value; }

 private:
  std::string Value;
};
