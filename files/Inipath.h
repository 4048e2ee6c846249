// Where the INI file lives.
#pragma once

#include <string>

// The INI file of this run:
//  - the environment variable QMSS_INI, when set, names it (used by `make run`
//    and by the tests, so that the user's own settings stay untouched);
//  - otherwise it lies beside the executable, "<executable path without
//    extension>.INI", when that folder (or an existing INI there) is writable;
//  - otherwise (an installed program, e.g. under /usr/bin) in the user's
//    configuration folder, $XDG_CONFIG_HOME or ~/.config, in a folder named
//    "QMScaleService", so that the settings written at exit are never lost
//    (on Windows the user's %APPDATA% folder).
// The executable's own path comes from the system (/proc/self/exe).
std::string IniFilePath();

// The folder of the running executable, without a trailing separator.
std::string ExecutableFolder();
