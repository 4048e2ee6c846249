// Loads an Intel HEX file into the first download protocol's image (704 KiB
// at 0x08000000) and writes cells 0 to UsedLength-1 as a binary, empty cells
// as 0xFF. Timed as a whole process by bench/hexload.sh.
#include <algorithm>
#include <cstdio>

#include "hex/Hexfile.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FILE.hex OUT.bin\n", argv[0]);
    return 2;
  }
  HexFile image(0xB0000, 0x08000000);
  try {
    image.Load(argv[1]);
  } catch (const HexFileError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  const HexLoadReport& report = image.Report();
  if (report.HasRecordProblems()) std::fprintf(stderr, "warning: %s\n", report.RecordProblemText().c_str());
  if (report.HasOutside()) std::fprintf(stderr, "warning: %s\n", report.OutsideText().c_str());

  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::perror(argv[2]);
    return 1;
  }
  // Written through a small buffer: the whole binary is as large as the image.
  const int32_t used = image.UsedLength();
  char chunk[65536];
  bool written = true;
  for (int32_t start = 0; start < used && written; start += static_cast<int32_t>(sizeof chunk)) {
    const int32_t n = std::min<int32_t>(used - start, sizeof chunk);
    for (int32_t k = 0; k < n; ++k) {
      const int32_t cell = image.ByteAt(start + k);  // below the base address: a cell index
      chunk[k] = cell >= 0 ? static_cast<char>(cell) : '\xFF';
    }
    written = std::fwrite(chunk, 1, static_cast<size_t>(n), out) == static_cast<size_t>(n);
  }
  if (std::fclose(out) != 0 || !written) {
    std::perror(argv[2]);
    return 1;
  }
  return 0;
}
