#include "core/Ansistring.h"

void TAnsiString::Set(const std::string& text) {
  if (text == Value && !Invalid) return;
  Value = text;
  // Cleared before notifying, so that a handler that invalidates the text
  // again keeps its mark.
  Invalid = false;
  Notify();
}

void TAnsiString::Invalidate() {
  Value.clear();
  Invalid = true;
  Notify();
}
