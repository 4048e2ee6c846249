// INI file with 100 000 sections: reading it, looking up keys and writing
// must stay well under a second (no look-up may scan the file per key line).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "files/Inifile.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  std::string pattern = (fs::temp_directory_path() / "qmss-bench-ini-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path dir = pattern;
  const std::string path = (dir / "QMSCALE.INI").string();
  constexpr int Sections = 100000;
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < Sections; ++i) out << "[SECTION" << i << "]\r\nKEY=" << i << "\r\n";
    out << "[CONFIG]\r\nPORT=5\r\n";
  }

  auto start = std::chrono::steady_clock::now();
  TIniFile ini(path);
  const double construct = Seconds(start);

  start = std::chrono::steady_clock::now();
  int32_t sum = 0;
  constexpr int Reads = 1000;
  for (int i = 0; i < Reads; ++i) sum += ini.ReadInteger("config", "port", 0);
  const double reads = Seconds(start);

  start = std::chrono::steady_clock::now();
  const bool ok = ini.WriteInteger("SECTION0", "NEW", 1) && ini.WriteInteger("CONFIG", "PORT", 6);
  const double writes = Seconds(start) / 2;

  std::printf("inifile: %d sections, construct %.3f s, read %.6f s/key, write %.3f s/key%s\n",
              Sections, construct, reads / Reads, writes, ok && sum == 5 * Reads ? "" : " FAILED");
  fs::remove_all(dir);
  const bool fast = construct + reads < 1.0;
  return ok && sum == 5 * Reads && fast ? 0 : 1;
}
