#include "core/Modeltotalhex.h"

#include "core/Textfile.h"

namespace {
const char* const PartNames[6] = {"", "Main", "Display", "LC comm.", "Ethernet", "Total"};

int32_t SizeOfPart(int n) {
  if (n == 1) return TModelTotalHex::MainSize;
  if (n == 5) return TModelTotalHex::TotalSize;
  return TModelTotalHex::PartSize;
}
}  // namespace

TModelTotalHex::TModelTotalHex() {
  for (int n = 1; n <= 5; ++n) Parts[n] = std::make_unique<HexFile>(SizeOfPart(n), FlashBase);
}

HexFile& TModelTotalHex::Image(int n) { return *Parts[n]; }

const char* TModelTotalHex::PartName(int n) { return n >= 1 && n <= 5 ? PartNames[n] : ""; }

std::unique_ptr<HexFile> TModelTotalHex::PreparePart(int n, const std::string& fileName) {
  auto image = std::make_unique<HexFile>(SizeOfPart(n), FlashBase);
  image->Load(fileName);
  return image;
}

void TModelTotalHex::SetPart(int n, std::unique_ptr<HexFile> image) {
  if (n >= 1 && n <= 4 && image) Parts[n] = std::move(image);
}

void TModelTotalHex::LoadPart(int n, const std::string& fileName) {
  SetPart(n, PreparePart(n, fileName));
}

bool TModelTotalHex::Combine() {
  CombineProblem.clear();
  for (int n = 1; n <= 4; ++n)
    if (!Parts[n]->IsLoaded()) return false;

  // The saved total is the parts' lines one after the other, and a reload
  // reads it as one file. Data a part's own load left outside its image (data
  // past its size, records without an extended linear address, extended
  // segment records) would land in another processor's slot there, so such a
  // part is refused instead of being combined into something other than what
  // the tool shows.
  for (int n = 1; n <= 4; ++n) {
    const HexLoadReport& report = Parts[n]->Report();
    if (report.HasOutside()) {
      CombineProblem = std::string(PartNames[n]) + " file: " + report.OutsideText() +
                       ". Combine refused: fix the file so that all its data lie in its own image.";
      return false;
    }
  }

  HexFile r(TotalSize, FlashBase);
  HexFile q(TotalSize, FlashBase);
  r.Assign(*Parts[1]);
  for (int i = 0; i < 3; ++i) {
    q.Assign(*Parts[2 + i]);
    q.Relocate(K7310Processors[1 + i].RangeStart);
    if (q.Report().HasOutside()) {
      CombineProblem = std::string(PartNames[2 + i]) + " file, relocated: " +
                       q.Report().OutsideText() + ". Combine refused.";
      return false;
    }
    r.Merge(q);
  }
  Parts[5]->Assign(r);
  Shown = 5;
  Combined = true;
  return true;
}

void TModelTotalHex::Save(const std::string& fileName) const {
  const std::vector<std::string>* lines = Parts[5]->Lines();
  WriteTextLines(fileName, lines ? *lines : std::vector<std::string>{});
}
