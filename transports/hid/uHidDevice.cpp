#include "transports/hid/uHidDevice.h"

#include "platform/uSysfs.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <linux/hidraw.h>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "transports/hid/uHidReportDescriptor.h"

namespace korvan::transport {

namespace fs = std::filesystem;

namespace {
constexpr int kWriteTimeoutMs = 1000;  // a report the peer does not take in time fails

bool ParseHex16(const std::string& text, uint16_t& value) {
  if (text.empty() || text.size() > 8) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 16);
  if (*end != '\0' || v > 0xFFFF) return false;
  value = static_cast<uint16_t>(v);
  return true;
}

// "hidrawN" → N, else -1.
int HidrawNumber(const std::string& name) {
  if (name.rfind("hidraw", 0) != 0 || name.size() == 6 || name.size() > 12) return -1;
  for (size_t i = 6; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return -1;
  return std::atoi(name.c_str() + 6);
}

// The HID device's own USB device: its interface's parent, the one with
// idVendor. Never further up: a hub or host controller there has strings too.
fs::path UsbDevice(const fs::path& hidDevice) {
  std::error_code ec;
  fs::path p = fs::canonical(hidDevice, ec);
  for (int level = 0; level < 2 && !p.empty() && p.has_parent_path(); ++level) {
    p = p.parent_path();
    if (fs::exists(p / "idVendor", ec)) return p;
  }
  return {};
}

bool IsGoneError(int e) { return e == EIO || e == ENXIO || e == ENODEV || e == EPIPE || e == ECONNRESET; }

class THidRawHandle : public TMyInterfacedObject, public IHidHandle {
 public:
  THidRawHandle(int fd, bool socket, const THidReportLengths& lengths)
      : fd_(fd), socket_(socket), lengths_(lengths) {}
  ~THidRawHandle() override { ::close(fd_); }

  int InputReportLength() override { return lengths_.InputReportLength; }
  int OutputReportLength() override { return lengths_.OutputReportLength; }
  bool UsesReportIds() override { return lengths_.UsesReportIds; }

  int WriteReport(const std::string& report) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    for (;;) {
      const ssize_t n = socket_ ? ::send(fd_, report.data(), report.size(), MSG_NOSIGNAL)
                                : ::write(fd_, report.data(), report.size());
      if (n >= 0) return static_cast<int>(n);
      if (errno == EINTR) continue;
      if (errno != EAGAIN) {
        if (IsGoneError(errno)) gone_ = true;
        return -1;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return -1;
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    }
  }

  bool ReadReport(std::string& report) override {
    report.clear();
    if (gone_) return false;
    const int n = lengths_.InputReportLength;
    if (n <= 0) return true;
    // Without report IDs the node gives the data alone; the ID byte is 0.
    const size_t skip = lengths_.UsesReportIds ? 0 : 1;
    std::string buffer(static_cast<size_t>(n), '\0');
    const ssize_t got = socket_ ? ::recv(fd_, buffer.data() + skip, buffer.size() - skip, MSG_DONTWAIT)
                                : ::read(fd_, buffer.data() + skip, buffer.size() - skip);
    if (got > 0) {
      buffer.resize(static_cast<size_t>(got) + skip);
      report = std::move(buffer);
      return true;
    }
    // A socket that reads 0 bytes has been closed by its peer.
    if (got == 0 ? socket_ : (errno != EAGAIN && errno != EINTR)) gone_ = true;
    return !gone_;
  }

  void WaitReadable(int timeoutMs) override {
    pollfd p{fd_, POLLIN, 0};
    ::poll(&p, 1, timeoutMs);
  }

  bool Plugged() override {
    if (gone_) return false;
    pollfd p{fd_, 0, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) gone_ = true;
    return !gone_;
  }

 private:
  const int fd_;
  const bool socket_;
  const THidReportLengths lengths_;
  std::atomic<bool> gone_{false};
};

class THidRawDevice : public TMyInterfacedObject, public IHidBackendDevice {
 public:
  explicit THidRawDevice(THidDeviceInfo info) : info_(std::move(info)) {}

  const THidDeviceInfo& Info() override { return info_; }

  TRef<IHidHandle> Open() override {
    struct stat st{};
    if (::stat(info_.Node.c_str(), &st) != 0) return nullptr;
    const bool socket = S_ISSOCK(st.st_mode);
    const int fd = socket ? Connect() : ::open(info_.Node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::string descriptor = info_.ReportDescriptor;
    if (descriptor.empty() && !socket) descriptor = AskDescriptor(fd);
    return TRef<IHidHandle>(CreateObject<THidRawHandle>(fd, socket, ParseHidReportDescriptor(descriptor)).get());
  }

 private:
  // One message on the socket is one report.
  int Connect() {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    if (info_.Node.size() >= sizeof a.sun_path) return -1;
    std::copy(info_.Node.begin(), info_.Node.end(), a.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    // A listener that takes no one in does not hold the open for long.
    timeval limit{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd);
      return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return fd;
  }

  static std::string AskDescriptor(int fd) {
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) != 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) return {};
    hidraw_report_descriptor d{};
    d.size = static_cast<__u32>(size);
    if (ioctl(fd, HIDIOCGRDESC, &d) != 0) return {};
    return std::string(reinterpret_cast<const char*>(d.value), d.size);
  }

  THidDeviceInfo info_;
};

class THidRawBackend : public IHidBackend {
 public:
  std::vector<TRef<IHidBackendDevice>> Enumerate() override {
    const fs::path sysRoot = SysfsRoot();
    const std::string devDir = DevDir();
    std::vector<THidDeviceInfo> found;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(sysRoot / "class" / "hidraw", ec)) {
      THidDeviceInfo info;
      info.Number = HidrawNumber(e.path().filename().string());
      if (info.Number < 0) continue;
      if (!Describe(e.path() / "device", info)) continue;
      info.Node = devDir + "/hidraw" + std::to_string(info.Number);
      found.push_back(std::move(info));
    }
    // Directory order is arbitrary; "enumerated last" means the highest number.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.Number < b.Number; });
    std::vector<TRef<IHidBackendDevice>> devices;
    for (THidDeviceInfo& info : found)
      devices.push_back(TRef<IHidBackendDevice>(CreateObject<THidRawDevice>(std::move(info)).get()));
    return devices;
  }

 private:
  static bool Describe(const fs::path& hid, THidDeviceInfo& info) {
    std::istringstream uevent(ReadSysfsFile(hid / "uevent"));
    std::string line;
    bool haveId = false;
    while (std::getline(uevent, line)) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "HID_ID") {
        // bus:vendor:product in hexadecimal, "0003:000004D8:0000003F"
        const size_t c1 = value.find(':'), c2 = value.find(':', c1 + 1);
        haveId = c1 != std::string::npos && c2 != std::string::npos &&
                 ParseHex16(value.substr(c1 + 1, c2 - c1 - 1), info.VendorID) &&
                 ParseHex16(value.substr(c2 + 1), info.ProductID);
      } else if (key == "HID_NAME") {
        info.Product = value;
      } else if (key == "HID_UNIQ") {
        info.SerialNumber = value;
      }
    }
    if (!haveId) return false;
    if (const fs::path usb = UsbDevice(hid); !usb.empty()) {
      std::error_code ec;
      info.Manufacturer = ReadSysfsAttribute(usb / "manufacturer");
      if (fs::exists(usb / "product", ec)) info.Product = ReadSysfsAttribute(usb / "product");
    }
    info.ReportDescriptor = ReadSysfsFile(hid / "report_descriptor");
    return true;
  }
};
}  // namespace

