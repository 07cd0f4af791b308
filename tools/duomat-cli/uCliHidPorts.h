#pragma once
#include <nlohmann/json.hpp>

#include <string>

// duomat-cli ports: the HID devices present, with the IDs a connection
// string names them by.
namespace duomat::cli {

// One line "hid  VVVV:PPPP  vid=V pid=P  SERIAL  PRODUCT" per device: the ids in
// hex as lsusb shows them, then in decimal as the connection string takes them.
std::string HidPortsText();
// [{"vid":V,"pid":P,"serial":…,"product":…}, …]
nlohmann::ordered_json HidPortsJson();

}  // namespace duomat::cli
