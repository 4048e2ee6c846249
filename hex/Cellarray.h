// The cells of an image. To the image's users a cell is a signed 32-bit value,
// -1 for empty or a byte 0 to 255; stored, it is the byte plus one bit of a
// "filled" bitmap.
//
// The storage is shaped by what a load costs: a full image is 0xB0000 cells,
// and touching fresh memory for the first time costs more per page than
// parsing the records that land in it. Bytes and bitmap take less than a
// third of the pages of 32-bit cells; a new array reads as empty while
// still all zero, so it touches no page until data arrives, and clearing
// it clears the bitmap only (a byte without its bit is never read).
#pragma once

#include <cstddef>
#include <cstdint>

class CellArray {
 public:
  explicit CellArray(size_t count);  // all empty
  ~CellArray();
  CellArray(const CellArray&) = delete;
  CellArray& operator=(const CellArray&) = delete;

  size_t size() const { return Count; }
  bool IsFilled(size_t i) const { return (Bits[i / 64] >> (i % 64)) & 1; }
  int32_t Get(size_t i) const { return IsFilled(i) ? Bytes[i] : -1; }
  void Set(size_t i, uint8_t value) {
    Bytes[i] = value;
    Bits[i / 64] |= uint64_t{1} << (i % 64);
  }

  void SetRun(size_t first, const uint8_t* values, size_t n);  // cells first to first+n-1

  void Clear();                      // every cell empty
  size_t FilledCount() const;
  int64_t LastFilled() const;        // index of the highest filled cell, or -1
  // Cells 0 to count-1 become those of other, empty ones included.
  void CopyFrom(const CellArray& other, size_t count);
  // The filled cells among 0 to count-1 of other overwrite these; returns
  // the highest such index, or -1.
  int64_t Overlay(const CellArray& other, size_t count);

 private:
  size_t Count;
  size_t Words;             // bitmap words
  size_t MappedBytes = 0;
  void* Block = nullptr;    // bitmap first, then the bytes
  uint64_t* Bits = nullptr;
  uint8_t* Bytes = nullptr;
};
