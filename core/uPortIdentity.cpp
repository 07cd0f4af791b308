#include "core/uPortIdentity.h"

#include <dirent.h>
#include <unistd.h>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/uSysfs.h"

namespace duomat {

namespace {
// Folders from the tty's device up to the USB device: interface, port, device.
constexpr int kMaxLevels = 6;

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string BaseName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::string Parent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// The path, then each link it leads through: a COMn link to /dev/ttyUSB0
// names the tty in its target.
std::vector<std::string> Chain(const std::string& path) {
  std::vector<std::string> chain = {path};
  for (int i = 0; i < 8; ++i) {
    char target[PATH_MAX];
    const ssize_t n = readlink(chain.back().c_str(), target, sizeof target - 1);
    if (n <= 0) break;
    const std::string t(target, static_cast<size_t>(n));
    chain.push_back(t[0] == '/' ? t : Parent(chain.back()) + "/" + t);
  }
  return chain;
}

TUsbIdentity UsbOf(const std::string& ttyName) {
  TUsbIdentity usb;
  const std::string root = RealPath(korvan::SysfsRoot());
  std::string dir = RealPath(korvan::SysfsRoot() + "/class/tty/" + ttyName + "/device");
  for (int level = 0; level < kMaxLevels && !dir.empty() && dir != root;
       ++level, dir = Parent(dir)) {
    usb.VendorID = korvan::ReadSysfsAttribute(dir + "/idVendor");
    usb.ProductID = korvan::ReadSysfsAttribute(dir + "/idProduct");
    if (usb.Empty()) continue;
    usb.Manufacturer = korvan::ReadSysfsAttribute(dir + "/manufacturer");
    usb.Product = korvan::ReadSysfsAttribute(dir + "/product");
    usb.Serial = korvan::ReadSysfsAttribute(dir + "/serial");
    return usb;
  }
  return {};
}

std::vector<std::string> ByIdOf(const std::string& device) {
  std::vector<std::string> names;
  if (device.empty()) return names;
  const std::string folder = korvan::DevDir() + "/serial/by-id";
  DIR* d = opendir(folder.c_str());
  if (!d) return names;
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (RealPath(folder + "/" + name) == device) names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}
}  // namespace

TPortIdentity PortIdentity(const std::string& path) {
  TPortIdentity identity;
  identity.ByID = ByIdOf(RealPath(path));
  for (const std::string& step : Chain(path)) {
    const std::string name = BaseName(step);
    if (name.empty() || RealPath(korvan::SysfsRoot() + "/class/tty/" + name).empty()) continue;
    identity.Usb = UsbOf(name);
    break;
  }
  return identity;
}

std::string UsbIdentityText(const TUsbIdentity& usb) {
  if (usb.Empty()) return {};
  std::string text = "usb " + usb.IdPair();
  for (const std::string* part : {&usb.Manufacturer, &usb.Product, &usb.Serial})
    if (!part->empty()) text += " " + *part;
  return text;
}

std::string UsbIdPair(int vendorID, int productID) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", vendorID & 0xFFFF, productID & 0xFFFF);
  return text;
}

}  // namespace duomat
