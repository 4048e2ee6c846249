#include "cli/Downloadlog.h"

#include "comm/Portmap.h"

std::string PortLogFileName(const std::string& port) {
  if (const int n = ComNumber(port); n > 0) return "LOG-" + ComName(n) + ".TXT";
  std::string name = port.rfind("/dev/", 0) == 0 ? port.substr(5) : port;
  while (!name.empty() && name.front() == '/') name.erase(name.begin());
  for (char& c : name)
    if (c == '/' || c == ' ' || c == ':' || c == '\\') c = '-';
  return "LOG-" + name + ".TXT";
}
