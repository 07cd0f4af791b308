#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "support/TDeviceTree.h"
#include "tools/korvan-sim/uFtdiTree.h"
#include "transports/ftdi/uFTD2XXKernel.h"
#include "transports/ftdi/uFTDIDeviceList.h"

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
  // A quad chip with interfaces 1 and 3 bound to the driver, a dual one with its second.
  const std::string usb = dir.Path() + "/sys/bus/usb/devices/";
  for (const auto& [path, text] : std::initializer_list<std::pair<std::string, std::string>>{
           {"1-1/idVendor", "0403"}, {"1-1/serial", "FT4"}, {"1-1/bNumInterfaces", " 4"},
           {"1-1/1-1:1.1/bInterfaceNumber", "01"}, {"1-1/1-1:1.1/ttyUSB0/dev", "188:0"},
           {"1-1/1-1:1.3/bInterfaceNumber", "03"}, {"1-1/1-1:1.3/ttyUSB1/dev", "188:1"},
           {"1-2/idVendor", "0403"}, {"1-2/serial", "FT2"}, {"1-2/bNumInterfaces", " 2"},
           {"1-2/1-2:1.1/bInterfaceNumber", "01"}, {"1-2/1-2:1.1/ttyUSB2/dev", "188:2"}}) {
    std::filesystem::create_directories(std::filesystem::path(usb + path).parent_path());
    std::ofstream(usb + path) << text << "\n";
  }
  std::vector<std::string> found;
  for (const TKernelFTDevice& d : KernelFTDevices()) found.push_back(d.SerialNumber + " " + d.Tty);
  EXPECT_EQ(found, (std::vector<std::string>{"FT4B ttyUSB0", "FT4D ttyUSB1", "FT2B ttyUSB2"}));
}
