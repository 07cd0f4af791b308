#include "core/uOpenFailure.h"

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "comm/uci_ConnectionString.h"
#include "core/uPortList.h"
#include "platform/uSysfs.h"
#include "transports/ftdi/uFTD2XXKernel.h"
#include "transports/serial/uComPortMap.h"

namespace duomat {

namespace {
std::string GroupOf(const std::string& node) {
  struct stat st {};
  if (stat(node.c_str(), &st) != 0) return {};
  const group* g = getgrgid(st.st_gid);
  return g ? g->gr_name : std::to_string(st.st_gid);
}

// The node and who may open it.
std::string Denied(const std::string& node, const char* rule) {
  const std::string group = GroupOf(node);
  std::string text = "no access to " + node;
  if (!group.empty() && group != "root")
    text += ": it belongs to the group " + group + " (sudo usermod -aG " + group + " $USER, then log in again)";
  else
    text += std::string(": ") + rule;
  return text;
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}
}  // namespace

std::string OpenFailureReason(const std::string& connection) {
  const std::string provider = Upper(korvan::GetConnectionValue(connection, "provider", ""));
  constexpr const char* kSerialRule = "a udev rule must give a group of yours the node (see duomat-cli ports)";
  if (provider == "SERIAL_PORT") {
    const int32_t n = korvan::GetConnectionInteger(connection, "comport", 0);
    const std::string node = korvan::transport::ComPortDevicePath(n);
    if (node.empty()) return "COM" + std::to_string(n) + " stands for no device";
    struct stat st {};
    if (stat(node.c_str(), &st) != 0) return node + " (COM" + std::to_string(n) + ") does not exist";
    if (NodeDenied(node)) return Denied(node, kSerialRule);
    return {};
  }
  if (provider == "FTD_USB") {
    const std::string serial = korvan::GetConnectionValue(connection, "serial_number", "");
    for (const auto& d : korvan::transport::KernelFTDevices())
      if (d.SerialNumber == serial) {
        const std::string node = korvan::DevDir() + "/" + d.Tty;
        return NodeDenied(node) ? Denied(node, kSerialRule) : std::string();
      }
    for (const TListedConverter& c : ListConverters())
      if (c.SerialNumber == serial) return {};
    return "no FTDI converter with the serial number " + serial + " is plugged in (see duomat-cli ports)";
  }
  if (provider == "HID") {
    const int32_t vid = korvan::GetConnectionInteger(connection, "vid", -1);
    const int32_t pid = korvan::GetConnectionInteger(connection, "pid", -1);
    bool present = false;
    for (const TListedHidDevice& d : ListHidDevices())
      if (d.VendorID == vid && d.ProductID == pid) {
        present = true;
        if (d.Denied) return Denied(d.Node, "the rule 70-duomat.rules of the Duomat package gives it to the group plugdev");
      }
    if (!present) return "no HID device " + UsbIdPair(vid, pid) + " is plugged in (see duomat-cli ports)";
  }
  return {};
}

}  // namespace duomat
