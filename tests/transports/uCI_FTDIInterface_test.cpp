// The FTDI transport on its two backends, against korvan-sim served as a
// converter: the kernel backend on the fake sysfs tree, the library backend
// through the project's D2XX-compatible test library on the same tree.
#include <gtest/gtest.h>

#include <chrono>
#include <dlfcn.h>
#include <mutex>
#include <thread>
#include <vector>

#include "comm/uCI_ProviderRegistry.h"
#include "core/uLibraryStart.h"
#include "protocol/uKorvan97.h"
#include "support/TDeviceTree.h"
#include "support/TSimProcess.h"
#include "support/TWait.h"
#include "tools/korvan-sim/uFtdiTree.h"
#include "transports/ftdi/uCI_FTDIInterface.h"
#include "transports/ftdi/uFTD2XXKernel.h"
#include "uTransportLog.h"

using namespace korvan;
using namespace korvan::transport;
using korvan::test::TDeviceTree;
using korvan::test::TSimProcess;
using korvan::test::WaitUntil;

namespace {
// The test library's call log.
std::string LibraryLog(const char* library) {
  void* handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return "(not loaded)";
  auto log = reinterpret_cast<const char* (*)()>(dlsym(handle, "D2XXTest_Log"));
  std::string text = log ? log() : "";
  dlclose(handle);
  return text;
}

class FTDIInterface : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { duomat::StartLibrary(); }

  explicit FTDIInterface(const char* library = "") : dir_(library) {}

  bool Serve(const std::string& module, const std::string& serial) {
    sims_.push_back(std::make_unique<TSimProcess>(
        std::vector<std::string>{"--module", module, "--ftdi", dir_.Path(), "--serial", serial}));
    return sims_.back()->Started();
  }
  TRef<TCommunicationFTDIInterface> Transport(const std::string& configuration) {
    TRef<ICommunicationInterface> made = ci::CreateTransport("FTD_USB");
    TRef<TCommunicationFTDIInterface> t(dynamic_cast<TCommunicationFTDIInterface*>(made.get()));
    if (t) t->SetConfiguration(configuration);
    return t;
  }
  // The module's identification (instruction 0xF3), empty without an answer.
  static std::string Identification(ICommunicationInterface& t, uint8_t sig) {
    if (t.WriteString(BuildPacket(0x31, sig, 0xF3, "")) == 0) return {};
    std::string rx, frame;
    WaitUntil([&] {
      std::string chunk;
      t.ReadString(chunk);
      rx += chunk;
      frame = ExtractPacket(rx, true);
      return !frame.empty();
    }, std::chrono::seconds(5));
    return frame.empty() ? std::string() : ParsePacket(frame).data;
  }

  TDeviceTree dir_;
  std::vector<std::unique_ptr<TSimProcess>> sims_;  // end before the folder goes
};

class FTDIOnLibrary : public FTDIInterface {
 protected:
  FTDIOnLibrary() : FTDIInterface(D2XX_TEST_LIBRARY) {}
};
class FTDIOnIncompleteLibrary : public FTDIInterface {
 protected:
  FTDIOnIncompleteLibrary() : FTDIInterface(D2XX_TEST_MISSING_LIBRARY) {}
};
}  // namespace

TEST_F(FTDIInterface, WritesTheConfigurationStringAndIdentityOfASerialNumberAndBaudRate) {
  TRef<TCommunicationFTDIInterface> t = Transport("provider=FTD_USB;serial_number=FT1;baudrate=9600");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->GetConfiguration(),
            "provider=FTD_USB;baudrate=9600;databits=8;stopbits=One;parity=None;dtr=-1;rts=-1;serial_number=FT1");
  EXPECT_EQ(t->GetIdentity(), "FTD_USB;serial_number=FT1");
  // No such converter: a failed open, nothing thrown; a write on it gives 0.
  EXPECT_FALSE(t->Open());
  EXPECT_EQ(t->WriteString("x"), 0);
}

TEST_F(FTDIInterface, ASerialNumberOfTwentyCharactersOpensTheConverterOfItsFirstSixteen) {
  ASSERT_TRUE(Serve("ingra", "FT12345678901234"));
  TRef<TCommunicationFTDIInterface> t = Transport("provider=FTD_USB;serial_number=FT12345678901234XXXX");
  ASSERT_TRUE(t->Open());
  EXPECT_EQ(Identification(*t, 1), "Ingra;v1.0;simulated");
}

