// qmss ports: every COM name that maps to an existing device (by the fixed
// table or the INI's [PORTS] overrides): its device, the stable name under
// /dev/serial/by-id, what sysfs knows of the USB adapter and its driver,
// whether it opens now and if not why, and a [PORTS] line that keeps the COM
// number on that adapter whichever USB socket it is in.
#include <cstdio>
#include <filesystem>

#include "files/Inifile.h"
#include "cli/Cliargs.h"
#include "cli/Cliini.h"
#include "cli/Commands.h"
#include "cli/Jsonline.h"
#include "comm/Portadapter.h"
#include "comm/Portfactory.h"
#include "comm/Portlist.h"
#include "comm/Portmap.h"
#include "comm/Portopenfault.h"

namespace fs = std::filesystem;

namespace {

const char* const PortsUsage =
    "Usage: qmss ports [--json] [--ini FILE]\n"
    "Lists COMn, the device behind it, its /dev/serial/by-id name, the USB adapter (vendor:product,\n"
    "serial number, product, driver), whether it opens now and if not why, and a ready [PORTS] line\n"
    "that pins the COM number to the by-id name.\n"
    "  --json      one JSON object per port on stdout (the schema is in README)\n"
    "  --ini FILE  the INI file whose [PORTS] section maps COM names to devices\n"
    "  -h, --help  this text\n";

constexpr int HighestComNumber = 255;
const char* const ByIdFolder = "/dev/serial/by-id";

// The /dev/serial/by-id link that leads to the same device node; empty when
// none does.
std::string ByIdName(const std::string& devicePath) {
  std::error_code error;
  if (devicePath.rfind(ByIdFolder, 0) == 0) return devicePath;
  const fs::path node = fs::canonical(devicePath, error);
  if (error) return {};
  for (fs::directory_iterator it(ByIdFolder, error), end; !error && it != end; it.increment(error)) {
    std::error_code linkError;
    if (fs::canonical(it->path(), linkError) == node && !linkError) return it->path().string();
  }
  return {};
}

struct TPortLine {
  int Number;
  std::string Device;
  std::string ById;
  TPortAdapter Adapter;
  bool Opens = false;
  std::string Why;  // why it does not open
};

TPortLine Describe(int number, const std::string& device) {
  TPortLine line{number, device, ByIdName(device), DescribePortAdapter(device), false, {}};
  std::unique_ptr<TSerialPort> port = MakeSerialPort();
  line.Opens = port->Open(device);  // closed again with port
  if (!line.Opens) line.Why = PortOpenCause(ComName(number), device, port->OpenFailure());
  return line;
}

std::string PortsLine(const TPortLine& p) { return p.ById.empty() ? std::string() : ComName(p.Number) + "=" + p.ById; }

void PrintText(const TPortLine& p) {
  std::printf("%-6s %-40s %s\n", ComName(p.Number).c_str(), p.Device.c_str(),
              p.Opens ? "opens" : ("does not open: " + p.Why).c_str());
  if (!p.ById.empty()) std::printf("       by-id    %s\n", p.ById.c_str());
  if (p.Adapter.Usb) {
    std::string usb = p.Adapter.VendorId + ":" + p.Adapter.ProductId;
    if (!p.Adapter.Product.empty()) usb += "  " + p.Adapter.Product;
    if (!p.Adapter.Manufacturer.empty()) usb += " (" + p.Adapter.Manufacturer + ")";
    usb += "  serial " + (p.Adapter.SerialNumber.empty() ? std::string("none") : p.Adapter.SerialNumber);
    std::printf("       USB      %s\n", usb.c_str());
  }
  if (!p.Adapter.Driver.empty()) std::printf("       driver   %s\n", p.Adapter.Driver.c_str());
  if (!p.Adapter.SystemDevice.empty()) std::printf("       system   %s\n", p.Adapter.SystemDevice.c_str());
  if (!p.ById.empty()) std::printf("       [PORTS]  %s\n", PortsLine(p).c_str());
}

void PrintJson(const TPortLine& p) {
  TJsonLine json("port");
  json.Text("com", ComName(p.Number)).Text("device", p.Device);
  if (p.ById.empty())
    json.Raw("by_id", "null");
  else
    json.Text("by_id", p.ById);
  if (p.Adapter.Usb)
    json.Raw("usb", TJsonLine()
                        .Text("vendor_id", p.Adapter.VendorId)
                        .Text("product_id", p.Adapter.ProductId)
                        .Text("serial", p.Adapter.SerialNumber)
                        .Text("product", p.Adapter.Product)
                        .Text("manufacturer", p.Adapter.Manufacturer)
                        .Get());
  else
    json.Raw("usb", "null");
  json.Text("driver", p.Adapter.Driver).Bool("opens", p.Opens);
  if (p.Opens)
    json.Raw("why", "null");
  else
    json.Text("why", p.Why);
  if (p.ById.empty())
    json.Raw("ports_line", "null");
  else
    json.Text("ports_line", PortsLine(p));
  json.Print();
}

}  // namespace

int RunPortsCommand(const std::vector<std::string>& args) {
  TCliArgs parsed;
  std::string error;
  if (!parsed.Parse(args, {{"--ini", true}, {"--json", false}, {"-h,--help", false}}, error) ||
      !parsed.Positional().empty()) {
    std::fprintf(stderr, "qmss ports: %s\n%s", error.empty() ? "takes no arguments" : error.c_str(), PortsUsage);
    return ExitUsage;
  }
  if (parsed.Has("--help")) {
    std::fputs(PortsUsage, stdout);
    return ExitDone;
  }
  const bool json = parsed.Has("--json");
  const TIniFile ini(CliIniPath(parsed.Value("--ini")));
  SetComOverrides(ReadComOverrides(ini));

  int found = 0;
  for (const TPresentPort& present : PresentComPorts(HighestComNumber)) {
    ++found;
    const TPortLine line = Describe(present.Number, present.DevicePath);
    if (json)
      PrintJson(line);
    else
      PrintText(line);
  }
  std::fflush(stdout);
  if (found == 0) std::fprintf(stderr, "qmss ports: no COM name maps to an existing device\n");
  return ExitDone;
}
