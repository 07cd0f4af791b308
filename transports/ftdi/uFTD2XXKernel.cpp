#include "transports/ftdi/uFTD2XXKernel.h"

#include "platform/uSysfs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "platform/uThreadName.h"
#include "transports/serial/uTermios2.h"
#include "transports/serial/uTtyLine.h"

namespace korvan::transport {

namespace {
constexpr int kModemPollMs = 200;      // only on a line with modem-line counters
constexpr int kWriteDeadlineMs = 5000;  // a line that takes nothing for this long fails the write

std::vector<std::string> SortedEntries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);  // follows the links of a real sysfs
}

uint16_t Hex16(const std::string& text) { return static_cast<uint16_t>(std::strtoul(text.c_str(), nullptr, 16)); }

FT_STATUS ErrnoStatus(int error) { return IsTtyGoneError(error) ? FT_IO_ERROR : FT_OTHER_ERROR; }

std::atomic<uint64_t> g_statusRequests{0};

// The queue and modem-status ioctls, counted.
int StatusIoctl(int fd, unsigned long request, int* value) {
  g_statusRequests.fetch_add(1, std::memory_order_relaxed);
  return ioctl(fd, request, value);
}

// ---- handles -----------------------------------------------------------------

struct TKernelHandle {
  int fd = -1;
  int wakeFd = -1;
  std::mutex settingsMutex;
  TLineSettings settings;
  bool dtr = true;
  bool rts = true;
  uint32_t inSize = 4096;
  uint32_t outSize = 4096;

  std::mutex notifyMutex;
  TFTEventHandle* event = nullptr;
  uint32_t mask = 0;
  std::thread notifier;
  std::atomic<bool> stop{false};
  std::atomic<bool> armed{true};  // false after a data signal until someone looks at the queue
  std::atomic<bool> gone{false};

  void Wake() {
    const uint64_t one = 1;
    const ssize_t n = ::write(wakeFd, &one, sizeof one);
    (void)n;
  }
  // Someone looked at the queue: the next arrival is worth a signal again.
  void Rearm() {
    if (!armed.exchange(true)) Wake();
  }
  void Signal() {
    std::lock_guard<std::mutex> lock(notifyMutex);
    if (!event) return;
    pthread_mutex_lock(&event->eMutex);
    event->iVar = 1;
    pthread_cond_signal(&event->eCondVar);
    pthread_mutex_unlock(&event->eMutex);
  }
  uint32_t Mask() {
    std::lock_guard<std::mutex> lock(notifyMutex);
    return mask;
  }
  void NotifyLoop();
};

bool SameCounts(const serial_icounter_struct& a, const serial_icounter_struct& b) {
  return a.cts == b.cts && a.dsr == b.dsr && a.rng == b.rng && a.dcd == b.dcd;
}

void TKernelHandle::NotifyLoop() {
  NameThread("FTDI tty events");
  serial_icounter_struct last{};
  // A pseudo-terminal has no counters and never wakes idly; nor does a
  // line of which only data is awaited.
  const bool counters = ioctl(fd, TIOCGICOUNT, &last) == 0;
  bool hungUp = false;
  while (!stop.load()) {
    const bool watchLine = !hungUp && armed.load();
    const bool modem = counters && (Mask() & FT_EVENT_MODEM_STATUS);
    const TTtyWait w = WaitTtyOrWake(wakeFd, fd, watchLine, modem ? kModemPollMs : -1);
    if (stop.load()) break;
    if (!w.ok) continue;
    bool signal = false;
    if (w.line & (POLLHUP | POLLERR | POLLNVAL)) {
      // Gone (a hung-up pseudo-terminal, an unplugged adapter): say so once.
      hungUp = true;
      gone.store(true);
      signal = true;
    } else if (w.line & POLLIN) {
      armed.store(false);
      signal = (Mask() & FT_EVENT_RXCHAR) != 0;
    }
    if (modem) {
      serial_icounter_struct now{};
      if (ioctl(fd, TIOCGICOUNT, &now) == 0 && !SameCounts(now, last)) {
        last = now;
        if (Mask() & FT_EVENT_MODEM_STATUS) signal = true;
      }
    }
    if (signal) Signal();
  }
}

TKernelHandle* H(FT_HANDLE handle) { return static_cast<TKernelHandle*>(handle); }

// ---- the device list -----------------------------------------------------------

std::mutex g_listMutex;
std::vector<TKernelFTDevice> g_list;

