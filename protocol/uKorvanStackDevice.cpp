#include "protocol/uKorvanStackDevice.h"

#include <chrono>
#include <utility>

#include "comm/uci_ConnectionString.h"
#include "platform/uMessageBox.h"
#include "platform/uTickCount.h"
#include "protocol/uKorvanStackDeviceList.h"

namespace korvan {

namespace {
std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

uint32_t BigEndian(const std::string& data, size_t offset, int width) {
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = v << 8 | static_cast<uint8_t>(data[offset + i]);
  return v;
}

double Now() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}
}  // namespace

TKorvanStackDevice::TKorvanStackDevice(uint8_t adr) { Init(adr); }

TKorvanStackDevice::TKorvanStackDevice(const std::string& identifier, uint8_t adr) {
  Init(adr);
  if (!identifier.empty()) SetGUIDText(identifier);
}

TKorvanStackDevice::TKorvanStackDevice(pugi::xml_node xmlNode, IInterface* parent)
    : TNodedInterface(xmlNode, nullptr) {
  Init(KorvanUniversalAddress);
  try {
    LoadFromXML(xmlNode, true, false);
  } catch (...) {
    // No destructor runs for a failed construction: leave the device list here.
    TKorvanStackDeviceList::Instance().Remove(this);
    throw;
  }
  pendingParent_ = parent;
}

void TKorvanStackDevice::Constructed() {
  TNodedInterface::Constructed();
  // Registered only once the whole device exists.
  const TRef<IInterface> parent = std::exchange(pendingParent_, nullptr);
  if (auto* stack = Supports<IKorvanStack>(parent))
    SetStack(stack);
  else if (parent)
    TNodedInterface::SetParent(parent.get());
}

void TKorvanStackDevice::Init(uint8_t adr) {
  defaultTimeout_ = DefaultTimeout;
  adr_ = adr;
  // The slots are fresh: Init runs only from the constructors.
  TKorvanStackDeviceList::Instance().Add(this);
}

TKorvanStackDevice::~TKorvanStackDevice() {
  TKorvanStackDeviceList::Instance().Remove(this);
  try {
    SetStack(nullptr);
  } catch (...) {
  }
}

TRef<IKorvanStack> TKorvanStackDevice::GetStack() { return LockedRead(mutex_, stack_); }

void TKorvanStackDevice::SetStack(IKorvanStack* stack) {
  TRef<IKorvanStack> old;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stack_.get() == stack) return;
    old = std::move(stack_);
  }
  if (old) old->RemoveDevice(this);
  if (stack) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stack_ = stack;
    }
    stack->AddDevice(this);
  }
}

uint8_t TKorvanStackDevice::GetAdr() { return LockedRead(mutex_, adr_); }

void TKorvanStackDevice::SetAdr(uint8_t adr) { LockedWrite(mutex_, adr_, adr); }

uint8_t TKorvanStackDevice::GetStatus() { return LockedRead(mutex_, status_); }

void TKorvanStackDevice::SetStatus(uint8_t status) { LockedWrite(mutex_, status_, status); }

int TKorvanStackDevice::GetLastAck() { return LockedRead(mutex_, lastAck_); }

void TKorvanStackDevice::SetLastAck(int ack) { LockedWrite(mutex_, lastAck_, ack); }

void TKorvanStackDevice::ClearStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  status_ = KorvanStatusNone;
  lastAck_ = -1;
}

void TKorvanStackDevice::SetFixedSIG(uint8_t sig) { LockedWrite(mutex_, fixedSIG_, sig); }

uint8_t TKorvanStackDevice::GetFixedSIG() { return LockedRead(mutex_, fixedSIG_); }

void TKorvanStackDevice::SetTimeout(int milliseconds) { LockedWrite(mutex_, defaultTimeout_, milliseconds); }

int TKorvanStackDevice::GetTimeout() { return LockedRead(mutex_, defaultTimeout_); }

TKorvanStackItemSIG TKorvanStackDevice::Slot(uint8_t sig) {
  std::lock_guard<std::recursive_mutex> lock(slotLock_);
  return slots_[sig];
}