TEST_F(FTDIInterface, ChangingTheSerialNumberWhileOpenMovesToTheOtherConverter) {
  ASSERT_TRUE(Serve("ingra", "FTA"));
  ASSERT_TRUE(Serve("outra", "FTB"));
  TRef<TCommunicationFTDIInterface> t = Transport("provider=FTD_USB;serial_number=FTA");
  ASSERT_TRUE(t->Open());
  EXPECT_EQ(Identification(*t, 1), "Ingra;v1.0;simulated");
  t->SetSerialNumber("FTB");
  EXPECT_TRUE(t->GetActive());
  EXPECT_EQ(Identification(*t, 2), "Outra;v1.0;simulated");
  t->SetSerialNumber("FTNONE");  // refused: reported, and closed
  EXPECT_FALSE(t->GetActive());
}

TEST_F(FTDIInterface, TheSimulatorEndingClosesTheTransportWithoutANotification) {
  ASSERT_TRUE(Serve("ingra", "FT123456"));
  TRef<TCommunicationFTDIInterface> t = Transport("provider=FTD_USB;serial_number=FT123456");
  TRef<test::TTransportLog> log = CreateObject<test::TTransportLog>();
  log->Listen(*t);
  ASSERT_TRUE(t->Open());
  EXPECT_EQ(log->Opened(), 1);
  // A pseudo-terminal has no modem lines: all false, and no reason to close.
  EXPECT_FALSE(t->GetCTS());
  EXPECT_FALSE(t->GetDSR());
  EXPECT_TRUE(t->GetActive());
  sims_.back()->Terminate();
  EXPECT_TRUE(WaitUntil([&] { return !t->GetActive(); }));
  EXPECT_EQ(log->Closed(), 0);
  EXPECT_EQ(t->WriteString("x"), 0);
}

TEST_F(FTDIInterface, AnOpenConverterReportsWhatItDidNotTakeAndIsLeftAloneWhenIdle) {
  ASSERT_TRUE(Serve("ingra", "FT123456"));
  TRef<TCommunicationFTDIInterface> t = Transport("provider=FTD_USB;serial_number=FT123456");
  TRef<test::TTransportLog> log = CreateObject<test::TTransportLog>();
  log->Listen(*t);
  ASSERT_TRUE(t->Open());
  const std::string before = t->GetConfiguration();
  const struct {
    void (TCommunicationSerialInterface::*set)(int);
    int value;
    std::string reported;
  } cases[] = {
      // A pseudo-terminal keeps 8 data bits and no parity, whatever it is told.
      {&TCommunicationSerialInterface::SetDataBits, 6, "SetDataBits 6"},
      {&TCommunicationSerialInterface::SetParity, EVENPARITY, "SetParity Even"},
      {&TCommunicationSerialInterface::SetParity, 9, "SetParity 9"},
      {&TCommunicationSerialInterface::SetStopBits, 7, "SetStopBits 7"},
  };
  for (const auto& c : cases) {
    (t.get()->*c.set)(c.value);
    ASSERT_FALSE(log->Errors().empty());  // each one reported, none taken
    EXPECT_EQ(log->Errors().back().operation + " " + log->Errors().back().args.at(0), c.reported);
    EXPECT_EQ(t->GetConfiguration(), before);
  }
  ASSERT_EQ(Identification(*t, 1), "Ingra;v1.0;simulated");
  // Idle for five of the work thread's waits: no status request (a USB request).
  const uint64_t requests = KernelStatusRequests();
  std::this_thread::sleep_for(std::chrono::milliseconds(5 * TFTDIDeviceWorkThread::WaitMs));
  EXPECT_EQ(KernelStatusRequests(), requests);
}

TEST_F(FTDIOnLibrary, AnEmptySerialNumberOpensNothingAndSaysWhy) {
  // A converter without a serial number is the one an empty number would find.
  sim::WriteFtdiTree(dir_.Path(), {"", "FT232R USB UART", "1-1", "ttyUSB0", "6001"}, "/dev/null");
  for (const char* configuration : {"provider=FTD_USB", "provider=FTD_USB;serial_number="}) {
    TRef<TCommunicationFTDIInterface> t = Transport(configuration);
    TRef<test::TTransportLog> log = CreateObject<test::TTransportLog>();
    log->Listen(*t);
    EXPECT_FALSE(t->Open());
    ASSERT_EQ(log->ErrorOperations(), (std::vector<std::string>{"InternalOpen", "Open"}));
    EXPECT_EQ(log->Errors()[0].args, std::vector<std::string>{"no serial number"});
  }
  EXPECT_EQ(LibraryLog(D2XX_TEST_LIBRARY).find("FT_OpenEx"), std::string::npos);
}

