#include "core/Operations.h"

#include "comm/K7310map.h"

const TOperation Operations[OperationCount] = {
    {OpNone, "None", 0, KindNone},
    {OpSwDlK7310, "Software Download - K7310", K7310FlashBase, KindSoftwareDownload},
    {OpSwDlTrx5170, "Software Download - TRX5170L", 0x000E0000, KindSoftwareDownload},
    {OpParDl, "Parameters from PC to device", 0, KindParameterDownload},
    {OpParUlTest, "Parameters from device to PC - TEST", 0, KindParameterUpload},
    {OpParUlDownload, "Parameters from device to PC - DOWNLOAD", 0, KindParameterUpload},
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