uint8_t TKorvanStackDevice::AllocateSIG(int timeout, TEvent* event, uint8_t instruction) {
  std::unique_lock<std::recursive_mutex> lock(slotLock_);
  if (const uint8_t fixed = GetFixedSIG()) return fixed;
  int retries = 0;
  lastSIG_ = static_cast<uint8_t>(lastSIG_ + 1);
  while (slots_[lastSIG_].Busy()) {
    if (lastSIG_ == 255) {
      // Not under the slot lock: the answers that free slots need it.
      lock.unlock();
      SleepMs(1);
      if (++retries >= 5) ShowLibraryMessage("SIG stack overload");
      lock.lock();
      lastSIG_ = 0;
    } else {
      ++lastSIG_;
    }
  }
  TKorvanStackItemSIG& slot = slots_[lastSIG_];
  slot = TKorvanStackItemSIG();
  slot.free = false;
  slot.instruction = instruction;
  slot.created = Now();
  slot.deadline.Start(static_cast<uint32_t>(std::max(timeout, 0)));
  slot.event = event;
  return lastSIG_;
}

void TKorvanStackDevice::ReleaseSIG(uint8_t sig) {
  std::lock_guard<std::recursive_mutex> lock(slotLock_);
  slots_[sig] = TKorvanStackItemSIG();
}

bool TKorvanStackDevice::Request(uint8_t instruction, const std::string& data, TKorvanAnswerCallback callback,
                                 bool wait, int timeout, TKorvanFormat97& answer) {
  ClearStatus();
  TRef<IKorvanStack> stack = GetStack();
  if (timeout < 0) timeout = GetTimeout();
  if (!stack || data.size() > KorvanMaxData) return false;
  const uint8_t adr = GetAdr();

  if (!wait) {
    // Send has no result: a request that cannot go out must not report success.
    TRef<ci::ICommunicationInterface> comm = stack->GetCommInterface();
    if (!comm || !comm->GetActive()) return false;
    const uint8_t sig = AllocateSIG(timeout, nullptr, instruction);
    if (callback.Assigned()) {
      std::lock_guard<std::recursive_mutex> lock(slotLock_);
      slots_[sig].callback = callback;
      slots_[sig].request = ParsePacket(BuildPacket(adr, sig, instruction, data));
    }
    stack->Send(adr, sig, instruction, data);
    answer = TKorvanFormat97();
    return true;
  }

  const uint8_t sig = AllocateSIG(timeout, nullptr, instruction);
  struct Release {
    TKorvanStackDevice* device;
    uint8_t sig;
    ~Release() { device->ReleaseSIG(sig); }
  } release{this, sig};

  std::string reply;
  if (!stack->SendReceive(adr, sig, instruction, data, reply, timeout)) {
    SetStatus(KorvanStatusNoAnswer);
    return false;
  }
  if (CheckPacket(reply) != 0) {
    SetStatus(reply.empty() ? KorvanStatusNoAnswer : KorvanStatusInvalidAnswer);
    return false;
  }
  answer = ParsePacket(reply);
  SetLastAck(answer.code);
  if (answer.SIG != sig) return false;
  SetStatus(answer.code == 0 ? KorvanStatusDone : KorvanStatusModuleError);
  return true;
}

bool TKorvanStackDevice::RequestAck(uint8_t instruction, const std::string& data, TKorvanAnswerCallback callback,
                                    bool wait, int timeout, int& ack, std::string& answerData) {
  TKorvanFormat97 answer;
  if (!Request(instruction, data, callback, wait, timeout, answer)) return false;
  if (wait && answer.code != 0) return false;
  ack = answer.code;
  answerData = answer.data;
  return true;
}

bool TKorvanStackDevice::RequestAck(uint8_t instruction, const std::string& data, std::string& answerData,
                                    int timeout) {
  int ack = -1;
  return RequestAck(instruction, data, TKorvanAnswerCallback(), true, timeout, ack, answerData);
}

int TKorvanStackDevice::DoNonAnswerPacket(const TKorvanFormat97&) { return 0; }

