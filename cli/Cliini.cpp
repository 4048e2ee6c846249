#include "cli/Cliini.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

constexpr const char* IniName = "QMScaleService.INI";

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

std::string CliExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path().string();
}

std::string CliIniPath(const std::string& iniOption) {
  if (!iniOption.empty()) return iniOption;
  if (const char* env = std::getenv("QMSS_INI"); env && *env) return env;

  const std::string folder = CliExecutableFolder();
  if (!folder.empty()) {
    for (const std::string& candidate : {folder + "/" + IniName, folder + "/../app/" + IniName}) {
      if (IsFile(candidate)) return std::filesystem::path(candidate).lexically_normal().string();
    }
  }

  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
    config = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    config = std::string(home) + "/.config";
  if (config.empty()) return folder.empty() ? IniName : folder + "/" + IniName;
  return config + "/QMScaleService/" + IniName;
}
