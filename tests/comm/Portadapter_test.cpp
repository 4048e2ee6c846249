// The adapter behind a serial device node, read from a sysfs tree built in a
// temporary folder the way the kernel lays it out.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "comm/Portadapter.h"

namespace fs = std::filesystem;

namespace {

class PortAdapterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Root = fs::temp_directory_path() / ("qmss-sysfs-" + std::to_string(::getpid()));
    fs::remove_all(Root);
    fs::create_directories(Root / "dev");
    fs::create_directories(Root / "sys/class/tty");
  }
  void TearDown() override { fs::remove_all(Root); }

  void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }
  // A device node and its class entry linking to the port's device folder.
  std::string Port(const std::string& name, const std::string& deviceFolder) {
    Write(Root / "dev" / name, "");
    fs::create_directories(Root / "sys" / deviceFolder);
    fs::create_directories(Root / "sys/class/tty" / name);
    fs::create_symlink(Root / "sys" / deviceFolder, Root / "sys/class/tty" / name / "device");
    return (Root / "dev" / name).string();
  }
  void UsbDevice(const std::string& folder, bool withSerial) {
    const fs::path usb = Root / "sys" / folder;
    Write(usb / "idVendor", "0403\n");
    Write(usb / "idProduct", "6001\n");
    Write(usb / "product", "FT232R USB UART\n");
    Write(usb / "manufacturer", "FTDI\n");
    if (withSerial) Write(usb / "serial", "A50285BI\n");
  }
  std::string Sys() const { return (Root / "sys").string(); }

  fs::path Root;
};

}  // namespace

TEST_F(PortAdapterTest, AUsbAdapterFoundThroughALinkByIdShowsProductMakerSerialAndPath) {
  // FTDI layout: the tty folder below the USB interface below the device.
  const std::string node = Port("ttyUSB0", "devices/pci0/usb1/1-2/1-2:1.0/ttyUSB0");
  UsbDevice("devices/pci0/usb1/1-2", true);
  fs::create_directories(Root / "dev/serial/by-id");
  fs::create_symlink(node, Root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
  // The port's device is bound to its driver through a "driver" link.
  fs::create_directories(Root / "sys/bus/usb-serial/drivers/ftdi_sio");
  fs::create_symlink(Root / "sys/bus/usb-serial/drivers/ftdi_sio",
                     Root / "sys/devices/pci0/usb1/1-2/1-2:1.0/ttyUSB0/driver");

  const TPortAdapter a =
      DescribePortAdapter((Root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0").string(), Sys());
  EXPECT_EQ(a.DevicePath, node);
  EXPECT_TRUE(a.Present);
  EXPECT_TRUE(a.Usb);
  EXPECT_EQ(a.Product, "FT232R USB UART");
  EXPECT_EQ(a.Manufacturer, "FTDI");
  EXPECT_EQ(a.SerialNumber, "A50285BI");
  EXPECT_EQ(a.VendorId + ":" + a.ProductId, "0403:6001");
  EXPECT_EQ(a.Driver, "ftdi_sio");
  EXPECT_EQ(a.UsbPath, (Root / "sys/devices/pci0/usb1/1-2").string());
  EXPECT_EQ(PortAdapterText(a), node + "\nFT232R USB UART (FTDI)\nSerial number: A50285BI\n" + a.UsbPath);
}

TEST_F(PortAdapterTest, TheWaysSysfsCanFallShort) {
  // A CDC ACM adapter without a serial number: the class link ends at the
  // USB interface itself.
  const std::string acm = Port("ttyACM0", "devices/pci0/usb1/1-3/1-3:1.0");
  UsbDevice("devices/pci0/usb1/1-3", false);
  // An on-board port: no USB device above it.
  const std::string onboard = Port("ttyS0", "devices/platform/serial8250/ttyS0");
  // A node sysfs does not know (a pseudo-terminal).
  const std::string pts = (Root / "dev/3").string();
  Write(pts, "");
  const std::string missing = (Root / "dev/ttyUSB9").string();

  struct Case {
    std::string Node;
    std::string Text;
  };
  const Case cases[] = {
      {acm, acm + "\nFT232R USB UART (FTDI)\nSerial number: none\n" + (Root / "sys/devices/pci0/usb1/1-3").string()},
      {onboard, onboard + "\nNot a USB adapter\n" + (Root / "sys/devices/platform/serial8250/ttyS0").string()},
      {pts, pts + "\nNo adapter information in sysfs"},
      {missing, missing + "\nNot present"},
      {"", "No device path"},
  };
  for (const Case& c : cases) EXPECT_EQ(PortAdapterText(DescribePortAdapter(c.Node, Sys())), c.Text) << c.Node;
}
