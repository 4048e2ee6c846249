// A NOR flash memory: erased cells read 0xFF, programming can only clear
// bits (new = old AND data), and only an erase brings a page back to 0xFF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class SimFlash {
 public:
  SimFlash(uint32_t base, size_t size, size_t pageSize);

  uint32_t Base() const { return BaseAddress; }
  size_t Size() const { return Cells.size(); }
  size_t PageSize() const { return Page; }
  size_t PageCount() const { return Cells.size() / Page; }

  // Whether [address, address + count) lies inside the memory.
  bool Contains(uint64_t address, size_t count) const;
  void ErasePage(size_t page);
  void EraseAll();
  // Programs bytes at a device address inside the memory.
  void Program(uint32_t address, const uint8_t* data, size_t count);
  std::vector<uint8_t> Read(uint32_t address, size_t count) const;

  // Replaces the contents from offset 0 (a preload); the rest reads 0xFF.
  void Load(const std::vector<uint8_t>& image);
  const std::vector<uint8_t>& Bytes() const { return Cells; }

 private:
  uint32_t BaseAddress;
  size_t Page;
  std::vector<uint8_t> Cells;
};
