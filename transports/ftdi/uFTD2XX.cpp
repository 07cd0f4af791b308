#include "transports/ftdi/uFTD2XX.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

#include "transports/ftdi/uFTD2XXKernel.h"

namespace korvan::transport {

struct TFTD2XX::THandle {
  const TFTD2XXFunctions* backend;
  FT_HANDLE native;
};

namespace {
template <class F, class... A>
FT_STATUS Call(F function, A... args) {
  return function ? function(args...) : FT_MISSING_FUNCTION;
}
}  // namespace

TFTD2XX& D2XX() {
  static TFTD2XX* layer = new TFTD2XX();  // outlives static destruction: threads may still call
  return *layer;
}

TFTD2XX::TFTD2XX() { Load(); }

TFTD2XX::~TFTD2XX() { Unload(); }

void TFTD2XX::Load() {
  const char* name = std::getenv("DUOMAT_D2XX_LIBRARY");
  library_ = dlopen(name && *name ? name : "libftd2xx.so", RTLD_NOW | RTLD_LOCAL);
  libraryFunctions_ = TFTD2XXFunctions{};
  if (!library_) return;
#define DUOMAT_D2XX_LOOKUP(fn, type) libraryFunctions_.fn = reinterpret_cast<type>(dlsym(library_, #fn));
  DUOMAT_D2XX_FUNCTIONS(DUOMAT_D2XX_LOOKUP)
#undef DUOMAT_D2XX_LOOKUP
}

void TFTD2XX::Unload() {
  libraryFunctions_ = TFTD2XXFunctions{};
  if (library_) dlclose(library_);
  library_ = nullptr;
}

void TFTD2XX::Reload() {
  std::lock_guard<std::mutex> lock(mutex_);
  list_.clear();
  Unload();
  Load();
}

TFTD2XX::THandle* TFTD2XX::Find(FT_HANDLE handle) {
  // The caller serialises every use of one handle with its close (the core's
  // lock), so the entry stays valid after the lock is left.
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& h : handles_)
    if (h.get() == handle) return h.get();
  return nullptr;
}

bool TFTD2XX::KeepsSignals(FT_HANDLE handle) {
  const THandle* h = Find(handle);
  return h && h->backend == &KernelD2XXFunctions();
}

FT_STATUS TFTD2XX::FT_OpenEx(void* arg, uint32_t flags, FT_HANDLE* handle) {
  if (!handle) return FT_INVALID_ARGS;
  *handle = nullptr;
  const TFTD2XXFunctions* library;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    library = library_ ? &libraryFunctions_ : nullptr;
  }
  // A converter still bound to ftdi_sio is invisible to the library.
  FT_STATUS status = FT_DEVICE_NOT_FOUND;
  FT_HANDLE native = nullptr;
  const TFTD2XXFunctions* backend = nullptr;
  if (library) {
    status = Call(library->FT_OpenEx, arg, flags, &native);
    if (status == FT_OK) backend = library;
  }
  if (!backend) {
    const FT_STATUS kernel = KernelD2XXFunctions().FT_OpenEx(arg, flags, &native);
    if (kernel == FT_OK) backend = &KernelD2XXFunctions();
    if (kernel == FT_OK || !library) status = kernel;
  }
  if (!backend) return status;
  std::lock_guard<std::mutex> lock(mutex_);
  handles_.push_back(std::make_unique<THandle>(THandle{backend, native}));
  *handle = handles_.back().get();
  return FT_OK;
}

FT_STATUS TFTD2XX::FT_Close(FT_HANDLE handle) {
  std::unique_ptr<THandle> h;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(handles_.begin(), handles_.end(), [&](const auto& e) { return e.get() == handle; });
    if (it == handles_.end()) return FT_INVALID_HANDLE;
    h = std::move(*it);
    handles_.erase(it);
  }
  return Call(h->backend->FT_Close, h->native);
}

#define DUOMAT_ON_HANDLE(fn, ...)                 \
  THandle* h = Find(handle);                      \
  if (!h) return FT_INVALID_HANDLE;               \
  return Call(h->backend->fn, h->native __VA_OPT__(, ) __VA_ARGS__)

