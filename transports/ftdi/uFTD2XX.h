#pragma once
// The D2XX library functions this system calls, and the loader that binds them at run time.
#include <cstdint>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <type_traits>
#include <vector>

namespace korvan::transport {

// The D2XX functions this system calls, declared here from the library's
// public documentation (types as the library has them on Linux x86-64).
using FT_STATUS = uint32_t;
using FT_HANDLE = void*;

enum : FT_STATUS {
  FT_OK = 0,
  FT_INVALID_HANDLE = 1,
  FT_DEVICE_NOT_FOUND = 2,
  FT_DEVICE_NOT_OPENED = 3,
  FT_IO_ERROR = 4,
  FT_INSUFFICIENT_RESOURCES = 5,
  FT_INVALID_PARAMETER = 6,
  FT_INVALID_BAUD_RATE = 7,
  FT_INVALID_ARGS = 16,
  FT_OTHER_ERROR = 18,
  FT_MISSING_FUNCTION = 65535,  // the access layer's own: the function is not there
};

constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr uint32_t FT_EVENT_RXCHAR = 1;
constexpr uint32_t FT_EVENT_MODEM_STATUS = 2;
constexpr uint32_t FT_PURGE_RX = 1;
constexpr uint32_t FT_PURGE_TX = 2;
constexpr size_t FT_SERIAL_NUMBER_LENGTH = 16;  // longer numbers are cut
constexpr uint32_t FT_MODEM_CTS = 0x10, FT_MODEM_DSR = 0x20, FT_MODEM_RI = 0x40, FT_MODEM_DCD = 0x80;

// What FT_SetEventNotification takes on Linux: the notifier takes the mutex,
// signals the condition and unlocks. Our own backends also set iVar to 1, so
// a signal given while nobody waits is not lost.
struct TFTEventHandle {
  pthread_cond_t eCondVar;
  pthread_mutex_t eMutex;
  int iVar;
};

#define DUOMAT_D2XX_FUNCTIONS(X)                                                                        \
  X(FT_OpenEx, FT_STATUS (*)(void* arg, uint32_t flags, FT_HANDLE* handle))                            \
  X(FT_Close, FT_STATUS (*)(FT_HANDLE))                                                                 \
  X(FT_SetBaudRate, FT_STATUS (*)(FT_HANDLE, uint32_t baud))                                            \
  X(FT_SetDataCharacteristics, FT_STATUS (*)(FT_HANDLE, uint8_t wordLength, uint8_t stopBits, uint8_t parity)) \
  X(FT_SetDtr, FT_STATUS (*)(FT_HANDLE))                                                                \
  X(FT_ClrDtr, FT_STATUS (*)(FT_HANDLE))                                                                \
  X(FT_SetRts, FT_STATUS (*)(FT_HANDLE))                                                                \
  X(FT_ClrRts, FT_STATUS (*)(FT_HANDLE))                                                                \
  X(FT_SetUSBParameters, FT_STATUS (*)(FT_HANDLE, uint32_t inSize, uint32_t outSize))                   \
  X(FT_SetEventNotification, FT_STATUS (*)(FT_HANDLE, uint32_t mask, void* event))                      \
  X(FT_GetStatus, FT_STATUS (*)(FT_HANDLE, uint32_t* rx, uint32_t* tx, uint32_t* events))               \
  X(FT_GetModemStatus, FT_STATUS (*)(FT_HANDLE, uint32_t* status))                                      \
  X(FT_GetQueueStatus, FT_STATUS (*)(FT_HANDLE, uint32_t* rx))                                          \
  X(FT_Read, FT_STATUS (*)(FT_HANDLE, void* buffer, uint32_t count, uint32_t* read))                    \
  X(FT_Write, FT_STATUS (*)(FT_HANDLE, void* buffer, uint32_t count, uint32_t* written))                \
  X(FT_Purge, FT_STATUS (*)(FT_HANDLE, uint32_t mask))                                                  \
  X(FT_CreateDeviceInfoList, FT_STATUS (*)(uint32_t* count))                                            \
  X(FT_GetDeviceInfoDetail, FT_STATUS (*)(uint32_t index, uint32_t* flags, uint32_t* type, uint32_t* id, \
                                          uint32_t* location, void* serial, void* description, FT_HANDLE* handle))

// One backend's entry points; a missing one is null.
struct TFTD2XXFunctions {
#define DUOMAT_D2XX_MEMBER(name, type) std::type_identity_t<type> name = nullptr;
  DUOMAT_D2XX_FUNCTIONS(DUOMAT_D2XX_MEMBER)
#undef DUOMAT_D2XX_MEMBER
};

// Serial-number and description buffers of FT_GetDeviceInfoDetail.
constexpr size_t FT_DETAIL_TEXT_SIZE = 64;

// The one access layer for converters. Two backends serve together: the
// vendor library (dlopen of $DUOMAT_D2XX_LIBRARY, else libftd2xx.so) and the
// kernel's ftdi_sio driver. The device list is the library's converters
// followed by those only the kernel sees; an open tries the library first.
// Each handle remembers its backend. A missing function gives
// FT_MISSING_FUNCTION without reaching anything; a negative count given to a
// read, write or baud-rate call gives FT_INVALID_ARGS.
class TFTD2XX {
 public:
  TFTD2XX();
  ~TFTD2XX();
  TFTD2XX(const TFTD2XX&) = delete;
  TFTD2XX& operator=(const TFTD2XX&) = delete;

