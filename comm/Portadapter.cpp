#include "comm/Portadapter.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "comm/Portlist.h"

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute file, without its line end; empty when
// the file is missing or unreadable.
std::string Attribute(const fs::path& folder, const char* name) {
  std::ifstream in(folder / name);
  std::string value;
  if (!in || !std::getline(in, value)) return {};
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r' || value.back() == ' '))
    value.pop_back();
  return value;
}

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

}  // namespace

TPortAdapter DescribePortAdapter(const std::string& devicePath, const std::string& sysfsRoot) {
  TPortAdapter adapter;
  adapter.DevicePath = devicePath;
  if (devicePath.empty()) return adapter;
#ifdef _WIN32
  adapter.SystemDevice = SystemDeviceOf(devicePath);
  adapter.Present = !adapter.SystemDevice.empty();
  return adapter;
#endif
  std::error_code error;
  const fs::path node = fs::canonical(devicePath, error);
  if (!error) {
    adapter.DevicePath = node.string();
    adapter.Present = true;
  }
  const std::string name = fs::path(adapter.DevicePath).filename().string();
  if (name.empty()) return adapter;

  // /sys/class/tty/<name>/device links to the port's device; USB adapters
  // sit below their USB device, the folder with idVendor and idProduct.
  const fs::path root = fs::path(sysfsRoot);
  const fs::path device = fs::canonical(root / "class" / "tty" / name / "device", error);
  if (error) return adapter;
  adapter.SysfsPath = device.string();
  const fs::path driver = fs::canonical(device / "driver", error);
  if (!error) adapter.Driver = driver.filename().string();
  const fs::path top = fs::canonical(root, error);
  for (fs::path folder = device; !folder.empty() && folder != top && folder != folder.root_path();
       folder = folder.parent_path()) {
    if (IsFile(folder / "idVendor") && IsFile(folder / "idProduct")) {
      adapter.Usb = true;
      adapter.UsbPath = folder.string();
      adapter.Product = Attribute(folder, "product");
      adapter.Manufacturer = Attribute(folder, "manufacturer");
      adapter.SerialNumber = Attribute(folder, "serial");
      adapter.VendorId = Attribute(folder, "idVendor");
      adapter.ProductId = Attribute(folder, "idProduct");
      break;
    }
  }
  return adapter;
}

std::string PortAdapterText(const TPortAdapter& adapter) {
  std::string text = adapter.DevicePath.empty() ? std::string("No device path") : adapter.DevicePath;
  if (!adapter.DevicePath.empty() && !adapter.Present) return text + "\nNot present";
  if (!adapter.SystemDevice.empty()) return text + "\n" + adapter.SystemDevice;
  if (adapter.Usb) {
    std::string product = adapter.Product.empty() ? std::string("USB adapter") : adapter.Product;
    if (!adapter.Manufacturer.empty()) product += " (" + adapter.Manufacturer + ")";
    text += "\n" + product;
    text += "\nSerial number: " + (adapter.SerialNumber.empty() ? std::string("none") : adapter.SerialNumber);
    text += "\n" + adapter.UsbPath;
  } else if (!adapter.SysfsPath.empty()) {
    text += "\nNot a USB adapter\n" + adapter.SysfsPath;
  } else if (!adapter.DevicePath.empty()) {
    text += "\nNo adapter information in sysfs";
  }
  return text;
}