TEST_F(FTDIOnLibrary, OpensWithTheDefaultsThenAppliesChangesAtOnce) {
  ASSERT_TRUE(Serve("ingra", "FT123456"));
  TRef<TCommunicationFTDIInterface> t = Transport("provider=FTD_USB;serial_number=FT123456");
  ASSERT_TRUE(t->Open());
  EXPECT_EQ(Identification(*t, 1), "Ingra;v1.0;simulated");
  EXPECT_EQ(LibraryLog(D2XX_TEST_LIBRARY),
            "FT_OpenEx FT123456 1\nFT_SetBaudRate 115200\nFT_SetDataCharacteristics 8 0 0\nFT_SetDtr\nFT_SetRts\n"
            "FT_SetUSBParameters 4096 2048\nFT_SetEventNotification 3\n");
  // One and a half stop bits go out as two, and two is what reads back.
  t->SetConfiguration("provider=FTD_USB;baudrate=9600;stopbits=1.5;dtr=0");
  EXPECT_EQ(t->GetConfiguration(),
            "provider=FTD_USB;baudrate=9600;databits=8;stopbits=Two;parity=None;dtr=0;rts=-1;serial_number=FT123456");
  EXPECT_NE(LibraryLog(D2XX_TEST_LIBRARY).find("FT_SetBaudRate 9600\nFT_SetDataCharacteristics 8 2 0\nFT_ClrDtr\n"),
            std::string::npos);
  t->Close(false);
  EXPECT_FALSE(t->GetActive());
}

namespace {
struct TLineEvents {
  std::mutex mutex;
  std::vector<std::string> seen;  // "line=state"
  void OnLine(TCommunicationSerialInterface*, int line, bool state) {
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(std::to_string(line) + "=" + std::to_string(state));
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return seen.size();
  }
};
}  // namespace

TEST_F(FTDIOnLibrary, ModemLineChangesAreReportedInLineOrderFromTheStateAtOpen) {
  ASSERT_TRUE(Serve("ingra", "FT123456"));
  TRef<TCommunicationFTDIInterface> t = Transport("provider=FTD_USB;serial_number=FT123456");
  TLineEvents events;
  t->SetOnModemLine(TModemLineEvent::Bind<&TLineEvents::OnLine>(&events));
  ASSERT_TRUE(t->Open());
  void* library = dlopen(D2XX_TEST_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  auto setModem = reinterpret_cast<void (*)(uint32_t)>(dlsym(library, "D2XXTest_SetModemStatus"));
  ASSERT_NE(setModem, nullptr);
  setModem(FT_MODEM_DCD | FT_MODEM_CTS);
  ASSERT_TRUE(WaitUntil([&] { return events.Count() == 2; }));
  EXPECT_TRUE(t->GetCTS());
  setModem(FT_MODEM_DCD);
  ASSERT_TRUE(WaitUntil([&] { return events.Count() == 3; }));
  EXPECT_EQ(events.seen, (std::vector<std::string>{"1=1", "5=1", "1=0"}));
  t->SetOnModemLine(TModemLineEvent());
  dlclose(library);
}

TEST_F(FTDIOnLibrary, ListsAConverterBothBackendsSeeOnce) {
  ASSERT_TRUE(Serve("ingra", "FT123456"));
  uint32_t count = 0;
  EXPECT_EQ(D2XX().FT_CreateDeviceInfoList(&count), FT_OK);
  EXPECT_EQ(count, 1u);
}

TEST_F(FTDIOnIncompleteLibrary, AMissingFunctionFailsTheOpenAndTheHandleIsClosed) {
  ASSERT_TRUE(Serve("ingra", "FT123456"));
  FT_HANDLE h = nullptr;
  char serial[] = "FT123456";
  ASSERT_EQ(D2XX().FT_OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
  EXPECT_EQ(D2XX().FT_SetUSBParameters(h, 4096, 2048), FT_MISSING_FUNCTION);
  EXPECT_EQ(D2XX().FT_Read(h, serial, -1, nullptr), FT_INVALID_ARGS);
  EXPECT_EQ(D2XX().FT_Close(h), FT_OK);

  TRef<TCommunicationFTDIInterface> t = Transport("provider=FTD_USB;serial_number=FT123456");
  EXPECT_FALSE(t->Open());
  const std::string log = LibraryLog(D2XX_TEST_MISSING_LIBRARY);
  EXPECT_EQ(log.substr(log.rfind("FT_Set")), "FT_SetRts\nFT_Close\n");
}
