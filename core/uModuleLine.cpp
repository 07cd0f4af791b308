#include "core/uModuleLine.h"

#include <algorithm>
#include <cctype>

#include "comm/uCI_Wrapper.h"
#include "core/uModuleText.h"
#include "comm/uci_ConnectionString.h"
#include "transports/serial/uCI_SerialPortInterface.h"

namespace duomat {

namespace {
korvan::transport::TCommunicationSerialInterface* SerialTransport(korvan::ci::ICommunicationInterface* comm) {
  auto* wrapper = dynamic_cast<korvan::ci::ICommunicationWrapperInterface*>(comm);
  if (!wrapper) return nullptr;
  return dynamic_cast<korvan::transport::TCommunicationSerialInterface*>(wrapper->GetTransport().get());
}
}  // namespace

TModuleLine::TModuleLine() {
  device_ = korvan::CreateObject<korvan::TKorvanStackDevice>(uint8_t{0x31});
  stack_ = korvan::CreateObject<korvan::TKorvanStack>();
  device_->SetStack(stack_.get());
}

TModuleLine::~TModuleLine() {
  try {
    stack_->SetCommInterface(nullptr);
    if (comm_) comm_->Close(false);
    device_->SetStack(nullptr);
  } catch (...) {
  }
}

bool TModuleLine::Open(const std::string& connection) {
  if (!korvan::CreateCommunicationInterface(connection, comm_) || !comm_->Open()) return false;
  stack_->SetCommInterface(comm_.get());
  return true;
}

uint32_t TModuleLine::Rate() {
  auto* serial = SerialTransport(comm_.get());
  return serial ? serial->GetBaudRate() : 0;
}

bool TModuleLine::SetRate(uint32_t rate) {
  auto* serial = SerialTransport(comm_.get());
  if (!serial) return false;
  serial->SetBaudRate(rate);
  return serial->GetBaudRate() == rate;
}

bool TModuleLine::Ask(int address, const std::function<bool(korvan::TKorvanStackDevice&)>& request, bool* collided) {
  const uint64_t before = stack_->ReceivedCount();
  device_->SetAdr(static_cast<uint8_t>(address));
  const bool answered = request(*device_);
  if (collided) *collided = !answered && stack_->ReceivedCount() != before;
  return answered;
}

void TModuleLine::SetCancel(const TCancel& cancel) {
  if (cancel.Requested)
    stack_->SetCancel(cancel.Requested);
  else
    stack_->SetCancel(nullptr);
}

bool TModuleLine::Identify(int address, std::string& text, bool* collided) {
  const bool answered = Ask(address, [&](korvan::TKorvanStackDevice& d) { return d.ReadIdentificationText(text); },
                            collided);
  if (answered) text = ModuleText(text);
  return answered;
}

bool ConnectionHasRate(const std::string& connection) {
  std::string provider = korvan::GetConnectionValue(connection, "provider", "");
  std::transform(provider.begin(), provider.end(), provider.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return provider == "SERIAL_PORT" || provider == "FTD_USB";
}

std::string ConnectionWithRate(const std::string& connection, uint32_t rate) {
  const korvan::TConnectionItems parsed = korvan::ParseConnectionItems(connection);
  const std::string item = "baudrate=" + std::to_string(rate);
  // A string the items cannot be read from is kept as written: the first
  // item of a key wins, so the rate goes in front.
  if (parsed.Fault != korvan::TConnectionItems::TFault::None) return item + ";" + connection;
  std::string out;
  bool replaced = false;
  for (const korvan::TConnectionItem& i : parsed.Items) {
    std::string key = i.Key;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool rateItem = key == "baudrate" && !replaced;
    out += (out.empty() ? "" : ";") + (rateItem ? item : i.Key + "=" + i.Raw);
    replaced |= rateItem;
  }
  return replaced ? out : out + (out.empty() ? "" : ";") + item;
}

}  // namespace duomat