std::unique_ptr<IHidBackend> CreateHidRawBackend() { return std::make_unique<THidRawBackend>(); }

// ---- THidDevice --------------------------------------------------------------

THidDevice::THidDevice() : lock_("THidDevice") {}

THidDevice::THidDevice(TRef<IHidBackendDevice> device) : lock_("THidDevice"), device_(std::move(device)) {}

THidDevice::~THidDevice() = default;

TRef<IHidBackendDevice> THidDevice::Attached() {
  TReadLock guard(lock_);
  return device_;
}

bool THidDevice::Attach(TRef<IHidBackendDevice> device) {
  TWriteLock guard(lock_);
  handle_ = nullptr;
  device_ = nullptr;
  if (!device) return true;
  TRef<IHidHandle> handle = device->Open();
  if (!handle) return false;
  device_ = std::move(device);
  handle_ = std::move(handle);
  return true;
}

TRef<IHidHandle> THidDevice::Handle() {
  TReadLock guard(lock_);
  return handle_;
}

bool THidDevice::Active() {
  TReadLock guard(lock_);
  return handle_ && handle_->Plugged();
}

std::string THidDevice::Manufacturer() {
  TReadLock guard(lock_);
  return device_ ? device_->Info().Manufacturer : std::string();
}

std::string THidDevice::Product() {
  TReadLock guard(lock_);
  return device_ ? device_->Info().Product : std::string();
}

bool THidDevice::Write(const std::string& data) {
  std::lock_guard<std::mutex> order(writeMutex_);
  // The handle stays open while we hold it, even when detached meanwhile.
  const TRef<IHidHandle> handle = Handle();
  if (!handle) return false;
  const int n = handle->OutputReportLength();
  // Below 3 bytes a report carries no payload, and the split would never end.
  if (n < 3) return false;
  // The length byte counts at most 255 of a longer report's payload.
  const size_t room = std::min<size_t>(static_cast<size_t>(n - 2), 255);
  const char first = handle->UsesReportIds() ? static_cast<char>(n - 1) : '\0';
  auto send = [&](std::string_view piece) {
    std::string report(static_cast<size_t>(n), '\0');
    report[0] = first;
    report[1] = static_cast<char>(piece.size());
    std::copy(piece.begin(), piece.end(), report.begin() + 2);
    return handle->WriteReport(report) == n;
  };
  std::string_view rest(data);
  while (rest.size() > room) {
    if (!send(rest.substr(0, room))) return false;
    rest.remove_prefix(room);
  }
  return send(rest);
}

std::string THidDevice::ReadAll() {
  TReadLock guard(lock_);
  std::string result;
  if (!handle_) return result;
  std::string report;
  while (handle_->ReadReport(report)) {
    if (report.size() < 2) break;
    const size_t length = static_cast<uint8_t>(report[1]);
    if (length == 0 || length >= report.size()) break;
    result.append(report, 2, length);
  }
  return result;
}

}  // namespace korvan::transport
