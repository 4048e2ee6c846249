// The total hex file tool's data: four part images, each linked at the start
// of flash, and the total image combined from them, each part at its
// processor's range of the K7310 memory map (comm/K7310map.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "comm/K7310map.h"
#include "hex/Hexfile.h"

class TModelTotalHex {
 public:
  static constexpr int32_t FlashBase = K7310FlashBase;
  static constexpr int32_t MainSize = K7310Processors[0].RangeSize;
  static constexpr int32_t PartSize = K7310Processors[1].RangeSize;
  static constexpr int32_t TotalSize = K7310ImageSize;

  TModelTotalHex();

  // Part n: 1 Main, 2 Display, 3 LcComm, 4 Ethernet; 5 Total.
  HexFile& Image(int n);
  static const char* PartName(int n);  // "Main", "Display", ...
  // A new image shaped for part n (1..4), read from the file; raises
  // HexFileError naming the file. LoadPart publishes it as part n.
  static std::unique_ptr<HexFile> PreparePart(int n, const std::string& fileName);
  void SetPart(int n, std::unique_ptr<HexFile> image);
  void LoadPart(int n, const std::string& fileName);

  // Builds Total from the four parts. False with nothing changed when a part
  // is missing (Problem empty) or when a part holds data that would not land
  // where the saved total file puts it (Problem says which part and range).
  bool Combine();
  const std::string& Problem() const { return CombineProblem; }

  // Writes the lines of Total, CR LF after each; raises TextFileError.
  void Save(const std::string& fileName) const;

  uint8_t Shown = 0;  // 0 none, 1..4 parts, 5 total
  bool Combined = false;

 private:
  std::unique_ptr<HexFile> Parts[6];  // index 1..5
  std::string CombineProblem;
};
