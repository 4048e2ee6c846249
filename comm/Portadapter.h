// What the system knows about the adapter behind a serial device node, read
// from sysfs, so that a technician can tell the ports in a list apart (which
// COM number is the USB adapter with that serial number). Standard library
// only, for the desktop app and the command line alike.
#pragma once

#include <string>

struct TPortAdapter {
  std::string DevicePath;    // the device node, symbolic links resolved
  bool Present = false;      // the device node exists
  std::string SysfsPath;     // the port's device in sysfs; empty when sysfs knows none
  bool Usb = false;          // a USB device was found above the port
  std::string UsbPath;       // that USB device's folder in sysfs
  std::string Product;       // its "product" text, when it has one
  std::string Manufacturer;  // its "manufacturer" text, when it has one
  std::string SerialNumber;  // its "serial" text, when it has one
  std::string VendorId;      // its "idVendor" and "idProduct", four hex digits each
  std::string ProductId;
  std::string Driver;        // the kernel driver of the port's device ("ftdi_sio", "cdc_acm"), when bound
  std::string SystemDevice;  // Windows: the system's device behind the COM name ("\Device\VCP0")
};

// Reads sysfs for the device node (a path such as /dev/ttyUSB0 or a link to
// one under /dev/serial/by-id). Missing entries leave fields empty; nothing
// throws. sysfsRoot is "/sys" except in tests. On Windows, which has no
// sysfs, the system's device name behind a COM name is all there is.
TPortAdapter DescribePortAdapter(const std::string& devicePath, const std::string& sysfsRoot = "/sys");

// The description as lines for a tooltip: the device node, then the USB
// product with maker and serial number and the sysfs path, or why there is
// no such information.
std::string PortAdapterText(const TPortAdapter& adapter);
