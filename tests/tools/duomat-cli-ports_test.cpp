// duomat-cli ports: the serial ports, converters and HID devices of a planted machine.
#ifdef DUOMAT_CLI_PATH
#include <gtest/gtest.h>

#include "tools/TCliSession.h"

using namespace clitest;

TEST(CliPorts, ListsThePresentPortsWithTheirPathsInTextAndJson) {
  korvan::test::TComPorts machine;
  const std::string one = machine.AddTerminal(1), three = machine.AddTerminal(3);
  machine.AddDanglingLink(4);
  const std::string five = machine.AddTerminal(5, true);
  const std::string ten = machine.DevDir() + "/ttyS9";
  const std::string uart = machine.AddTtyS(9, 4);  // a UART only root may open
  machine.AddTtyS(10, 0);                          // COM11: no UART behind the node
  const std::string tenState = access(ten.c_str(), R_OK | W_OK) == 0 ? "free" : "no access";

  const TRun r = RunCli({"ports"});
  ASSERT_EQ(r.Status, 0) << r;
  const std::string listed = "COM1  " + machine.Link(1) + " -> " + one + "  free\n" +  //
                             "COM3  " + machine.Link(3) + " -> " + three + "  free\n" +
                             "COM5  " + machine.Link(5) + " -> " + five + "  in use\n" +  //
                             "COM10  " + ten + " -> " + uart + "  " + tenState + "\n";
  EXPECT_EQ(r.Out.substr(0, listed.size()), listed) << r;
  EXPECT_EQ(r.Out.find("dialout") != std::string::npos, tenState == "no access") << r;

  const json j = JsonOf(RunCli({"ports", "--json"}));
  ASSERT_EQ(j["ports"].size(), 4u) << j;
  const auto noUsb = [](json port) {  // no stable name, no USB device
    port["by_id"] = json::array();
    port["usb"] = nullptr;
    return port;
  };
  EXPECT_EQ(j["ports"][0], noUsb({{"port", 1}, {"path", machine.Link(1)}, {"target", one}, {"state", "free"}}));
  EXPECT_EQ(j["ports"][2].value("state", ""), "in use");
  EXPECT_EQ(j["ports"][3], noUsb({{"port", 10}, {"path", ten}, {"target", uart}, {"state", tenState}}));
  EXPECT_EQ(j["usb"], json::array());
}

// The converter's tree as the kernel and udev show it: its tty's class entry
// up to the USB device, and its stable name.
TEST(CliPorts, ListsTheUsbConvertersWithTheirIdentityAndStableNamesAndTheHidDevices) {
  TDeviceTree dir;
  TSimProcess hid({"--module", "ingra", "--hid", dir.Path(), "--serial", "S1", "--vid", "1240", "--pid", "63"});
  TSimProcess ftdi({"--module", "outra", "--ftdi", dir.Path(), "--serial", "FT123456"});
  ASSERT_TRUE(hid.Started() && ftdi.Started());
  TRun r = RunCli({"ports"});
  EXPECT_EQ(r.Status, 0) << r;
  const std::string byId = "usb-FTDI_FT232R_USB_UART_FT123456-if00-port0";
  EXPECT_NE(r.Out.find("COM33  " + dir.Path() + "/dev/ttyUSB0 -> " + ftdi.PtyPath() +
                       "  free  usb 0403:6001 FTDI FT232R USB UART FT123456  by-id " + byId + "\n"),
            std::string::npos)
      << r;
  EXPECT_NE(r.Out.find("\nusb  FT123456  FT232R USB UART\n"), std::string::npos) << r;
  EXPECT_NE(r.Out.find("\nhid  04d8:003f  vid=1240 pid=63  S1  korvan-sim\n"), std::string::npos) << r;
  const json j = JsonOf(RunCli({"ports", "--json"}));
  ASSERT_EQ(j["ports"].size(), 1u) << j;
  EXPECT_EQ(j["ports"][0]["by_id"], json::array({byId})) << j;
  EXPECT_EQ(j["ports"][0]["usb"], json::parse(R"({"vendor_id":"0403","product_id":"6001","manufacturer":"FTDI",)"
                                              R"("product":"FT232R USB UART","serial":"FT123456"})")) << j;
  EXPECT_EQ(j["usb"], json::parse(R"([{"serial":"FT123456","description":"FT232R USB UART","access":true}])")) << j;
  EXPECT_EQ(j["hid"], json::parse(R"([{"vid":1240,"pid":63,"usb_id":"04d8:003f","serial":"S1","product":"korvan-sim","access":true}])")) << j;
  // Nodes the user may not open: "no access", with what grants it.
  for (const std::string& endpoint : {hid.Endpoints().at(0), ftdi.Endpoints().at(0)})
    chmod(endpoint.substr(endpoint.rfind(' ') + 1).c_str(), 0);
  r = RunCli({"ports"});
  EXPECT_NE(r.Out.find("\nusb  FT123456  FT232R USB UART  no access\n"), std::string::npos) << r;
  EXPECT_NE(r.Out.find("\nhid  04d8:003f  vid=1240 pid=63  S1  korvan-sim  no access\n"), std::string::npos) << r;
  EXPECT_TRUE(r.Out.find("dialout") != std::string::npos &&
              r.Out.find("ATTRS{idVendor}==\"04d8\", ATTRS{idProduct}==\"003f\"") != std::string::npos) << r;
}

TEST(CliPorts, OnlyCharacterDevicesArePortsAndPlantedFilesCannotHoldTheScan) {
  korvan::test::TComPorts machine;
  const std::string dev = machine.DevDir() + "/ttyS", sys = machine.SysfsRoot(), usb = sys + "/bus/usb/devices/1-1";
  mkfifo((dev + "0").c_str(), 0666);              // COM1
  std::ofstream(dev + "1") << "not a port\n";     // COM2
  mkdir((dev + "2").c_str(), 0755);               // COM3
  symlink("/dev/null", (dev + "3").c_str());      // COM4: a character device, but no terminal
  // Attributes that would never answer or never end if read as they are.
  for (const char* d : {"/class/tty/ttyS3", "/bus/usb/devices/1-1/1-1:1.0/ttyUSB0", "/class/hidraw/hidraw0/device"})
    std::filesystem::create_directories(sys + d);
  mkfifo((sys + "/class/tty/ttyS3/type").c_str(), 0666);
  std::ofstream(usb + "/idVendor") << "0403\n";
  symlink("/dev/zero", (usb + "/serial").c_str());
  symlink("/dev/zero", (sys + "/class/hidraw/hidraw0/device/uevent").c_str());
  const TRun r = RunCli({"ports"});  // a hang is killed at the bound and fails here
  EXPECT_EQ(r.Status, 0) << r;
  EXPECT_EQ(r.Out.substr(0, r.Out.find('\n') + 1), "No serial ports found.\n") << r;
  EXPECT_EQ(r.Out.find("COM"), std::string::npos) << r;
}

#endif  // DUOMAT_CLI_PATH
