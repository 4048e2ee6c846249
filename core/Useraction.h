// User actions: small value objects a view fills and hands to the controller.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class HexFile;

struct UserAction {};

// Open in the download view. Prepared, when set, is an image the view already
// read (to look at its load report) and is published instead of reading the
// file again.
struct UASwDlFileLoad : UserAction {
  std::string FileName;
  std::shared_ptr<HexFile> Prepared;
};
struct UASwDlStart : UserAction {};
struct UASwDlAbort : UserAction {};
struct UASwDlOperationSelect : UserAction {
  uint8_t Operation = 0;
};

// Load buttons of the total hex tool; Prepared as above.
struct UATotalHexPartLoad : UserAction {
  std::string FileName;
  std::unique_ptr<HexFile> Prepared;
};
struct UATotalHexMainLoad : UATotalHexPartLoad {};
struct UATotalHexDispLoad : UATotalHexPartLoad {};
struct UATotalHexLcCommLoad : UATotalHexPartLoad {};
struct UATotalHexEthernetLoad : UATotalHexPartLoad {};

struct UATotalHexDisplaySelect : UserAction {
  int32_t Image = 0;  // 1..5
};
struct UATotalHexCombine : UserAction {
  bool Result = false;   // written by the controller
  std::string Problem;   // why a combine of four loaded parts was refused
};
struct UATotalHexTotalSave : UserAction {
  std::string FileName;
};
