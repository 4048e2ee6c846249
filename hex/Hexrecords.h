// Reading Intel HEX record lines into image cells, field by field by
// character position (see HexString), and checking each record on the way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hex/Hexfile.h"

namespace hexrecords {

enum RecordType : uint32_t {
  Data = 0x00,
  EndOfFile = 0x01,
  ExtendedSegmentAddress = 0x02,
  StartSegmentAddress = 0x03,
  ExtendedLinearAddress = 0x04,
  StartLinearAddress = 0x05,
};

struct RecordHeader {
  uint32_t Count;    // positions 2-3
  uint32_t Address;  // positions 4-7
  uint32_t Type;     // positions 8-9
};

RecordHeader ReadHeader(std::string_view line);

// A type 04 record with count 2 and address 0, or a type 05 record with count
// 4 and address 0: the only address records that count.
bool IsLinearAddressRecord(const RecordHeader& header);

// The checksum the record needs: the two's complement of the low byte of the
// sum of count, address, type and data bytes.
uint32_t RecordChecksum(std::string_view line);

// Reads records one line after the other into cells, which the caller has
// emptied, with the rules of ReadRecords below; lines are numbered from 1 in
// the order they come.
class RecordReader {
 public:
  RecordReader(bool honourSegmentRecords, int32_t baseAddress, CellArray& cells, HexLoadReport& report);
  void Read(std::string_view line);

 private:
  bool HonourSegmentRecords;
  int64_t Base;
  int64_t Size;
  CellArray& Cells;
  HexLoadReport& Report;
  uint32_t ExtendedBase = 0;
  int LineNumber = 0;
};

// Places the data of lines into cells, which the caller has emptied.
// Data records go to extended base + address + k - base address; the 16-bit
// address does not wrap. Bytes whose cell would lie outside the image are
// left out and counted. Types 04 and 05 move the extended base, type 02 only
// when honourSegmentRecords is set; other types are skipped. Every non-blank
// line is checked for hex digits in its fields and for its checksum.
void ReadRecords(const std::vector<std::string>& lines, bool honourSegmentRecords, int32_t baseAddress,
                 CellArray& cells, HexLoadReport& report);

}  // namespace hexrecords