FT_STATUS TFTD2XX::FT_SetBaudRate(FT_HANDLE handle, int32_t baud) {
  if (baud < 0) return FT_INVALID_ARGS;
  DUOMAT_ON_HANDLE(FT_SetBaudRate, static_cast<uint32_t>(baud));
}
FT_STATUS TFTD2XX::FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t wordLength, uint8_t stopBits,
                                             uint8_t parity) {
  DUOMAT_ON_HANDLE(FT_SetDataCharacteristics, wordLength, stopBits, parity);
}
FT_STATUS TFTD2XX::FT_SetDtr(FT_HANDLE handle) { DUOMAT_ON_HANDLE(FT_SetDtr); }
FT_STATUS TFTD2XX::FT_ClrDtr(FT_HANDLE handle) { DUOMAT_ON_HANDLE(FT_ClrDtr); }
FT_STATUS TFTD2XX::FT_SetRts(FT_HANDLE handle) { DUOMAT_ON_HANDLE(FT_SetRts); }
FT_STATUS TFTD2XX::FT_ClrRts(FT_HANDLE handle) { DUOMAT_ON_HANDLE(FT_ClrRts); }
FT_STATUS TFTD2XX::FT_SetUSBParameters(FT_HANDLE handle, uint32_t inSize, uint32_t outSize) {
  DUOMAT_ON_HANDLE(FT_SetUSBParameters, inSize, outSize);
}
FT_STATUS TFTD2XX::FT_SetEventNotification(FT_HANDLE handle, uint32_t mask, TFTEventHandle* event) {
  DUOMAT_ON_HANDLE(FT_SetEventNotification, mask, static_cast<void*>(event));
}
FT_STATUS TFTD2XX::FT_GetStatus(FT_HANDLE handle, uint32_t* rx, uint32_t* tx, uint32_t* events) {
  DUOMAT_ON_HANDLE(FT_GetStatus, rx, tx, events);
}
FT_STATUS TFTD2XX::FT_GetModemStatus(FT_HANDLE handle, uint32_t* status) {
  DUOMAT_ON_HANDLE(FT_GetModemStatus, status);
}
FT_STATUS TFTD2XX::FT_GetQueueStatus(FT_HANDLE handle, uint32_t* rx) { DUOMAT_ON_HANDLE(FT_GetQueueStatus, rx); }
FT_STATUS TFTD2XX::FT_Read(FT_HANDLE handle, void* buffer, int32_t count, uint32_t* read) {
  if (count < 0) return FT_INVALID_ARGS;
  DUOMAT_ON_HANDLE(FT_Read, buffer, static_cast<uint32_t>(count), read);
}
FT_STATUS TFTD2XX::FT_Write(FT_HANDLE handle, const void* buffer, int32_t count, uint32_t* written) {
  if (count < 0) return FT_INVALID_ARGS;
  DUOMAT_ON_HANDLE(FT_Write, const_cast<void*>(buffer), static_cast<uint32_t>(count), written);
}
FT_STATUS TFTD2XX::FT_Purge(FT_HANDLE handle, uint32_t mask) { DUOMAT_ON_HANDLE(FT_Purge, mask); }

#undef DUOMAT_ON_HANDLE

FT_STATUS TFTD2XX::FT_CreateDeviceInfoList(uint32_t* count) {
  if (!count) return FT_INVALID_ARGS;
  std::lock_guard<std::mutex> lock(mutex_);
  list_.clear();
  std::vector<std::string> librarySerials;
  const TFTD2XXFunctions& lib = libraryFunctions_;
  uint32_t n = 0;
  if (library_ && lib.FT_CreateDeviceInfoList && lib.FT_CreateDeviceInfoList(&n) == FT_OK) {
    for (uint32_t i = 0; i < n; ++i) {
      list_.push_back({&lib, i});
      char serial[FT_DETAIL_TEXT_SIZE] = {}, description[FT_DETAIL_TEXT_SIZE] = {};
      uint32_t flags, type, id, location;
      FT_HANDLE h;
      if (Call(lib.FT_GetDeviceInfoDetail, i, &flags, &type, &id, &location, static_cast<void*>(serial),
               static_cast<void*>(description), &h) == FT_OK)
        librarySerials.emplace_back(serial, strnlen(serial, sizeof serial));
    }
  }
  // Then the converters only the kernel sees.
  const TFTD2XXFunctions& kernel = KernelD2XXFunctions();
  n = 0;
  if (kernel.FT_CreateDeviceInfoList(&n) == FT_OK) {
    for (uint32_t i = 0; i < n; ++i) {
      char serial[FT_DETAIL_TEXT_SIZE] = {}, description[FT_DETAIL_TEXT_SIZE] = {};
      uint32_t flags, type, id, location;
      FT_HANDLE h;
      if (kernel.FT_GetDeviceInfoDetail(i, &flags, &type, &id, &location, serial, description, &h) != FT_OK) continue;
      const std::string s(serial, strnlen(serial, sizeof serial));
      if (std::find(librarySerials.begin(), librarySerials.end(), s) == librarySerials.end())
        list_.push_back({&kernel, i});
    }
  }
  *count = static_cast<uint32_t>(list_.size());
  return FT_OK;
}

FT_STATUS TFTD2XX::FT_GetDeviceInfoDetail(uint32_t index, uint32_t* flags, uint32_t* type, uint32_t* id,
                                          uint32_t* location, char* serial, char* description, FT_HANDLE* handle) {
  TListEntry entry;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= list_.size()) return FT_DEVICE_NOT_FOUND;
    entry = list_[index];
  }
  // Each backend writes at most its documented sizes; ours are larger.
  uint32_t f = 0, t = 0, i = 0, l = 0;
  FT_HANDLE h = nullptr;
  char s[FT_DETAIL_TEXT_SIZE + 1] = {}, d[FT_DETAIL_TEXT_SIZE + 1] = {};
  const FT_STATUS status = Call(entry.backend->FT_GetDeviceInfoDetail, entry.index, &f, &t, &i, &l,
                                static_cast<void*>(s), static_cast<void*>(d), &h);
  if (status != FT_OK) return status;
  if (flags) *flags = f;
  if (type) *type = t;
  if (id) *id = i;
  if (location) *location = l;
  if (handle) *handle = nullptr;  // not one of this layer's handles
  if (serial) std::memcpy(serial, s, FT_DETAIL_TEXT_SIZE);
  if (description) std::memcpy(description, d, FT_DETAIL_TEXT_SIZE);
  if (serial) serial[FT_DETAIL_TEXT_SIZE - 1] = '\0';
  if (description) description[FT_DETAIL_TEXT_SIZE - 1] = '\0';
  return FT_OK;
}

}  // namespace korvan::transport
