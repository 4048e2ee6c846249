// The records a channel is configured with.
#pragma once

#include <cstdint>

// The main window's configuration record. Channels read only Port.
struct CmConfig {
  uint8_t Connection = 0;  // 0 "None", 1 "Serial"
  uint8_t Operation = 0;   // operation id 0..5
  int32_t Port = 0;        // COM number; 0 when no port exists
  int32_t LcCalFac[6] = {0x80000, 0x80000, 0x80000, 0x80000, 0x80000, 0x80000};
  int32_t LcZero[6] = {0, 0, 0, 0, 0, 0};
  int32_t LcNo = 1;
};

// Line settings of one operation, built by the model.
struct PortSettings {
  char EventChar = 0x02;
  int32_t BaudRate = 1200;
  int32_t DataBits = 8;
  char Parity = 'E';
  int32_t StopBits = 1;
};