bool FindBySerial(const std::string& serial, TKernelFTDevice& found) {
  for (const TKernelFTDevice& d : KernelFTDevices())
    if (d.SerialNumber == serial) {
      found = d;
      return true;
    }
  return false;
}

uint32_t DeviceType(uint16_t product) {
  switch (product) {
    case 0x6010: return 6;  // FT2232C
    case 0x6011: return 7;  // FT4232H
    case 0x6014: return 8;  // FT232H
    case 0x6015: return 9;  // FT-X
    default: return 5;      // FT232R
  }
}

void CopyText(const std::string& text, void* buffer) {
  if (!buffer) return;
  const size_t n = std::min(text.size(), FT_DETAIL_TEXT_SIZE - 1);
  std::memcpy(buffer, text.data(), n);
  static_cast<char*>(buffer)[n] = '\0';
}

// ---- the functions ---------------------------------------------------------------

FT_STATUS OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle) {
  if (!handle || !arg) return FT_INVALID_ARGS;
  *handle = nullptr;
  if (flags != FT_OPEN_BY_SERIAL_NUMBER) return FT_INVALID_PARAMETER;
  const char* text = static_cast<const char*>(arg);
  TKernelFTDevice device;
  // No number names no converter (not the first one without a number).
  if (!*text || !FindBySerial(std::string(text, strnlen(text, FT_SERIAL_NUMBER_LENGTH)), device)) return FT_DEVICE_NOT_FOUND;
  const int fd = OpenTtyExclusive(DevDir() + "/" + device.Tty);
  if (fd < 0) return errno == ENOENT || IsTtyGoneError(errno) ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
  auto h = std::make_unique<TKernelHandle>();
  h->fd = fd;
  h->settings.BaudRate = 9600;
  h->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (h->wakeFd < 0 || !ApplyLineSettings(fd, h->settings)) {
    if (h->wakeFd >= 0) ::close(h->wakeFd);
    ::close(fd);
    return FT_DEVICE_NOT_OPENED;
  }
  FlushPort(fd, true, true);
  TtySetControlLines(fd, h->dtr, h->rts);
  *handle = h.release();
  return FT_OK;
}

FT_STATUS Close(FT_HANDLE handle) {
  TKernelHandle* h = H(handle);
  h->stop.store(true);
  h->Wake();
  if (h->notifier.joinable()) h->notifier.join();
  ::close(h->fd);
  ::close(h->wakeFd);
  delete h;
  return FT_OK;
}

FT_STATUS ApplySettings(TKernelHandle* h, const TLineSettings& s) {
  std::lock_guard<std::mutex> lock(h->settingsMutex);
  if (!ApplyLineSettings(h->fd, s)) return IsTtyGoneError(errno) ? FT_IO_ERROR : FT_INVALID_PARAMETER;
  // A driver replaces what it cannot do (CS6, a rate beyond the chip) and
  // says nothing: read back, and put the line back as it was.
  if (!LineSettingsTaken(h->fd, s)) {
    ApplyLineSettings(h->fd, h->settings);
    return s.BaudRate != h->settings.BaudRate ? FT_INVALID_BAUD_RATE : FT_INVALID_PARAMETER;
  }
  h->settings = s;
  return FT_OK;
}

FT_STATUS SetBaudRate(FT_HANDLE handle, uint32_t baud) {
  TLineSettings s = H(handle)->settings;
  s.BaudRate = baud;
  return ApplySettings(H(handle), s);
}

FT_STATUS SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
  TLineSettings s = H(handle)->settings;
  s.DataBits = wordLength;
  s.StopBits = stopBits;  // the library's 0 one, 2 two are the line's codes too
  s.Parity = parity;
  return ApplySettings(H(handle), s);
}

FT_STATUS ControlLines(FT_HANDLE handle, int dtr, int rts) {
  TKernelHandle* h = H(handle);
  std::lock_guard<std::mutex> lock(h->settingsMutex);
  if (dtr >= 0) h->dtr = dtr;
  if (rts >= 0) h->rts = rts;
  // A pseudo-terminal has no modem control lines; that is not an error.
  TtySetControlLines(h->fd, h->dtr, h->rts);
  return FT_OK;
}
FT_STATUS SetDtr(FT_HANDLE handle) { return ControlLines(handle, 1, -1); }
FT_STATUS ClrDtr(FT_HANDLE handle) { return ControlLines(handle, 0, -1); }
FT_STATUS SetRts(FT_HANDLE handle) { return ControlLines(handle, -1, 1); }
FT_STATUS ClrRts(FT_HANDLE handle) { return ControlLines(handle, -1, 0); }

