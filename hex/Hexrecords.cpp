#include "hex/Hexrecords.h"

#include "hex/Hexdigits.h"

namespace hexrecords {

namespace {

using hexdigits::Field;

// The data byte k sits at positions 10+2k and 11+2k.
constexpr int DataPosition(uint32_t k) { return 10 + 2 * static_cast<int>(k); }

bool IsBlank(std::string_view line) {
  for (char c : line)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\f' && c != '\v') return false;
  return true;
}

// The largest record: count, two address bytes, type, 255 data bytes and
// the checksum.
constexpr size_t MaxRecordBytes = 5 + 255;

// Decodes count, address, type, data and checksum into bytes and sums them.
// False when the line is too short to hold them all or one of their
// positions is not a hex digit.
bool DecodeRecord(std::string_view line, uint32_t count, uint8_t* bytes, uint32_t& sum) {
  const size_t n = count + 5;
  if (line.size() < 1 + 2 * n) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(line.data()) + 1;
  int bad = 0;
  sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const int hi = hexdigits::Table[p[2 * i]];
    const int lo = hexdigits::Table[p[2 * i + 1]];
    bad |= hi | lo;  // -1 for a non-digit: the sign stays set
    bytes[i] = static_cast<uint8_t>(static_cast<unsigned>(hi) << 4 | static_cast<unsigned>(lo));
    sum += bytes[i];
  }
  return bad >= 0;
}

// Data byte k of a line that did not decode: a non-digit or a missing
// position reads as 0.
uint8_t LooseDataByte(std::string_view line, uint32_t k) {
  const int pos = DataPosition(k);
  return static_cast<uint8_t>(hexdigits::DigitOrZero(line, pos) << 4 | hexdigits::DigitOrZero(line, pos + 1));
}

}  // namespace

RecordHeader ReadHeader(std::string_view line) {
  return {Field(line, 2, 3), Field(line, 4, 7), Field(line, 8, 9)};
}

bool IsLinearAddressRecord(const RecordHeader& header) {
  if (header.Address != 0) return false;
  return (header.Type == ExtendedLinearAddress && header.Count == 2) ||
         (header.Type == StartLinearAddress && header.Count == 4);
}

uint32_t RecordChecksum(std::string_view line) {
  const uint32_t count = Field(line, 2, 3);
  uint32_t sum = count + Field(line, 4, 5) + Field(line, 6, 7) + Field(line, 8, 9);
  for (uint32_t k = 0; k < count; ++k) sum += Field(line, DataPosition(k), DataPosition(k) + 1);
  return (0x100 - (sum & 0xFF)) & 0xFF;
}

RecordReader::RecordReader(bool honourSegmentRecords, int32_t baseAddress, CellArray& cells, HexLoadReport& report)
    : HonourSegmentRecords(honourSegmentRecords),
      // Addresses are 32-bit patterns: an extended base from 0x80000000 up is
      // not negative. 64-bit arithmetic keeps the sum from wrapping back into
      // the image.
      Base(static_cast<uint32_t>(baseAddress)),
      Size(static_cast<int64_t>(cells.size())),
      Cells(cells),
      Report(report) {}

void RecordReader::Read(std::string_view line) {
  const int lineNumber = ++LineNumber;
  const RecordHeader header = ReadHeader(line);

  // A blank line reads as an empty data record: it changes nothing and is
  // not a fault.
  uint8_t bytes[MaxRecordBytes];
  bool decoded = false;
  if (!IsBlank(line)) {
    ++Report.RecordCount;
    uint32_t sum = 0;
    decoded = DecodeRecord(line, header.Count, bytes, sum);
    if (!decoded)
      Report.NoteMalformed(lineNumber);
    else if ((sum & 0xFF) != 0)
      Report.NoteBadChecksum(lineNumber);
  }
  const uint8_t* data = bytes + 4;
  auto dataByte = [&](uint32_t k) { return decoded ? data[k] : LooseDataByte(line, k); };

  switch (header.Type) {
    case Data: {
      const int64_t first = int64_t{ExtendedBase} + header.Address;
      const int64_t firstIndex = first - Base;
      if (decoded && firstIndex >= 0 && firstIndex + header.Count <= Size) {
        Cells.SetRun(static_cast<size_t>(firstIndex), data, header.Count);
        break;
      }
      for (uint32_t k = 0; k < header.Count; ++k) {
        const int64_t index = firstIndex + k;
        if (index >= 0 && index < Size)
          Cells.Set(static_cast<size_t>(index), dataByte(k));
        else
          Report.NoteOutside(first + k);
      }
      break;
    }
    case ExtendedSegmentAddress:
      if (HonourSegmentRecords && header.Count == 2 && header.Address == 0)
        ExtendedBase = Field(line, 10, 13) << 4;
      break;
    case ExtendedLinearAddress:
      if (header.Count == 2 && header.Address == 0) ExtendedBase = Field(line, 10, 13) << 16;
      break;
    case StartLinearAddress:
      // The whole 32-bit start address becomes the extended base: data
      // records after it are placed relative to it.
      if (header.Count == 4 && header.Address == 0) ExtendedBase = Field(line, 10, 17);
      break;
    default:
      // End of file (01) does not end the reading; 03 and unknown types
      // carry nothing for the image.
      break;
  }
}

void ReadRecords(const std::vector<std::string>& lines, bool honourSegmentRecords, int32_t baseAddress,
                 CellArray& cells, HexLoadReport& report) {
  RecordReader reader(honourSegmentRecords, baseAddress, cells, report);
  for (const std::string& line : lines) reader.Read(line);
}

}  // namespace hexrecords
