// A D2XX-compatible library for tests: it exports the FT_* functions the
// system calls, works on the same fake sysfs tree and tty as the kernel
// backend, and logs every call. Built twice; the second lacks some functions.
#include <cstring>
#include <mutex>
#include <string>

#include "transports/ftdi/uFTD2XXKernel.h"

using namespace korvan::transport;

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::mutex g_mutex;
std::string g_log;
TFTEventHandle* g_event = nullptr;  // the last one notified of
bool g_modemOverride = false;
uint32_t g_modemStatus = 0;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_log += line + "\n";
}
const TFTD2XXFunctions& K() { return KernelD2XXFunctions(); }
}  // namespace

// The call log, one line per call that changes something.
EXPORT const char* D2XXTest_Log() {
  static thread_local std::string copy;
  std::lock_guard<std::mutex> lock(g_mutex);
  copy = g_log;
  return copy.c_str();
}
EXPORT void D2XXTest_ClearLog() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_log.clear();
}

// From now on every handle reports this modem status; the event is signalled.
EXPORT void D2XXTest_SetModemStatus(uint32_t status) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_modemOverride = true;
  g_modemStatus = status;
  if (!g_event) return;
  pthread_mutex_lock(&g_event->eMutex);
  g_event->iVar = 1;
  pthread_cond_signal(&g_event->eCondVar);
  pthread_mutex_unlock(&g_event->eMutex);
}

EXPORT FT_STATUS FT_OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle) {
  Log("FT_OpenEx " + std::string(static_cast<const char*>(arg)) + " " + std::to_string(flags));
  return K().FT_OpenEx(arg, flags, handle);
}
EXPORT FT_STATUS FT_Close(FT_HANDLE h) {
  Log("FT_Close");
  return K().FT_Close(h);
}
EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE h, uint32_t baud) {
  Log("FT_SetBaudRate " + std::to_string(baud));
  return K().FT_SetBaudRate(h, baud);
}
EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, uint8_t w, uint8_t s, uint8_t p) {
  Log("FT_SetDataCharacteristics " + std::to_string(w) + " " + std::to_string(s) + " " + std::to_string(p));
  return K().FT_SetDataCharacteristics(h, w, s, p);
}
EXPORT FT_STATUS FT_SetDtr(FT_HANDLE h) {
  Log("FT_SetDtr");
  return K().FT_SetDtr(h);
}
EXPORT FT_STATUS FT_ClrDtr(FT_HANDLE h) {
  Log("FT_ClrDtr");
  return K().FT_ClrDtr(h);
}
EXPORT FT_STATUS FT_SetRts(FT_HANDLE h) {
  Log("FT_SetRts");
  return K().FT_SetRts(h);
}
EXPORT FT_STATUS FT_ClrRts(FT_HANDLE h) {
  Log("FT_ClrRts");
  return K().FT_ClrRts(h);
}
#ifndef D2XX_TEST_MISSING
EXPORT FT_STATUS FT_SetUSBParameters(FT_HANDLE h, uint32_t in, uint32_t out) {
  Log("FT_SetUSBParameters " + std::to_string(in) + " " + std::to_string(out));
  return K().FT_SetUSBParameters(h, in, out);
}
EXPORT FT_STATUS FT_Purge(FT_HANDLE h, uint32_t mask) {
  Log("FT_Purge " + std::to_string(mask));
  return K().FT_Purge(h, mask);
}
#endif
EXPORT FT_STATUS FT_SetEventNotification(FT_HANDLE h, uint32_t mask, void* event) {
  Log("FT_SetEventNotification " + std::to_string(mask));
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_event = static_cast<TFTEventHandle*>(event);
  }
  return K().FT_SetEventNotification(h, mask, event);
}
EXPORT FT_STATUS FT_GetStatus(FT_HANDLE h, uint32_t* rx, uint32_t* tx, uint32_t* events) {
  return K().FT_GetStatus(h, rx, tx, events);
}
EXPORT FT_STATUS FT_GetModemStatus(FT_HANDLE h, uint32_t* status) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_modemOverride && status) {
      *status = g_modemStatus;
      return FT_OK;
    }
  }
  return K().FT_GetModemStatus(h, status);
}
EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE h, uint32_t* rx) { return K().FT_GetQueueStatus(h, rx); }
EXPORT FT_STATUS FT_Read(FT_HANDLE h, void* buffer, uint32_t count, uint32_t* read) {
  return K().FT_Read(h, buffer, count, read);
}
EXPORT FT_STATUS FT_Write(FT_HANDLE h, void* buffer, uint32_t count, uint32_t* written) {
  return K().FT_Write(h, buffer, count, written);
}
EXPORT FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) { return K().FT_CreateDeviceInfoList(count); }
EXPORT FT_STATUS FT_GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type, uint32_t* id,
                                        uint32_t* location, void* serial, void* description, FT_HANDLE* handle) {
  return K().FT_GetDeviceInfoDetail(index, flags, type, id, location, serial, description, handle);
}
