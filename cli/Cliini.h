// Which INI file qmss reads (it never writes one): the desktop app's, so that
// a technician's port and line settings apply to both.
//   1. --ini FILE, then $QMSS_INI;
//   2. QMScaleService.INI beside qmss, then in ../app/ from qmss's folder
//      (the build tree's layout), the first that exists;
//   3. $XDG_CONFIG_HOME/QMScaleService/QMScaleService.INI, or the same under
//      ~/.config (where an installed desktop app keeps it).
// A file that does not exist gives every key its default.
#pragma once

#include <string>

std::string CliIniPath(const std::string& iniOption);