int TKorvanStackDevice::DoAnswer(const TKorvanFormat97& packet) {
  std::lock_guard<std::recursive_mutex> lock(slotLock_);
  TKorvanStackItemSIG& slot = slots_[packet.SIG];
  if (slot.free) return 0;
  slot.answer = packet;
  if (slot.callback.Assigned()) slot.callback(slot.request, slot.answer);
  if (slot.event)
    slot.event->SetEvent();
  else
    ReleaseSIG(packet.SIG);
  return 0;
}

int TKorvanStackDevice::DoPacketReceive(const TKorvanFormat97& packet) {
  if (packet.code < 6) {
    try {
      DoAnswer(packet);
    } catch (...) {
      ShowLibraryMessage("TKorvanStackDevice.DoPacketReceive e1");
    }
  } else if (packet.code >= 12 && packet.code <= 15) {
    try {
      DoNonAnswerPacket(packet);
    } catch (...) {
      ShowLibraryMessage("TKorvanStackDevice.DoPacketReceive e2");
    }
  }
  return 0;
}

bool TKorvanStackDevice::CommandE3() {
  std::string data;
  return RequestAck(0xE3, "", data);
}

bool TKorvanStackDevice::ReadIdentificationText(std::string& text) {
  std::string data;
  if (!RequestAck(0xF3, "", data)) return false;
  text = data;
  return true;
}

bool TKorvanStackDevice::ReadIdentification() {
  std::string text;
  if (!ReadIdentificationText(text)) {
    SetName("");
    return false;
  }
  SetName(Trim(text.substr(0, text.find(';'))));
  return true;
}

bool TKorvanStackDevice::ReadByteParameter(uint8_t& value) {
  std::string data;
  if (!RequestAck(0xF1, "", data)) return false;
  value = data.empty() ? 0 : static_cast<uint8_t>(data[0]);
  return true;
}

bool TKorvanStackDevice::WriteByteParameter(uint8_t value) {
  std::string data;
  return RequestAck(0xE1, std::string(1, static_cast<char>(value)), data);
}

bool TKorvanStackDevice::ReadF2Data(std::string& data) { return RequestAck(0xF2, "", data); }

bool TKorvanStackDevice::WriteText(const std::string& text) {
  std::string request(1, '\0');
  request += text.substr(0, 16);
  if (text.size() < 16) request += '\0';
  std::string data;
  return RequestAck(0xE2, request, data);
}

bool TKorvanStackDevice::ReadFlag(bool& value) {
  std::string data;
  if (!RequestAck(0xFE, "", data)) return false;
  value = !data.empty() && data[0] != 0;
  return true;
}

bool TKorvanStackDevice::WriteFlag(bool value) {
  std::string data;
  return RequestAck(0xEE, std::string(1, value ? '\x01' : '\x00'), data);
}

bool TKorvanStackDevice::ReadNumbers(uint16_t& a, uint16_t& b, uint32_t& c) {
  std::string data;
  if (!RequestAck(0xFA, "", data) || data.size() < 8) return false;
  a = static_cast<uint16_t>(BigEndian(data, 0, 2));
  b = static_cast<uint16_t>(BigEndian(data, 2, 2));
  c = BigEndian(data, 4, 4);
  return true;
}

bool TKorvanStackDevice::ReadAddress(uint8_t& adr) {
  std::string data;
  if (!RequestAck(0xF0, "", data)) return false;
  if (data.size() >= 2) SetAdr(static_cast<uint8_t>(data[0]));
  adr = GetAdr();
  return true;
}

bool TKorvanStackDevice::ChangeAddress(uint8_t newAdr) {
  std::string data;
  if (!RequestAck(0xF0, "", data)) return false;
  if (data.size() < 2) return true;
  SetAdr(static_cast<uint8_t>(data[0]));
  data[0] = static_cast<char>(newAdr);
  if (!EnableConfiguration()) return false;
  std::string ignored;
  if (!RequestAck(0xE0, data, ignored)) return false;
  SetAdr(newAdr);
  return true;
}

