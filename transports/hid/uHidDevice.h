#pragma once
// One HID device node: what enumeration learns of it, and its report I/O.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/uSynchronizer.h"
#include "comm/ui_MyInterfacedObject.h"

namespace korvan::transport {

// What enumeration learns about one HID device.
struct THidDeviceInfo {
  int Number = -1;   // N of hidrawN
  std::string Node;  // the device node (or a SOCK_SEQPACKET socket standing in for it)
  uint16_t VendorID = 0;
  uint16_t ProductID = 0;
  std::string SerialNumber;
  std::string Manufacturer;
  std::string Product;
  std::string ReportDescriptor;  // empty when sysfs has none; then asked of the node
};

// One open device node. Reports carry their report-ID byte first in both
// directions; a device without report IDs gets a 0 in front on reading.
class IHidHandle : public virtual IInterface {
 public:
  // Each includes the report-ID byte; 0 when the device has no such report.
  virtual int InputReportLength() = 0;
  virtual int OutputReportLength() = 0;
  // False when the descriptor numbers no reports: byte 0 of a written report
  // must then be 0, which the kernel strips.
  virtual bool UsesReportIds() = 0;
  // One output report; the number of bytes written, -1 on failure.
  virtual int WriteReport(const std::string& report) = 0;
  // One input report without waiting: true with the report, or true with
  // nothing when none is ready; false once the device has gone.
  virtual bool ReadReport(std::string& report) = 0;
  // Waits at most timeoutMs for a report or a hang-up.
  virtual void WaitReadable(int timeoutMs) = 0;
  // False once the node has reported an error or hung up.
  virtual bool Plugged() = 0;
};

// One device found by enumeration; opening it gives a handle of its own.
class IHidBackendDevice : public virtual IInterface {
 public:
  virtual const THidDeviceInfo& Info() = 0;
  virtual TRef<IHidHandle> Open() = 0;
};

// The platform layer: what the transport needs of the HID system.
class IHidBackend {
 public:
  virtual ~IHidBackend() = default;
  // Every device present, in ascending hidrawN order.
  virtual std::vector<TRef<IHidBackendDevice>> Enumerate() = 0;
};

// hidraw: devices under $DUOMAT_SYSFS_ROOT/class/hidraw (default /sys),
// nodes $DUOMAT_DEV_DIR/hidrawN (default /dev). The kernel keeps 64 input
// reports per open node.
std::unique_ptr<IHidBackend> CreateHidRawBackend();

// A locked holder of one HID device. The manager's entries only name a
// device; a transport's holder also has it open.
class THidDevice : public TMyInterfacedObject {
 public:
  THidDevice();
  explicit THidDevice(TRef<IHidBackendDevice> device);
  ~THidDevice() override;

  TRef<IHidBackendDevice> Attached();
  // Detaches the current device, then opens and holds the new one; false
  // (and nothing held) when it cannot be opened. Null only detaches.
  bool Attach(TRef<IHidBackendDevice> device);
  // The open node, or null.
  TRef<IHidHandle> Handle();
  // Attached, open and still plugged in.
  bool Active();
  std::string Manufacturer();
  std::string Product();

  // Sends the data in reports of N bytes: byte 0 is N − 1 (0 on a device
  // without report IDs), byte 1 the payload length (at most N − 2 and 255),
  // then the payload padded with zeros. Empty data sends one report with
  // length 0. False on the first failed report. A write that blocks holds
  // only the write order, not the lock the receive thread reads under.
  bool Write(const std::string& data);
  // Every report that is ready, joined; a report whose length byte is 0 or
  // not below the bytes read ends the reading.
  std::string ReadAll();

 private:
  TMultiReadExclusiveWriteSynchronizerExtended lock_;
  std::mutex writeMutex_;  // one write's reports stay together
  TRef<IHidBackendDevice> device_;
  TRef<IHidHandle> handle_;
};

}  // namespace korvan::transport