  FT_STATUS FT_OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle);
  FT_STATUS FT_Close(FT_HANDLE handle);
  FT_STATUS FT_SetBaudRate(FT_HANDLE handle, int32_t baud);
  FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits, uint8_t parity);
  FT_STATUS FT_SetDtr(FT_HANDLE handle);
  FT_STATUS FT_ClrDtr(FT_HANDLE handle);
  FT_STATUS FT_SetRts(FT_HANDLE handle);
  FT_STATUS FT_ClrRts(FT_HANDLE handle);
  FT_STATUS FT_SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t outSize);
  FT_STATUS FT_SetEventNotification(FT_HANDLE handle, uint32_t mask, TFTEventHandle* event);
  FT_STATUS FT_GetStatus(FT_HANDLE handle, uint32_t* rx, uint32_t* tx, uint32_t* events);
  FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* status);
  FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, uint32_t* rx);
  FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, int32_t count, uint32_t* read);
  FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, int32_t count, uint32_t* written);
  FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask);
  FT_STATUS FT_CreateDeviceInfoList(uint32_t* count);
  // Serial and description each take FT_DETAIL_TEXT_SIZE bytes.
  FT_STATUS FT_GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type, uint32_t* id,
                                   uint32_t* location, char* serial, char* description, FT_HANDLE* handle);

  // True when the handle's backend keeps a signal given while nobody waits
  // (iVar), so that its waiter needs no periodic look: the kernel backend.
  bool KeepsSignals(FT_HANDLE handle);

  // Loads the vendor library again from the environment. Only while no
  // converter is open (tests switch libraries with it).
  void Reload();

 private:
  struct THandle;
  struct TListEntry {
    const TFTD2XXFunctions* backend;
    uint32_t index;
  };

  void Load();
  void Unload();
  // The handle's backend entry, or null for a handle that is not open.
  THandle* Find(FT_HANDLE handle);

  std::mutex mutex_;  // the library, the handles and the device list
  void* library_ = nullptr;
  TFTD2XXFunctions libraryFunctions_;
  std::vector<std::unique_ptr<THandle>> handles_;
  std::vector<TListEntry> list_;
};

// The process-wide access layer, made on first use; it loads the library then.
TFTD2XX& D2XX();

}  // namespace korvan::transport