bool TKorvanStackDevice::AssignAddress(uint8_t newAdr, uint16_t a, uint16_t b) {
  const uint8_t remembered = GetAdr();
  if (remembered != newAdr && remembered < KorvanUniversalAddress) SetAdr(KorvanUniversalAddress);
  std::string request(1, static_cast<char>(newAdr));
  request += static_cast<char>(a >> 8);
  request += static_cast<char>(a & 0xFF);
  request += static_cast<char>(b >> 8);
  request += static_cast<char>(b & 0xFF);
  int ack = -1;
  std::string data;
  const bool wait = remembered != KorvanInvalidAddress;
  const bool ok = RequestAck(0xEB, request, TKorvanAnswerCallback(), wait, -1, ack, data);
  SetAdr(ok ? newAdr : remembered);
  return ok;
}

bool TKorvanStackDevice::ReadAddressAndBaudRate(uint8_t& adr, int& baud) {
  std::string data;
  if (!RequestAck(0xF0, "", data)) return false;
  if (data.size() >= 2) {
    SetAdr(static_cast<uint8_t>(data[0]));
    const uint8_t code = static_cast<uint8_t>(data[1]);
    baud = code < KorvanBaudTable.size() ? KorvanBaudTable[code] : 0;
  }
  adr = GetAdr();
  return true;
}

bool TKorvanStackDevice::SetAddressAndBaudRate(uint8_t adr, int baud) {
  int code = -1;
  for (size_t i = 0; i < KorvanBaudTable.size(); ++i)
    if (KorvanBaudTable[i] == baud) code = static_cast<int>(i);
  if (code < 0) return false;
  std::string data;
  if (!RequestAck(0xE4, "", data)) return false;
  std::string request(1, static_cast<char>(adr));
  request += static_cast<char>(code);
  if (!RequestAck(0xE0, request, data)) return false;
  SetAdr(adr);
  return true;
}

bool TKorvanStackDevice::EnableConfiguration() {
  std::string data;
  return RequestAck(0xE4, "", data, EnableConfigurationTimeout);
}

bool TKorvanStackDevice::RequestData(uint8_t instruction, const std::string& data, int timeout, int& ack,
                                     std::string& answer) {
  TKorvanFormat97 packet;
  if (!Request(instruction, data, TKorvanAnswerCallback(), true, timeout, packet)) return false;
  ack = packet.code;
  answer = packet.data;
  return true;
}

uint8_t TKorvanStackDevice::ParseAddressText(const std::string& text) {
  if (!text.empty() && text[0] == '#') {
    int32_t value = 0;
    if (!StrToIntStrict(std::string_view(text).substr(1), value))
      throw Exception("'" + text.substr(1) + "' is not a valid integer value");
    return static_cast<uint8_t>(value & 0xFF);
  }
  if (text.size() == 1) return static_cast<uint8_t>(text[0]);
  return 0;
}

void TKorvanStackDevice::LoadFromXML(pugi::xml_node node, bool take, bool alwaysGUID) {
  TNodedInterface::LoadFromXML(node, take, alwaysGUID);
  if (!node) return;
  if (pugi::xml_attribute a = node.attribute("ADR")) SetAdr(ParseAddressText(a.value()));
  int32_t fixed = 0;
  if (pugi::xml_attribute a = node.attribute("fixedSIG"))
    if (!StrToIntStrict(a.value(), fixed)) fixed = 0;
  SetFixedSIG(static_cast<uint8_t>(fixed));
}

void TKorvanStackDevice::SaveToXML() {
  TNodedInterface::SaveToXML();
  pugi::xml_node node = GetXMLNode();
  if (!node) return;
  const auto set = [&node](const char* key, const std::string& value) {
    pugi::xml_attribute a = node.attribute(key);
    if (!a) a = node.append_attribute(key);
    a.set_value(value.c_str());
  };
  static const char* hex = "0123456789ABCDEF";
  const uint8_t adr = GetAdr();
  set("GUID", GetGUIDText());
  set("ADR", std::string("#$") + hex[adr >> 4] + hex[adr & 15]);
  set("fixedSIG", std::to_string(GetFixedSIG()));
}

}  // namespace korvan
