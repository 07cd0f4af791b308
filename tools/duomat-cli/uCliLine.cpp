#include "tools/duomat-cli/uCliLine.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "comm/uCI_Wrapper.h"
#include "comm/uci_ConnectionString.h"
#include "tools/duomat-cli/uCliOutput.h"
#include "transports/serial/uCI_SerialPortInterface.h"

namespace duomat::cli {

namespace {
korvan::transport::TCommunicationSerialInterface* SerialTransport(
    korvan::ci::ICommunicationInterface* comm) {
  auto* wrapper = dynamic_cast<korvan::ci::ICommunicationWrapperInterface*>(comm);
  if (!wrapper) return nullptr;
  return dynamic_cast<korvan::transport::TCommunicationSerialInterface*>(
      wrapper->GetTransport().get());
}
}  // namespace

TCliLine::TCliLine() {
  device_ = korvan::CreateObject<korvan::TKorvanStackDevice>(uint8_t{0x31});
  stack_ = korvan::CreateObject<korvan::TKorvanStack>();
  device_->SetStack(stack_.get());
}

TCliLine::~TCliLine() {
  try {
    stack_->SetCommInterface(nullptr);
    if (comm_) comm_->Close(false);
    device_->SetStack(nullptr);
  } catch (...) {
  }
}

bool TCliLine::Open(const std::string& connection) {
  if (!korvan::CreateCommunicationInterface(connection, comm_) || !comm_->Open()) return false;
  stack_->SetCommInterface(comm_.get());
  return true;
}

uint32_t TCliLine::Rate() {
  auto* serial = SerialTransport(comm_.get());
  return serial ? serial->GetBaudRate() : 0;
}

bool TCliLine::SetRate(uint32_t rate) {
  auto* serial = SerialTransport(comm_.get());
  if (!serial) return false;
  serial->SetBaudRate(rate);
  return serial->GetBaudRate() == rate;
}

bool ConnectionHasRate(const std::string& connection) {
  std::string provider = korvan::GetConnectionValue(connection, "provider", "");
  std::transform(provider.begin(), provider.end(), provider.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return provider == "SERIAL_PORT" || provider == "FTD_USB";
}

std::string AddressText(int address) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", address & 0xFF);
  return text;
}

long ParseCliNumber(const std::string& text, const char* what, long lo, long hi) {
  char* end = nullptr;
  errno = 0;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const long v = std::strtol(text.c_str(), &end, hex ? 16 : 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
    throw TCliUsage(std::string(what) + " must be a whole number from " + std::to_string(lo) +
                    " to " + std::to_string(hi) + ": " + text);
  return v;
}

std::string JsonLine(const nlohmann::ordered_json& j) {
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void PrintResult(bool ok, const std::string& message, const nlohmann::ordered_json& values,
                 bool json) {
  if (json) {
    nlohmann::ordered_json o = {{"ok", ok}, {"message", message}};
    for (const auto& [key, value] : values.items()) o[key] = value;
    std::printf("%s\n", JsonLine(o).c_str());
    return;
  }
  std::fprintf(ok ? stdout : stderr, "%s\n", Printable(message).c_str());
  for (const auto& [key, value] : values.items()) {
    std::string text;
    if (value.is_string())
      text = Printable(value.get<std::string>());
    else if (value.is_boolean())
      text = value.get<bool>() ? "yes" : "no";
    else if (value.is_number_integer() && key.find("address") != std::string::npos)
      text = AddressText(value.get<int>());
    else if (!value.is_null())
      text = value.dump();
    std::printf("%s=%s\n", key.c_str(), text.c_str());
  }
}

int ReportCommandError(bool json) {
  try {
    throw;
  } catch (const TCliUsage& e) {
    if (json)
      PrintResult(false, e.what(), nlohmann::ordered_json::object(), true);
    else
      std::fprintf(stderr, "duomat-cli: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    PrintResult(false, e.what(), nlohmann::ordered_json::object(), json);
  } catch (...) {
    PrintResult(false, "unknown error", nlohmann::ordered_json::object(), json);
  }
  return 1;
}

}  // namespace duomat::cli
