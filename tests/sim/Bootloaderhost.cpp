#include "Bootloaderhost.h"

std::vector<uint8_t> AddressFrame(uint32_t address) {
  std::vector<uint8_t> frame{static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                             static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
  frame.push_back(frame[0] ^ frame[1] ^ frame[2] ^ frame[3]);
  return frame;
}

std::vector<uint8_t> DataFrame(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> frame{static_cast<uint8_t>(data.size() - 1)};
  uint8_t check = frame[0];
  for (uint8_t b : data) {
    frame.push_back(b);
    check ^= b;
  }
  frame.push_back(check);
  return frame;
}

const std::vector<uint8_t>& BootWord() {
  static const std::vector<uint8_t> word{0x42, 0x4F, 0x4F, 0x54};
  return word;
}

int Ask(RawHost& host, const std::vector<uint8_t>& bytes, int deadlineMs) {
  host.Write(bytes);
  std::vector<uint8_t> reply = host.Read(1, deadlineMs);
  return reply.empty() ? kNoReply : reply[0];
}

bool WriteMemory(RawHost& host, uint32_t address, const std::vector<uint8_t>& data) {
  return Ask(host, {0x31, 0xCE}) == kAck && Ask(host, AddressFrame(address)) == kAck &&
         Ask(host, DataFrame(data)) == kAck;
}

bool ErasePages(RawHost& host, const std::vector<uint8_t>& pages) {
  std::vector<uint8_t> list{static_cast<uint8_t>(pages.size() - 1)};
  uint8_t check = list[0];
  for (uint8_t page : pages) {
    list.push_back(page);
    check ^= page;
  }
  list.push_back(check);
  return Ask(host, {0x43, 0xBC}) == kAck && Ask(host, list) == kAck;
}

bool GlobalErase(RawHost& host) { return Ask(host, {0x43, 0xBC}) == kAck && Ask(host, {0xFF, 0x00}) == kAck; }

bool GoTo(RawHost& host, uint32_t address) {
  return Ask(host, {0x21, 0xDE}) == kAck && Ask(host, AddressFrame(address)) == kAck;
}

std::vector<uint8_t> ReadMemory(RawHost& host, uint32_t address, size_t count) {
  uint8_t n = static_cast<uint8_t>(count - 1);
  if (Ask(host, {0x11, 0xEE}) != kAck || Ask(host, AddressFrame(address)) != kAck ||
      Ask(host, {n, static_cast<uint8_t>(~n)}) != kAck) {
    return {};
  }
  return host.Read(count);
}
