#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "support/TDeviceTree.h"
#include "tools/korvan-sim/uFtdiTree.h"
#include "transports/uFTD2XXKernel.h"
#include "transports/uFTDIDeviceList.h"

using namespace korvan;
using namespace korvan::transport;

TEST(FTDIDeviceList, ListsTheKernelsConvertersWithTheirDescriptionsAndSerialNumbers) {
  test::TDeviceTree dir;
  sim::WriteFtdiTree(dir.Path(), {"FT123456", "FT232R USB UART", "1-1", "ttyUSB0", "6001"}, "/dev/null");
  sim::WriteFtdiTree(dir.Path(), {"FTX9", "FT230X Basic UART", "1-2", "ttyUSB1", "6015"}, "/dev/null");
  ASSERT_EQ(FTDIDeviceCount(), 2);
  std::string text;
  EXPECT_TRUE(FTDIDeviceDescriptionText(0, text));
  EXPECT_EQ(text, "FT232R USB UART");
  EXPECT_TRUE(FTDIDeviceSerialNumberText(1, text));
  EXPECT_EQ(text, "FTX9");
  EXPECT_FALSE(FTDIDeviceSerialNumberText(2, text));
  EXPECT_EQ(text, "");

  // A buffer without room for the zero gives the size it needs.
  char buffer[16];
  int length = 8;
  EXPECT_NE(FTDIDeviceSerialNumber(0, buffer, length), 0);
  EXPECT_EQ(length, 9);
  EXPECT_EQ(FTDIDeviceSerialNumber(0, buffer, length), 0);
  EXPECT_STREQ(buffer, "FT123456");

  const std::vector<TFTDIListedDevice> all = FTDIDevices();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].Description, "FT230X Basic UART");

  // Gone from the tree, gone from the next list.
  sim::RemoveFtdiTree(dir.Path(), {"FTX9", "FT230X Basic UART", "1-2", "ttyUSB1", "6015"});
  EXPECT_EQ(FTDIDeviceCount(), 1);
}

TEST(FTDIDeviceList, IsEmptyWithoutConvertersOrLibrary) {
  test::TDeviceTree dir;
  EXPECT_EQ(FTDIDeviceCount(), 0);
  std::string text = "x";
  EXPECT_FALSE(FTDIDeviceDescriptionText(0, text));
  EXPECT_EQ(text, "");
}

TEST(FTDIDeviceList, NamesThePortsOfAMultiPortChipByTheirInterfaceNumber) {
  test::TDeviceTree dir;
  const auto write = [&](const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(dir.Path() + path).parent_path());
    std::ofstream(dir.Path() + path) << text << "\n";
  };
  // A quad chip with interfaces 1 and 3 bound to the driver, a dual one with
  // only its second: the ttys that happen to be bound do not count.
  for (const auto& [bus, product, serial, ports] :
       {std::tuple{"1-1", "6011", "FT4", " 4"}, std::tuple{"1-2", "6010", "FT2", " 2"}}) {
    const std::string device = std::string("/sys/bus/usb/devices/") + bus;
    write(device + "/idVendor", "0403");
    write(device + "/idProduct", product);
    write(device + "/serial", serial);
    write(device + "/bNumInterfaces", ports);
  }
  for (const auto& [interface, number, tty] : {std::tuple{"1-1/1-1:1.0", "00", ""},
                                               {"1-1/1-1:1.1", "01", "ttyUSB0"},
                                               {"1-1/1-1:1.3", "03", "ttyUSB1"},
                                               {"1-2/1-2:1.1", "01", "ttyUSB2"}}) {
    const std::string folder = std::string("/sys/bus/usb/devices/") + interface;
    write(folder + "/bInterfaceNumber", number);
    if (*tty) std::filesystem::create_directories(dir.Path() + folder + "/" + tty);
  }
  std::vector<std::string> found;
  for (const TKernelFTDevice& d : KernelFTDevices()) found.push_back(d.SerialNumber + " " + d.Tty);
  EXPECT_EQ(found, (std::vector<std::string>{"FT4B ttyUSB0", "FT4D ttyUSB1", "FT2B ttyUSB2"}));
}
