#include "files/Inipath.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool Writable(const fs::path& path) { return ::access(path.c_str(), W_OK) == 0; }

fs::path ExecutablePath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe;
}

fs::path UserConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return xdg;
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : ".") / ".config";
}

}  // namespace

std::string ExecutableFolder() { return ExecutablePath().parent_path().string(); }

std::string IniFilePath() {
  const char* overridden = std::getenv("QMSS_INI");
  if (overridden && *overridden) return overridden;

  const fs::path exe = ExecutablePath();
  const fs::path beside = exe.parent_path() / (exe.stem().string() + ".INI");
  std::error_code ec;
  if (fs::exists(beside, ec) ? Writable(beside) : Writable(exe.parent_path())) return beside.string();

  const fs::path folder = UserConfigFolder() / "QMScaleService";
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return beside.string();
  return (folder / beside.filename()).string();
}
