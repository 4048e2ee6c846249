#include "hex/Cellarray.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

// A mapping of its own, not the heap: fresh anonymous pages read as zero
// (all cells empty) and take memory only once written.
CellArray::CellArray(size_t count) : Count(count), Words((count + 63) / 64) {
  MappedBytes = Words * sizeof(uint64_t) + Count;
  if (MappedBytes == 0) return;
#ifdef _WIN32
  Block = ::VirtualAlloc(nullptr, MappedBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!Block) throw std::bad_alloc();
#else
  Block = ::mmap(nullptr, MappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (Block == MAP_FAILED) throw std::bad_alloc();
#endif
  Bits = static_cast<uint64_t*>(Block);
  Bytes = reinterpret_cast<uint8_t*>(Bits + Words);
}

CellArray::~CellArray() {
#ifdef _WIN32
  if (Block) ::VirtualFree(Block, 0, MEM_RELEASE);
#else
  if (Block) ::munmap(Block, MappedBytes);
#endif
}

void CellArray::SetRun(size_t first, const uint8_t* values, size_t n) {
  if (n == 0) return;
  std::memcpy(Bytes + first, values, n);
  // Whole bitmap words at a time: a record covers at most five of them.
  const size_t end = first + n;
  for (size_t w = first / 64; w * 64 < end; ++w) {
    const size_t from = std::max(first, w * 64) - w * 64;
    const size_t to = std::min(end, w * 64 + 64) - w * 64;
    const uint64_t high = to == 64 ? ~uint64_t{0} : (uint64_t{1} << to) - 1;
    Bits[w] |= high & ~((uint64_t{1} << from) - 1);
  }
}

void CellArray::Clear() {
  // A byte counts only while its bit is set, so the bitmap alone is cleared.
  if (Bits) std::memset(Bits, 0, Words * sizeof(uint64_t));
}

size_t CellArray::FilledCount() const {
  size_t n = 0;
  for (size_t w = 0; w < Words; ++w) n += static_cast<size_t>(std::popcount(Bits[w]));
  return n;
}

int64_t CellArray::LastFilled() const {
  for (size_t w = Words; w > 0; --w)
    if (const uint64_t bits = Bits[w - 1])
      return static_cast<int64_t>((w - 1) * 64 + 63 - static_cast<size_t>(std::countl_zero(bits)));
  return -1;
}

void CellArray::CopyFrom(const CellArray& other, size_t count) {
  count = std::min({count, Count, other.Count});
  if (count == 0) return;
  std::memcpy(Bytes, other.Bytes, count);
  const size_t whole = count / 64;
  std::memcpy(Bits, other.Bits, whole * sizeof(uint64_t));
  if (const size_t rest = count % 64) {
    const uint64_t mask = (uint64_t{1} << rest) - 1;
    Bits[whole] = (Bits[whole] & ~mask) | (other.Bits[whole] & mask);
  }
}

int64_t CellArray::Overlay(const CellArray& other, size_t count) {
  count = std::min({count, Count, other.Count});
  int64_t last = -1;
  for (size_t w = 0; w * 64 < count; ++w) {
    uint64_t bits = other.Bits[w];
    if (count - w * 64 < 64) bits &= (uint64_t{1} << (count - w * 64)) - 1;
    while (bits) {
      const size_t i = w * 64 + static_cast<size_t>(std::countr_zero(bits));
      Set(i, other.Bytes[i]);
      last = static_cast<int64_t>(i);
      bits &= bits - 1;
    }
  }
  return last;
}
