// HEX files of any content, loaded into the part and total shapes, then
// relocated and merged as the total hex tool does: nothing may be written
// outside the cells, and the used length must agree with the cells.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "hex/Hexfile.h"

namespace {
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
  HexFile part(0x10000, 0x08000000);
  try {
    part.Load(path);
  } catch (const HexFileError&) {
    return 0;
  }
  CheckUsedLength(part);

  HexFile total(0xB0000, 0x08000000);
  HexFile work(0xB0000, 0x08000000);
  total.Assign(part);
  work.Assign(part);
  work.Relocate(0x08090000);
  CheckUsedLength(work);
  total.Merge(work);
  CheckUsedLength(total);

  HexFile trx(0x20000, 0x000E0000);
  trx.Load(path);
  trx.StampChecksum();
  CheckUsedLength(trx);
  return 0;
}
