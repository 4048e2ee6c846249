#include "cli/Cliini.h"

#include "files/Inipath.h"

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

std::string CliIniPath(const std::string& iniOption) {
  if (!iniOption.empty()) return iniOption;
  if (const char* env = std::getenv("QMSS_INI"); env && *env) return env;

  const std::string folder = ExecutableFolder();
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
