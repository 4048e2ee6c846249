// HEX files of any content, loaded into a part and a total image, then
// relocated and merged as the total hex tool does, and loaded once more into
// the second protocol's image and stamped: nothing may be written outside the
// cells, and the used length must agree with the cells.
//
// The images are far smaller than the product's (the code does not depend on
// the size): every check below scans from the used length to the end of the
// image, and at the product sizes those scans took nearly all the time of an
// execution. The stamped image keeps the least size the stamp needs, and is
// stamped only when the input put data into it: the stamp sums 0x18000 cells
// whatever they hold, which would otherwise be half of every execution.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "hex/Hexfile.h"

namespace {
constexpr int32_t FlashBase = 0x08000000;
constexpr int32_t PartSize = 0x1000;
constexpr int32_t TotalSize = 0x3000;
// The last slot of the total, so that a relocated part can run past its end.
constexpr int32_t RelocatedBase = FlashBase + 0x2000;
constexpr int32_t StampedSize = 0x18000;  // the stamp fills its last four cells
constexpr int32_t StampedBase = 0x000E0000;

std::string TempPath() {
  static const std::string path = "/dev/shm/qmss_fuzz_hex_" + std::to_string(getpid()) + ".hex";
  return path;
}

void CheckUsedLength(const HexFile& image) {
  const int32_t used = image.UsedLength();
  if (used == 0 || used > image.Size()) std::abort();
  if (used > 0 && image.ByteAt(used - 1) < 0) std::abort();
  if (used > 0 && image.BlockLength(used, image.Size()) != -1) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempPath();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  HexFile part(PartSize, FlashBase);
  try {
    part.Load(path);
  } catch (const HexFileError&) {
    return 0;
  }
  CheckUsedLength(part);

  HexFile total(TotalSize, FlashBase);
  HexFile work(TotalSize, FlashBase);
  total.Assign(part);
  work.Assign(part);
  work.Relocate(RelocatedBase);
  CheckUsedLength(work);
  total.Merge(work);
  CheckUsedLength(total);

  HexFile stamped(StampedSize, StampedBase);
  stamped.Load(path);
  CheckUsedLength(stamped);
  if (stamped.FilledCount() > 0) {
    stamped.StampChecksum();
    CheckUsedLength(stamped);
    if (stamped.UsedLength() != StampedSize) std::abort();  // the stamp fills the last four cells
  }
  return 0;
}
