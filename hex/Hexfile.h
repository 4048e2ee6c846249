// Intel HEX firmware images: a fixed-size array of cells at a base address,
// with the text lines of the file it was read from.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "hex/Cellarray.h"

// One record line, read and rewritten field by field by character position
// (1-based, no trimming).
class HexString {
 public:
  explicit HexString(std::string line);
  const std::string& Text() const { return Line; }
  // The hex digits at positions first..last; non-hex characters and positions
  // past the end read as 0; 0 when the field is shorter than 1 or longer than 8.
  int32_t HexValue(int first, int last) const;
  // Replaces positions first..last with value in upper-case hex ("%0*X").
  void SetHexValue(int first, int last, int32_t value);

 private:
  std::string Line;
};

// What a Load (or the second reading of a Relocate) found wrong. The image is
// built regardless; the report lets the caller warn or refuse.
struct HexLoadReport {
  static constexpr int MaxListedLines = 8;

  int RecordCount = 0;           // non-blank lines read
  int BadChecksumLines = 0;      // records whose checksum does not match
  int MalformedLines = 0;        // non-hex digits in a field, or a short line
  std::vector<int> ProblemLines; // first few line numbers (1-based) of either kind

  int64_t OutsideBytes = 0;      // data bytes whose cell lies outside the image
  int64_t FirstOutside = 0;      // lowest and highest such absolute address
  int64_t LastOutside = 0;

  bool HasRecordProblems() const { return BadChecksumLines > 0 || MalformedLines > 0; }
  bool HasOutside() const { return OutsideBytes > 0; }
  bool Clean() const { return !HasRecordProblems() && !HasOutside(); }
  // One or two sentences for a message box or stderr; empty when clean.
  std::string RecordProblemText() const;
  std::string OutsideText() const;

  // Filled in while records are read.
  void NoteBadChecksum(int lineNumber);
  void NoteMalformed(int lineNumber);
  void NoteOutside(int64_t address);
  // Adds the findings of other, whose lines follow lineOffset lines of this
  // one (Merge appends the lines of another image).
  void Append(const HexLoadReport& other, int lineOffset);

 private:
  void NoteProblemLine(int lineNumber);
};

// Raised by Load when the file cannot be read; the image is left unchanged.
class HexFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class HexFile {
 public:
  HexFile(int32_t size, int32_t baseAddress);
  HexFile(const HexFile&) = delete;
  HexFile& operator=(const HexFile&) = delete;

  int32_t Size() const { return CellCount; }
  int32_t BaseAddress() const { return Base; }

  // Reads a file. All or nothing: when the file cannot be read, or is larger
  // than any image needs (64 MiB), HexFileError names it and lines, cells,
  // file name and loaded flag stay as they were.
  void Load(const std::string& fileName);
  // Reads a file's records into the cells as it goes, keeping no text lines
  // (Lines() becomes null): for a caller that needs cells and report only,
  // at a fraction of the memory. Meant for an image not loaded before: when
  // the file cannot be read, HexFileError names it and the image is left
  // empty and not loaded.
  void LoadWithoutLines(const std::string& fileName);
  bool IsLoaded() const { return Loaded; }
  const std::string& FileName() const { return Name; }
  // Null before the first Load, Assign or Merge.
  const std::vector<std::string>* Lines() const { return LineList.get(); }
  const HexLoadReport& Report() const { return LastReport; }

  int32_t UsedLength() const;
  int32_t BlockLength(int32_t address, int32_t count) const;
  int32_t ByteAt(int32_t address) const {
    // At or above the base address an address, below it a cell index.
    const int64_t index = address >= Base ? int64_t{address} - Base : int64_t{address};
    return index >= 0 && index < CellCount ? Cells.Get(static_cast<size_t>(index)) : -1;
  }
  int32_t FilledCount() const;  // number of cells holding a byte

  void Assign(const HexFile& other);
  void Merge(const HexFile& other);
  void Relocate(int32_t newBase);
  void StampChecksum();

 private:
  int32_t CellCount;
  int32_t Base;
  bool Loaded = false;
  std::string Name;
  std::unique_ptr<std::vector<std::string>> LineList;
  CellArray Cells;
  mutable std::atomic<int32_t> CachedUsedLength{-1};
  HexLoadReport LastReport;

  void ReadRecordsFromLines(bool honourSegmentRecords);
  int32_t ScanUsedLength() const;
};
