#include "files/Inipath.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
bool Writable(const fs::path& path) { return ::_waccess(path.c_str(), 2) == 0; }

fs::path ExecutablePath() {
  wchar_t buffer[32768];
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof buffer[0]);
  return n == 0 ? fs::path() : fs::path(std::wstring(buffer, n));
}

// %APPDATA%, where Windows programs keep a user's settings.
fs::path UserConfigFolder() {
  const char* appData = std::getenv("APPDATA");
  return fs::path(appData && *appData ? appData : ".");
}
#else
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
#endif

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
