#pragma once
// duomat-cli ports: the serial ports, FTDI converters and HID devices found, as text or JSON.
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "core/uPortList.h"

namespace duomat::cli {

// Text: one line "COMn  PATH[ -> TARGET]  STATE[  usb VID:PID …][  by-id NAME…]"
// per port, then "usb  SERIAL  DESCRIPTION" per converter, then a hint when
// one refused access. JSON: {"ports":[…],"usb":[…]}, each port with "by_id"
// and "usb" (null when it is no USB device).
std::string PortsText(const std::vector<TListedPort>& ports);
nlohmann::ordered_json PortsJson(const std::vector<TListedPort>& ports);

// One line "hid  VVVV:PPPP  vid=V pid=P  SERIAL  PRODUCT" per device: the ids in
// hex as lsusb shows them, then in decimal as the connection string takes them.
std::string HidPortsText();
// [{"vid":V,"pid":P,"serial":…,"product":…}, …]
nlohmann::ordered_json HidPortsJson();

}  // namespace duomat::cli
