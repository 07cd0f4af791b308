#include <gtest/gtest.h>

#include "support/TDeviceTree.h"
#include "tools/korvan-sim/uFtdiTree.h"
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
