#include "cli/Runtimeout.h"

#include "cli/Imageshapes.h"
#include "comm/K7310map.h"
#include "comm/Wiretime.h"
#include "hex/Hexfile.h"

namespace {

constexpr int64_t K7310Block = 256;
// A write: command (2) + address (5) + count, data, check (n + 2), three
// acknowledgements; a read: command (2) + address (5) + count (2), three
// acknowledgements and the n bytes. The verification pass reads again.
constexpr int64_t K7310WriteOverhead = 2 + 5 + 2 + 3;
constexpr int64_t K7310ReadOverhead = 2 + 5 + 2 + 3;
// An erase: command (2) + page list (3), two acknowledgements.
constexpr int64_t K7310EraseBytes = 2 + 3 + 2;
// Connect, route and Go with their answers.
constexpr int64_t K7310PartOverhead = 32;

constexpr int64_t Trx5170Block = 64;
// A block frame: start, length, address, command, block address (4), check;
// its answer frame of 6 data bytes; busy polls of 5 out and 10 back.
constexpr int64_t Trx5170BlockOverhead = 9 + 11;
constexpr int64_t Trx5170PollsPerBlock = 3;
constexpr int64_t Trx5170PollBytes = 5 + 10;
// Connect, revision, rate change and the unlock signature with answers.
constexpr int64_t Trx5170SetupBytes = 160;

constexpr double WireFactor = 3;
constexpr double FixedSeconds = 60;

int64_t Blocks(int64_t bytes, int64_t block) { return (bytes + block - 1) / block; }

}  // namespace

int64_t K7310RunBytes(const HexFile& image) {
  int64_t total = 0;
  for (int p = 0; p < K7310ProcessorCount; ++p) {
    const int64_t used = ProcessorUsedLength(image, p);
    if (used <= 0) continue;
    const int64_t blocks = Blocks(used, K7310Block);
    total += K7310PartOverhead + 3 * used + blocks * (K7310WriteOverhead + 2 * K7310ReadOverhead) +
             Blocks(used, K7310Processors[p].PageSize) * K7310EraseBytes;
  }
  return total;
}

int64_t Trx5170RunBytes(const HexFile& image) {
  const int64_t used = image.UsedLength() > 0 ? image.UsedLength() : 0;
  return Trx5170SetupBytes + used +
         Blocks(used, Trx5170Block) * (Trx5170BlockOverhead + Trx5170PollsPerBlock * Trx5170PollBytes);
}

double RunTimeoutSeconds(int64_t bytes, int32_t baudRate, char parity) {
  const double wireSeconds =
      static_cast<double>(WireTime(static_cast<size_t>(bytes), baudRate, parity).count()) / 1e6;
  return WireFactor * wireSeconds + FixedSeconds;
}
