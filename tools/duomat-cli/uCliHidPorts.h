#pragma once
#include <nlohmann/json.hpp>

#include <string>

// duomat-cli ports: the HID devices present, with the IDs a connection
// string names them by.
namespace duomat::cli {

// One line "hid  vid=V pid=P  SERIAL  PRODUCT" per device, IDs in decimal.
std::string HidPortsText();
// [{"vid":V,"pid":P,"serial":…,"product":…}, …]
nlohmann::ordered_json HidPortsJson();

}  // namespace duomat::cli