FT_STATUS SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t outSize) {
  TKernelHandle* h = H(handle);
  std::lock_guard<std::mutex> lock(h->settingsMutex);
  h->inSize = inSize;  // the tty has no transfer sizes to set: stored only
  h->outSize = outSize;
  return FT_OK;
}

FT_STATUS SetEventNotification(FT_HANDLE handle, uint32_t mask, void* event) {
  TKernelHandle* h = H(handle);
  {
    std::lock_guard<std::mutex> lock(h->notifyMutex);
    h->event = static_cast<TFTEventHandle*>(event);
    h->mask = mask;
  }
  try {
    if (!h->notifier.joinable()) h->notifier = std::thread([h] { h->NotifyLoop(); });
  } catch (const std::system_error&) {
    return FT_INSUFFICIENT_RESOURCES;
  }
  h->Wake();
  return FT_OK;
}

FT_STATUS QueueCount(TKernelHandle* h, uint32_t* rx) {
  int count = 0;
  if (h->gone.load()) return FT_IO_ERROR;
  if (StatusIoctl(h->fd, FIONREAD, &count) != 0) return ErrnoStatus(errno);
  // Nothing waiting: the next arrival is worth a signal. Bytes that wait are
  // read next, and the read re-arms, so that they are not signalled twice.
  if (count <= 0) h->Rearm();
  if (rx) *rx = static_cast<uint32_t>(std::max(count, 0));
  return FT_OK;
}

FT_STATUS GetStatus(FT_HANDLE handle, uint32_t* rx, uint32_t* tx, uint32_t* events) {
  const FT_STATUS status = QueueCount(H(handle), rx);
  if (status != FT_OK) return status;
  int out = 0;
  if (tx) *tx = StatusIoctl(H(handle)->fd, TIOCOUTQ, &out) == 0 ? static_cast<uint32_t>(std::max(out, 0)) : 0;
  if (events) *events = 0;
  return FT_OK;
}

FT_STATUS GetQueueStatus(FT_HANDLE handle, uint32_t* rx) { return QueueCount(H(handle), rx); }

FT_STATUS GetModemStatus(FT_HANDLE handle, uint32_t* status) {
  if (H(handle)->gone.load()) return FT_IO_ERROR;
  // A line without modem lines reads them all false; that is no failure.
  g_statusRequests.fetch_add(1, std::memory_order_relaxed);
  if (status) *status = TtyModemStatus(H(handle)->fd);
  return FT_OK;
}

FT_STATUS Read(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* read) {
  TKernelHandle* h = H(handle);
  if (read) *read = 0;
  uint32_t done = 0;
  FT_STATUS status = FT_OK;
  while (done < count) {
    const ssize_t n = ::read(h->fd, static_cast<char*>(buffer) + done, count - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;  // what has arrived, no more
    status = n == 0 ? FT_IO_ERROR : ErrnoStatus(errno);  // end of file: the other side hung up
    break;
  }
  // Taken: what arrives from now on is worth a signal.
  h->Rearm();
  if (read) *read = done;
  return status;
}

FT_STATUS Write(FT_HANDLE handle, void* buffer, uint32_t count, uint32_t* written) {
  TKernelHandle* h = H(handle);
  if (written) *written = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteDeadlineMs);
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(h->fd, static_cast<const char*>(buffer) + done, count - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && std::chrono::steady_clock::now() < deadline) {
      pollfd p{h->fd, POLLOUT, 0};
      poll(&p, 1, 50);
      continue;
    }
    if (written) *written = done;
    return n < 0 ? ErrnoStatus(errno) : FT_IO_ERROR;
  }
  if (written) *written = done;
  return FT_OK;
}

FT_STATUS Purge(FT_HANDLE handle, uint32_t mask) {
  FlushPort(H(handle)->fd, mask & FT_PURGE_RX, mask & FT_PURGE_TX);
  return FT_OK;
}

FT_STATUS CreateDeviceInfoList(uint32_t* count) {
  if (!count) return FT_INVALID_ARGS;
  std::vector<TKernelFTDevice> devices = KernelFTDevices();
  std::lock_guard<std::mutex> lock(g_listMutex);
  g_list = std::move(devices);
  *count = static_cast<uint32_t>(g_list.size());
  return FT_OK;
}

