#include "cli/Imageshapes.h"

#include "hex/Hexfile.h"

namespace {
constexpr TImageShape Shapes[] = {
    {"k7310", K7310ImageSize, K7310FlashBase},
    {"trx5170l", 0x20000, 0x000E0000},
    {"main", K7310Processors[0].RangeSize, K7310FlashBase},
    {"part", K7310Processors[1].RangeSize, K7310FlashBase},
};
}  // namespace

const TImageShape* FindImageShape(const std::string& name) {
  for (const TImageShape& shape : Shapes)
    if (name == shape.Name) return &shape;
  return nullptr;
}

std::string ImageShapeNames() {
  std::string names;
  // Appended piece by piece: "|" + name as one temporary makes GCC 12 at -O3
  // warn (-Wrestrict) about an overlap that cannot happen.
  for (const TImageShape& shape : Shapes) {
    if (!names.empty()) names += '|';
    names += shape.Name;
  }
  return names;
}

int32_t ProcessorUsedLength(const HexFile& image, int processor) {
  const K7310Processor& range = K7310Processors[processor];
  return image.BlockLength(range.RangeStart, range.RangeSize);
}

uint32_t StampedChecksum(const HexFile& image) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    const int32_t cell = image.ByteAt(Trx5170ChecksumAddress + i);
    value = (value << 8) | static_cast<uint32_t>(cell < 0 ? 0xFF : cell);
  }
  return value;
}

std::string LoadReportLines(const HexLoadReport& report, const std::string& prefix) {
  std::string text;
  if (report.HasRecordProblems()) text += prefix + report.RecordProblemText() + "\n";
  if (report.HasOutside()) text += prefix + report.OutsideText() + "\n";
  return text;
}
