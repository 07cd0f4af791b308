#include "tools/duomat-cli/uCliPorts.h"

#include <cstdio>

#include "core/uText.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
// Sysfs strings are the device's own: escaped for the terminal.
std::string IdentityText(const TPortIdentity& identity) {
  std::string text;
  if (!identity.Usb.Empty()) text += "  " + Printable(UsbIdentityText(identity.Usb));
  if (!identity.ByID.empty()) text += "  by-id";
  for (const std::string& name : identity.ByID) text += " " + Printable(name);
  return text;
}

nlohmann::ordered_json UsbJson(const TUsbIdentity& usb) {
  if (usb.Empty()) return nullptr;
  return {{"vendor_id", usb.VendorID}, {"product_id", usb.ProductID}, {"manufacturer", usb.Manufacturer},
          {"product", usb.Product}, {"serial", usb.Serial}};
}
}  // namespace

std::string PortsText(const std::vector<TListedPort>& ports) {
  std::string text;
  bool denied = false;
  for (const TListedPort& p : ports) {
    text += "COM" + std::to_string(p.Port) + "  " + Printable(p.Path);
    if (!p.Target.empty()) text += " -> " + Printable(p.Target);
    // The state is a JSON value too; only its text here follows the language.
    text += "  " + Tr(kCliContext, p.State.c_str()) + IdentityText(p.Identity) + "\n";
    denied = denied || p.State == "no access";
  }
  if (ports.empty()) text += Tr(DUOMAT_TR_EN("duomat-cli", "No serial ports found.")) + "\n";
  for (const TListedConverter& c : ListConverters()) {
    text += "usb  " + Printable(c.SerialNumber) + "  " + Printable(c.Description) +
            (c.Denied ? "  " + Tr(kCliContext, "no access") : "") + "\n";
    denied = denied || c.Denied;
  }
  if (denied)
    text += Tr(DUOMAT_TR_EN("duomat-cli",
                            "Ports and converters marked \"no access\" need membership in the "
                            "group that owns them (usually\n"
                            "dialout):  sudo usermod -aG dialout $USER   (then log in again)")) +
            "\n";
  return text;
}

nlohmann::ordered_json PortsJson(const std::vector<TListedPort>& ports) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TListedPort& p : ports)
    list.push_back({{"port", p.Port}, {"path", p.Path}, {"target", p.Target}, {"state", p.State},
                    {"by_id", p.Identity.ByID}, {"usb", UsbJson(p.Identity.Usb)}});
  nlohmann::ordered_json usb = nlohmann::ordered_json::array();
  for (const TListedConverter& c : ListConverters())
    usb.push_back({{"serial", c.SerialNumber}, {"description", c.Description}, {"access", !c.Denied}});
  return {{"ports", list}, {"usb", usb}};
}

std::string HidPortsText() {
  std::string text, rule;
  for (const TListedHidDevice& d : ListHidDevices()) {
    const bool denied = d.Denied;
    text += "hid  " + UsbIdPair(d.VendorID, d.ProductID) + "  vid=" + std::to_string(d.VendorID) +
            " pid=" + std::to_string(d.ProductID) + "  " + Printable(d.SerialNumber) + "  " +
            Printable(d.Product) + (denied ? "  " + Tr(kCliContext, "no access") : "") + "\n";
    if (denied && rule.empty()) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "  SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\", MODE=\"0660\", "
                    "GROUP=\"plugdev\"\n",
                    d.VendorID, d.ProductID);
      rule = line;
    }
  }
  if (!rule.empty())
    text += Tr(DUOMAT_TR_EN(
                "duomat-cli",
                "HID devices marked \"no access\" need a udev rule that gives a group of yours the "
                "hidraw node, for\n"
                "example in /etc/udev/rules.d/70-duomat.rules (then plug the device in again):")) +
            "\n" + rule;
  return text;
}

nlohmann::ordered_json HidPortsJson() {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TListedHidDevice& d : ListHidDevices()) {
    list.push_back({{"vid", d.VendorID},
                    {"pid", d.ProductID},
                    {"usb_id", UsbIdPair(d.VendorID, d.ProductID)},
                    {"serial", d.SerialNumber},
                    {"product", d.Product},
                    {"access", !d.Denied}});
  }
  return list;
}

}  // namespace duomat::cli
