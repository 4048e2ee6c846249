#include "core/Operations.h"

const TOperation Operations[OperationCount] = {
    {0, "None", 0, KindNone},
    {1, "Software Download - K7310", 0x08000000, KindSoftwareDownload},
    {2, "Software Download - TRX5170L", 0x000E0000, KindSoftwareDownload},
    {3, "Parameters from PC to device", 0, KindParameterDownload},
    {4, "Parameters from device to PC - TEST", 0, KindParameterUpload},
    {5, "Parameters from device to PC - DOWNLOAD", 0, KindParameterUpload},
};

const TOperation* FindOperation(int id) {
  for (const TOperation& op : Operations)
    if (op.Id == id) return &op;
  return nullptr;
}

uint8_t OperationKindOf(int id) {
  const TOperation* op = FindOperation(id);
  return op ? op->Kind : static_cast<uint8_t>(KindNone);
}

int32_t OperationImageBase(int id) {
  const TOperation* op = FindOperation(id);
  return op ? op->ImageBase : 0;
}

uint8_t OperationIdOf(const std::string& name) {
  for (const TOperation& op : Operations)
    if (name == op.Name) return op.Id;
  return 0;
}
