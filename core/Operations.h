// The six operations, their image base addresses and kinds. Row order is the
// order of the operation combo box and of the INI sections.
#pragma once

#include <cstdint>
#include <string>

enum TOperationKind : uint8_t {
  KindNone = 0,
  KindSoftwareDownload = 1,
  KindParameterDownload = 2,
  KindParameterUpload = 3,
};

// The operation ids, the rows of the table below.
enum TOperationId : uint8_t {
  OpNone = 0,
  OpSwDlK7310 = 1,        // "Software Download - K7310"
  OpSwDlTrx5170 = 2,      // "Software Download - TRX5170L"
  OpParDl = 3,            // "Parameters from PC to device"
  OpParUlTest = 4,        // "Parameters from device to PC - TEST"
  OpParUlDownload = 5,    // "Parameters from device to PC - DOWNLOAD"
};

struct TOperation {
  uint8_t Id;
  const char* Name;
  int32_t ImageBase;
  uint8_t Kind;
};

inline constexpr int OperationCount = 6;
extern const TOperation Operations[OperationCount];

// Look-ups by id; an id not in the table gives null / the defaults.
const TOperation* FindOperation(int id);
uint8_t OperationKindOf(int id);
int32_t OperationImageBase(int id);
// The id of the row whose name equals name exactly (case included), else 0.
uint8_t OperationIdOf(const std::string& name);

// Connection types, the texts of every connection combo box and of "CONNECTION".
inline constexpr const char* ConnectionNames[2] = {"None", "Serial"};
