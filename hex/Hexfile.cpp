#include "hex/Hexfile.h"

#include <algorithm>

#include "hex/Hexfilelines.h"
#include "hex/Hexrecords.h"

HexFile::HexFile(int32_t size, int32_t baseAddress)
    : CellCount(std::max<int32_t>(size, 0)), Base(baseAddress), Cells(static_cast<size_t>(CellCount)) {}

void HexFile::Load(const std::string& fileName) {
  // Read first: a file that cannot be read leaves the image as it was.
  auto lines = ReadHexFileLines(fileName);

  Name = fileName;
  Loaded = true;
  LineList = std::move(lines);
  ReadRecordsFromLines(true);
}

void HexFile::LoadWithoutLines(const std::string& fileName) {
  CachedUsedLength.store(-1, std::memory_order_relaxed);
  Cells.Clear();
  LastReport = HexLoadReport{};
  LineList.reset();
  Name = fileName;
  Loaded = true;
  try {
    hexrecords::RecordReader reader(true, Base, Cells, LastReport);
    ForEachHexFileLine(fileName, [&reader](std::string_view line) { reader.Read(line); });
  } catch (...) {
    Cells.Clear();
    LastReport = HexLoadReport{};
    Name.clear();
    Loaded = false;
    throw;
  }
}

void HexFile::ReadRecordsFromLines(bool honourSegmentRecords) {
  CachedUsedLength.store(-1, std::memory_order_relaxed);
  Cells.Clear();
  LastReport = HexLoadReport{};
  if (LineList) hexrecords::ReadRecords(*LineList, honourSegmentRecords, Base, Cells, LastReport);
}

int32_t HexFile::ScanUsedLength() const {
  const int64_t last = Cells.LastFilled();
  return last >= 0 ? static_cast<int32_t>(last + 1) : -1;
}

int32_t HexFile::UsedLength() const {
  if (!Loaded) return -1;
  const int32_t cached = CachedUsedLength.load(std::memory_order_relaxed);
  if (cached >= 0) return cached;
  // An image without any byte is not cached, so that it is scanned again.
  const int32_t used = ScanUsedLength();
  if (used > 0) CachedUsedLength.store(used, std::memory_order_relaxed);
  return used;
}

namespace {

// At or above the base address an address, below it a cell index as it stands.
int64_t CellIndex(int32_t address, int32_t base) {
  return address >= base ? int64_t{address} - base : int64_t{address};
}

}  // namespace

int32_t HexFile::BlockLength(int32_t address, int32_t count) const {
  const int64_t start = CellIndex(address, Base);
  if (!Loaded || start < 0 || start > CellCount) return -1;
  const int64_t end = std::min<int64_t>(start + std::max(count, 0), CellCount);
  for (int64_t i = end; i > start; --i)
    if (Cells.IsFilled(static_cast<size_t>(i - 1))) return static_cast<int32_t>(i - start);
  return -1;
}

int32_t HexFile::FilledCount() const {
  return static_cast<int32_t>(Cells.FilledCount());
}

void HexFile::Assign(const HexFile& other) {
  if (&other == this) return;
  Loaded = other.Loaded;
  LineList = other.LineList ? std::make_unique<std::vector<std::string>>(*other.LineList)
                            : std::make_unique<std::vector<std::string>>();
  Cells.CopyFrom(other.Cells, static_cast<size_t>(std::min(CellCount, other.CellCount)));
  // The other image's used length holds here only when the sizes agree;
  // otherwise cells beyond its end (kept here) or past this end (not copied)
  // would make it wrong, and it is found again on demand.
  CachedUsedLength.store(CellCount == other.CellCount ? other.CachedUsedLength.load(std::memory_order_relaxed) : -1,
                         std::memory_order_relaxed);
  LastReport = other.LastReport;
}

void HexFile::Merge(const HexFile& other) {
  if (!LineList) LineList = std::make_unique<std::vector<std::string>>();
  Loaded = Loaded || other.Loaded;
  if (!other.Loaded || &other == this) return;

  const int32_t cached = CachedUsedLength.load(std::memory_order_relaxed);
  int32_t used = cached >= 0 ? cached : ScanUsedLength();

  const int lineOffset = static_cast<int>(LineList->size());
  if (other.LineList) LineList->insert(LineList->end(), other.LineList->begin(), other.LineList->end());
  LastReport.Append(other.LastReport, lineOffset);

  // Same size and base by contract; a smaller image here still never gets a
  // cell written past its end.
  const int64_t last = Cells.Overlay(other.Cells, static_cast<size_t>(std::min(CellCount, other.CellCount)));
  used = std::max(used, static_cast<int32_t>(last + 1));
  CachedUsedLength.store(used > 0 ? used : -1, std::memory_order_relaxed);
}

void HexFile::Relocate(int32_t newBase) {
  if (LineList) {
    const auto base = static_cast<uint32_t>(newBase);
    for (std::string& line : *LineList) {
      const hexrecords::RecordHeader header = hexrecords::ReadHeader(line);
      if (!hexrecords::IsLinearAddressRecord(header)) continue;
      HexString record(line);
      if (header.Type == hexrecords::ExtendedLinearAddress) {
        record.SetHexValue(10, 13, static_cast<int32_t>(base >> 16));
        record.SetHexValue(14, 15, static_cast<int32_t>(hexrecords::RecordChecksum(record.Text())));
      } else {
        record.SetHexValue(10, 17, newBase);
        record.SetHexValue(18, 19, static_cast<int32_t>(hexrecords::RecordChecksum(record.Text())));
      }
      line = record.Text();
    }
  }
  // The second reading knows only data and linear address records.
  ReadRecordsFromLines(false);
}

void HexFile::StampChecksum() {
  constexpr size_t StampIndex = 0x17FFC;
  if (Cells.size() < StampIndex + 4) return;  // only the second protocol's image carries it

  auto byteAt = [this](size_t i) { return Cells.IsFilled(i) ? static_cast<uint32_t>(Cells.Get(i)) : 0xFFu; };
  auto wordSum = [&](size_t from, size_t to) {
    uint32_t sum = 0;
    for (size_t i = from; i < to; i += 2) sum += byteAt(i) + 256 * byteAt(i + 1);
    return sum & 0xFFFF;
  };
  const uint32_t sumA = wordSum(0, 0x10000);
  const uint32_t sumB = wordSum(0x10000, StampIndex);
  const uint32_t value = ((sumB << 16) | sumA) ^ 0x55AA55AAu;
  for (size_t k = 0; k < 4; ++k) Cells.Set(StampIndex + k, static_cast<uint8_t>(value >> (8 * k)));
  // The stamp fills cells, so a used length found before may be short now.
  CachedUsedLength.store(-1, std::memory_order_relaxed);
}
