#include "core/uPortIdentity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TDeviceTree.h"

using namespace duomat;
namespace fs = std::filesystem;

// A CDC modem's tty hangs right under its interface (no port folder), a
// platform UART has no USB device above it, and by-id may name a port twice.
TEST(PortIdentity, FindsTheUsbDeviceAboveTheTtyAndEveryStableNameWithoutTouchingThePort) {
  korvan::test::TDeviceTree tree;
  const std::string sys = tree.Path() + "/sys", dev = tree.Path() + "/dev";
  const std::string usb = sys + "/devices/usb1/1-2";
  fs::create_directories(usb + "/1-2:1.0/tty/ttyACM0");
  fs::create_directories(sys + "/devices/platform/serial8250/tty/ttyS0");
  fs::create_directories(dev);
  for (const auto& [name, value] :
       {std::pair{"idVendor", "04d8"}, {"idProduct", "000a"}, {"product", "CDC Demo"}})
    std::ofstream(usb + "/" + name) << value << "\n";
  for (const auto& [tty, device] :
       {std::pair{"ttyACM0", "usb1/1-2/1-2:1.0"}, {"ttyS0", "platform/serial8250"}}) {
    fs::create_directories(sys + "/class/tty/" + tty);
    fs::create_symlink(std::string("../../../devices/") + device,
                       sys + "/class/tty/" + tty + "/device");
    std::ofstream(dev + "/" + tty) << "";  // never read: a port is not opened for its identity
    fs::permissions(dev + "/" + tty, fs::perms::none);
  }
  fs::create_directories(dev + "/serial/by-id");
  fs::create_symlink("../../ttyACM0", dev + "/serial/by-id/usb-Demo-if00");
  fs::create_symlink("../../ttyACM0", dev + "/serial/by-id/usb-Demo-alias");
  fs::create_symlink("../../ttyS0", dev + "/serial/by-id/pnp-uart");
  fs::create_symlink(dev + "/ttyACM0", tree.Path() + "/COM65");  // a COMn link on the way

  for (const std::string& path : {dev + "/ttyACM0", tree.Path() + "/COM65"}) {
    SCOPED_TRACE(path);
    const TPortIdentity acm = PortIdentity(path);
    EXPECT_EQ(acm.ByID, (std::vector<std::string>{"usb-Demo-alias", "usb-Demo-if00"}));
    EXPECT_EQ(UsbIdentityText(acm.Usb), "usb 04d8:000a CDC Demo");
  }
  const TPortIdentity uart = PortIdentity(dev + "/ttyS0");
  EXPECT_EQ(uart.ByID, (std::vector<std::string>{"pnp-uart"}));
  EXPECT_TRUE(uart.Usb.Empty());
  EXPECT_EQ(UsbIdentityText(uart.Usb), "");
  EXPECT_TRUE(PortIdentity(dev + "/ttyUSB9").ByID.empty());
  EXPECT_EQ(UsbIdPair(1240, 63), "04d8:003f");
}
