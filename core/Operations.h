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
