// INI files of any content: reading every kind of key, then a write and a
// read-back of the written value.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/Inifile.h"

namespace {
std::string TempPath() {
  static const std::string path = "/dev/shm/qmss_fuzz_ini_" + std::to_string(getpid()) + ".INI";
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempPath();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  TIniFile ini(path);
  (void)ini.ReadString("CONFIG", "OPERATION", "None");
  (void)ini.ReadInteger("CONFIG", "PORT", 1);
  (void)ini.ReadBool("CONFIG", "TOOLMENU", false);
  (void)ini.ReadKeys("PORTS");
  if (ini.WriteInteger("Software Download - K7310", "BAUDRATE", 57600)) {
    TIniFile again(path);
    if (again.ReadInteger("Software Download - K7310", "BAUDRATE", 0) != 57600) std::abort();
  }
  return 0;
}
