// Host-side exchanges with a K7310 boot loader, written byte by byte for the
// simulator tests.
#pragma once

#include <cstdint>
#include <vector>

#include "Rawhost.h"

constexpr uint8_t kAck = 0x79;
constexpr uint8_t kNack = 0x1F;
constexpr int kNoReply = -1;

// 4 address bytes, most significant first, then their XOR.
std::vector<uint8_t> AddressFrame(uint32_t address);
// N-1, the bytes, the XOR of both.
std::vector<uint8_t> DataFrame(const std::vector<uint8_t>& data);
const std::vector<uint8_t>& BootWord();

// Writes the bytes and reads one reply byte; kNoReply when none came.
int Ask(RawHost& host, const std::vector<uint8_t>& bytes, int deadlineMs = 5000);

// Whole commands; true when every acknowledge was an ACK.
bool WriteMemory(RawHost& host, uint32_t address, const std::vector<uint8_t>& data);
bool ErasePages(RawHost& host, const std::vector<uint8_t>& pages);
bool GlobalErase(RawHost& host);
bool GoTo(RawHost& host, uint32_t address);
// The bytes read, empty when an acknowledge failed.
std::vector<uint8_t> ReadMemory(RawHost& host, uint32_t address, size_t count);