FT_STATUS GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type, uint32_t* id, uint32_t* location,
                              void* serial, void* description, FT_HANDLE* handle) {
  std::lock_guard<std::mutex> lock(g_listMutex);
  if (index >= g_list.size()) return FT_DEVICE_NOT_FOUND;
  const TKernelFTDevice& d = g_list[index];
  if (flags) *flags = 0;
  if (type) *type = DeviceType(d.ProductId);
  if (id) *id = (static_cast<uint32_t>(d.VendorId) << 16) | d.ProductId;
  if (location) *location = 0;
  if (handle) *handle = nullptr;
  CopyText(d.SerialNumber, serial);
  CopyText(d.Description, description);
  return FT_OK;
}
}  // namespace

std::vector<TKernelFTDevice> KernelFTDevices() {
  const std::string root = SysfsRoot() + "/bus/usb/devices";
  std::vector<TKernelFTDevice> devices;
  for (const std::string& name : SortedEntries(root)) {
    if (name.find(':') != std::string::npos) continue;  // an interface, not a device
    const std::string dir = root + "/" + name;
    if (!IsDirectory(dir) || Hex16(ReadSysfsAttribute(dir + "/idVendor")) != 0x0403) continue;
    std::vector<std::pair<long, std::string>> ports;  // interface number, tty
    int interfaces = 0;
    for (const std::string& entry : SortedEntries(dir)) {
      if (entry.rfind(name + ":", 0) != 0) continue;
      ++interfaces;
      // "1-1:1.2": configuration 1, interface 2, unless the attribute says otherwise.
      const std::string number = ReadSysfsAttribute(dir + "/" + entry + "/bInterfaceNumber");
      const long interface = number.empty() ? std::strtol(entry.c_str() + entry.rfind('.') + 1, nullptr, 10)
                                            : std::strtol(number.c_str(), nullptr, 16);
      for (const std::string& tty : SortedEntries(dir + "/" + entry))
        if (tty.rfind("ttyUSB", 0) == 0) ports.emplace_back(interface, tty);
    }
    const long declared = std::strtol(ReadSysfsAttribute(dir + "/bNumInterfaces").c_str(), nullptr, 10);
    const bool multiPort = std::max<long>(declared, interfaces) > 1;
    const std::string serial = ReadSysfsAttribute(dir + "/serial");
    const std::string product = ReadSysfsAttribute(dir + "/product");
    std::sort(ports.begin(), ports.end());
    for (const auto& [interface, tty] : ports) {
      if (interface < 0 || interface >= 26) continue;
      TKernelFTDevice d;
      // The library's names: A, B, ... by interface, whichever ports are bound.
      const std::string port = multiPort ? std::string(1, static_cast<char>('A' + interface)) : std::string();
      d.SerialNumber = serial + port;
      d.Description = port.empty() ? product : product + " " + port;
      d.Tty = tty;
      d.VendorId = 0x0403;
      d.ProductId = Hex16(ReadSysfsAttribute(dir + "/idProduct"));
      devices.push_back(d);
    }
  }
  return devices;
}

uint64_t KernelStatusRequests() { return g_statusRequests.load(); }

const TFTD2XXFunctions& KernelD2XXFunctions() {
  static const TFTD2XXFunctions functions = [] {
    TFTD2XXFunctions f;
    f.FT_OpenEx = &OpenEx;
    f.FT_Close = &Close;
    f.FT_SetBaudRate = &SetBaudRate;
    f.FT_SetDataCharacteristics = &SetDataCharacteristics;
    f.FT_SetDtr = &SetDtr;
    f.FT_ClrDtr = &ClrDtr;
    f.FT_SetRts = &SetRts;
    f.FT_ClrRts = &ClrRts;
    f.FT_SetUSBParameters = &SetUSBParameters;
    f.FT_SetEventNotification = &SetEventNotification;
    f.FT_GetStatus = &GetStatus;
    f.FT_GetModemStatus = &GetModemStatus;
    f.FT_GetQueueStatus = &GetQueueStatus;
    f.FT_Read = &Read;
    f.FT_Write = &Write;
    f.FT_Purge = &Purge;
    f.FT_CreateDeviceInfoList = &CreateDeviceInfoList;
    f.FT_GetDeviceInfoDetail = &GetDeviceInfoDetail;
    return f;
  }();
  return functions;
}

}  // namespace korvan::transport
