// Parameter lines of any content: the parser must never read past the line,
// and what it accepts must keep its own promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/Parameterline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  int32_t number = 0;
  std::string value, description;
  const bool accepted = ParseParameterLine(line, number, value, description);
  if (accepted && number <= 0) std::abort();
  if (value.size() > 255 || description.size() > 255) std::abort();
  return 0;
}
