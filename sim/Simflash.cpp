#include "sim/Simflash.h"

#include <algorithm>

SimFlash::SimFlash(uint32_t base, size_t size, size_t pageSize)
    : BaseAddress(base), Page(pageSize), Cells(size, 0xFF) {}

bool SimFlash::Contains(uint64_t address, size_t count) const {
  return address >= BaseAddress && address + count <= BaseAddress + static_cast<uint64_t>(Cells.size());
}

void SimFlash::ErasePage(size_t page) {
  if (page >= PageCount()) return;
  std::fill_n(Cells.begin() + static_cast<ptrdiff_t>(page * Page), Page, 0xFF);
}

void SimFlash::EraseAll() { std::fill(Cells.begin(), Cells.end(), 0xFF); }

void SimFlash::Program(uint32_t address, const uint8_t* data, size_t count) {
  if (!Contains(address, count)) return;
  size_t at = address - BaseAddress;
  for (size_t i = 0; i < count; ++i) Cells[at + i] &= data[i];
}

std::vector<uint8_t> SimFlash::Read(uint32_t address, size_t count) const {
  if (!Contains(address, count)) return {};
  auto from = Cells.begin() + static_cast<ptrdiff_t>(address - BaseAddress);
  return std::vector<uint8_t>(from, from + static_cast<ptrdiff_t>(count));
}

void SimFlash::Load(const std::vector<uint8_t>& image) {
  EraseAll();
  std::copy_n(image.begin(), std::min(image.size(), Cells.size()), Cells.begin());
}
