#include "transports/serial/uCI_SerialPortInterface.h"

#include <gtest/gtest.h>

#include "transports/uSerialPortLine.h"

using namespace korvan::test::serial;

// ---- Settings and their reports ---------------------------------------------

TEST(SerialPortTransport, WithoutAPortItFailsToOpenAndReportsOpen) {
  TTestPort port;
  EXPECT_FALSE(port->Open());
  EXPECT_FALSE(port->GetActive());
  EXPECT_EQ(port.Reports.Errors(), (std::vector<TError>{{"Open", {}, 0}}));
  EXPECT_EQ(port.Reports.Opened(), 0);
}

TEST(SerialPortTransport, WritesItsConfigurationInItsOwnWordsAndKeyOrder) {
  TTestPort port;
  port->SetConfiguration("provider=SERIAL_PORT;comport=3");
  EXPECT_EQ(port->GetConfiguration(),
            "provider=SERIAL_PORT;baudrate=9600;databits=8;stopbits=One;parity=None;dtr=-1;rts=-1;comport=3");

  const std::string given =
      "provider=SERIAL_PORT;comport=4;baudrate=19200;parity=even;stopbits=1,5;databits=7;dtr=0;rts=False";
  port->SetConfiguration(given);
  EXPECT_EQ(port->GetConfiguration(),
            "provider=SERIAL_PORT;baudrate=19200;databits=7;stopbits=OneAndHalf;parity=Even;dtr=0;rts=0;comport=4");
  EXPECT_EQ(port->GetIdentity(), "provider=SERIAL_PORT;comport=4");
  EXPECT_EQ(port->GetProvider(), "SERIAL_PORT");
  EXPECT_EQ(port->GetPort(), 4);
  EXPECT_EQ(port->GetBaudRate(), 19200u);
  EXPECT_EQ(port->GetDataBits(), 7);
  EXPECT_EQ(port->GetStopBits(), ONE5STOPBITS);
  EXPECT_EQ(port->GetParity(), EVENPARITY);
  EXPECT_FALSE(port->GetDTR());
  EXPECT_FALSE(port->GetRTS());
  // The whole string is announced once; the keys are applied quietly.
  EXPECT_EQ(port.Reports.Configurations(), (std::vector<std::string>{"provider=SERIAL_PORT;comport=3", given}));
  EXPECT_TRUE(port.Reports.Errors().empty());
}

TEST(SerialPortTransport, WordsAreReadWithoutRegardToCase) {
  TTestPort port;
  const struct {
    std::string item;
    int parity, stopBits;
  } cases[] = {
      {"parity=odd;stopbits=ONE", ODDPARITY, ONESTOPBIT},      {"parity=Mark;stopbits=oneandhalf", MARKPARITY, ONE5STOPBITS},
      {"parity=SPACE;stopbits=two", SPACEPARITY, TWOSTOPBITS}, {"parity=none;stopbits=1.5", NOPARITY, ONE5STOPBITS},
      {"parity=EvEn;stopbits=2", EVENPARITY, TWOSTOPBITS},     {"parity=ODD;stopbits=1", ODDPARITY, ONESTOPBIT},
  };
  for (const auto& c : cases) {
    port->SetConfiguration("provider=SERIAL_PORT;" + c.item);
    EXPECT_EQ(port->GetParity(), c.parity) << c.item;
    EXPECT_EQ(port->GetStopBits(), c.stopBits) << c.item;
  }
}

TEST(SerialPortTransport, UnrecognisedWordsAndValuesLeaveTheSettingsUnchangedWithoutReports) {
  TTestPort port;
  port->SetConfiguration("provider=SERIAL_PORT;comport=6;baudrate=4800;databits=6;parity=odd;stopbits=two;dtr=0;rts=0");
  const std::string before = port->GetConfiguration();
  port.Reports.Clear();

  const std::string spoiled =
      "provider=SERIAL_PORT;parity=none5;stopbits=3;baudrate=fast;databits=seven;dtr=maybe;rts=;comport=COM4";
  port->SetConfiguration(spoiled);
  EXPECT_EQ(port->GetConfiguration(), before);
  // Values that parse but that the device refuses are ignored quietly too.
  port->SetConfiguration("provider=SERIAL_PORT;databits=9");
  EXPECT_EQ(port->GetConfiguration(), before);

  EXPECT_TRUE(port.Reports.Errors().empty());
  EXPECT_EQ(port.Reports.Configurations(),
            (std::vector<std::string>{spoiled, "provider=SERIAL_PORT;databits=9"}));
}

TEST(SerialPortTransport, DataBitsAndPortNumbersKeepTheirLowBits) {
  TTestPort port;
  port->SetConfiguration("provider=SERIAL_PORT;databits=263;comport=65540");  // 0x107, 0x10004
  EXPECT_EQ(port->GetDataBits(), 7);
  EXPECT_EQ(port->GetPort(), 4);
  port.Reports.Clear();
  port->SetPort(65541);
  EXPECT_EQ(port->GetPort(), 5);
  EXPECT_EQ(port.Reports.Configurations(), (std::vector<std::string>{"comport=5"}));
}

TEST(SerialPortTransport, PublicSettersAnnounceTheNewValueInTheirOwnWords) {
  TTestPort port;
  port->SetBaudRate(57600);
  port->SetDataBits(5);
  port->SetParity(SPACEPARITY);
  port->SetStopBits(TWOSTOPBITS);
  port->SetDTR(false);
  port->SetDTR(true);
  port->SetRTS(false);
  port->SetPort(12);
  port->SetOutBufSize(1000);  // the buffer sizes are not announced
  port->SetInBufSize(2000);

  EXPECT_EQ(port.Reports.Configurations(),
            (std::vector<std::string>{"baudrate=57600", "databits=5", "parity=Space", "stopbits=Two", "dtr=False",
                                      "dtr=True", "rts=False", "comport=12"}));
  EXPECT_TRUE(port.Reports.Errors().empty());
  EXPECT_EQ(port->GetConfiguration(),
            "provider=SERIAL_PORT;baudrate=57600;databits=5;stopbits=Two;parity=Space;dtr=-1;rts=0;comport=12");
  EXPECT_EQ(port->GetOutBufSize(), 1000);
  EXPECT_EQ(port->GetInBufSize(), 2000);
}

TEST(SerialPortTransport, PublicSettersReportARefusedValueUnderTheirOwnName) {
  TTestPort port;
  for (int bits : {0, 3, 9, 255}) port->SetDataBits(bits);
  port->SetParity(5);
  port->SetStopBits(3);

  const std::vector<TError> errors = port.Reports.Errors();
  ASSERT_EQ(errors.size(), 6u);
  EXPECT_EQ(errors[0], (TError{"SetDataBits", {"0"}, 0}));
  EXPECT_EQ(errors[1], (TError{"SetDataBits", {"3"}, 0}));
  EXPECT_EQ(errors[2], (TError{"SetDataBits", {"9"}, 0}));
  EXPECT_EQ(errors[3], (TError{"SetDataBits", {"255"}, 0}));
  EXPECT_EQ(errors[4].Operation, "SetParity");
  EXPECT_EQ(errors[4].Args.size(), 1u);
  EXPECT_EQ(errors[5].Operation, "SetStopBits");
  EXPECT_EQ(errors[5].Args.size(), 1u);
  EXPECT_TRUE(port.Reports.Configurations().empty());
  EXPECT_EQ(port->GetDataBits(), 8);
  EXPECT_EQ(port->GetParity(), NOPARITY);
  EXPECT_EQ(port->GetStopBits(), ONESTOPBIT);
}

// ---- The line -----------------------------------------------------------------

TEST_F(SerialPortLine, SettingsReachTheLineAtOpenAndAtOnceWhileOpen) {
  // An integer rate with no Bxxx constant, and 1.5 stop bits, which Linux sends as two.
  port->SetConfiguration("provider=SERIAL_PORT;comport=3;baudrate=123457;stopbits=1,5");
  ASSERT_TRUE(port->Open());

  termios2 line = peer.Line();
  EXPECT_EQ(line.c_ospeed, 123457u);
  EXPECT_EQ(line.c_ispeed, 123457u);
  EXPECT_EQ(line.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
  EXPECT_NE(line.c_cflag & CSTOPB, 0u);
  EXPECT_NE(line.c_cflag & CLOCAL, 0u);
  EXPECT_NE(line.c_cflag & CREAD, 0u);
  EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
  // Raw: no echo, no line editing, no XON/XOFF, no translation.
  EXPECT_EQ(line.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP | INPCK | PARMRK), 0u);
  EXPECT_NE(line.c_iflag & IGNBRK, 0u);  // a break puts no 0x00 into the data
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  EXPECT_EQ(port->GetStopBits(), ONE5STOPBITS);  // kept as set, though the line has two

  port->SetStopBits(ONESTOPBIT);
  port->SetBaudRate(115200);
  line = peer.Line();
  EXPECT_EQ(line.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(line.c_ospeed, 115200u);
  EXPECT_TRUE(port.Reports.Errors().empty());
  port->Close(false);
}

TEST_F(SerialPortLine, DataBitsLinuxCannotSendAreRefusedAndNeverReachTheLine) {
  ASSERT_TRUE(port->Open());

  // Four data bits have no Linux counterpart: an open line keeps its eight.
  port->SetDataBits(4);
  EXPECT_EQ(port.Reports.Errors(), (std::vector<TError>{{"SetDataBits", {"4"}, 0}}));
  EXPECT_EQ(port->GetDataBits(), 8);
  EXPECT_TRUE(port->GetActive());
  port->Close(false);
  port.Reports.Clear();

  // Stored while closed, they make the open fail rather than reach the line.
  port->SetDataBits(4);
  EXPECT_EQ(port.Reports.Configurations(), (std::vector<std::string>{"databits=4"}));
  EXPECT_FALSE(port->Open());
  EXPECT_EQ(port.Reports.Errors(), (std::vector<TError>{{"Open", {}, 0}}));
  port->SetDataBits(8);
  EXPECT_TRUE(port->Open());
  port->Close(false);
}

TEST_F(SerialPortLine, BytesPassUnchangedInBothDirections) {
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(port.Reports.Opened(), 1);

  const std::string all = AllByteValues();
  EXPECT_EQ(port->WriteString(all), 256);
  EXPECT_EQ(peer.Receive(all.size()), all);

  ASSERT_TRUE(peer.Send(all + all));
  // Delivered by the event thread, kept until read.
  EXPECT_TRUE(WaitUntil([&] { return port->InputCount() == 512; })) << port->InputCount();
  EXPECT_EQ(port.Reports.Received(), all + all);
  std::string read;
  port->ReadString(read);
  EXPECT_EQ(read, all + all);
  EXPECT_EQ(port->InputCount(), 0);
  port->Close(false);
  EXPECT_EQ(port.Reports.Closed(), 1);
}

TEST_F(SerialPortLine, ALineWithoutModemControlReadsEveryLineFalseAndTakesDTRAndRTS) {
  EXPECT_FALSE(port->GetCTS() || port->GetDSR() || port->GetRing() || port->GetRLSD());  // closed
  ASSERT_TRUE(port->Open());
  port.Reports.Clear();

  EXPECT_FALSE(port->GetCTS());
  EXPECT_FALSE(port->GetDSR());
  EXPECT_FALSE(port->GetRing());
  EXPECT_FALSE(port->GetRLSD());
  port->SetDTR(false);
  port->SetRTS(false);
  port->SetDTR(true);
  EXPECT_EQ(port.Reports.Configurations(), (std::vector<std::string>{"dtr=False", "rts=False", "dtr=True"}));
  EXPECT_TRUE(port.Reports.Errors().empty());
  EXPECT_TRUE(port->GetActive());
  port->Close(false);
}

TEST_F(SerialPortLine, AWriteLargerThanTheFreeTransmitSpaceIsRefusedWhole) {
  EXPECT_EQ(ThrownText([&] { port->WriteString("hello"); }), WriteError(5, 0));  // closed

  port->SetOutBufSize(16);
  ASSERT_TRUE(port->Open());
  ASSERT_EQ(port->Device().TransmitFree(), 16);
  EXPECT_EQ(ThrownText([&] { port->WriteString("0123456789abcdefX"); }), WriteError(17, 16));
  EXPECT_EQ(port->WriteString("0123456789ABCDEF"), 16);
  // Waits for the space to come back, so that the marker is taken too.
  ASSERT_TRUE(WaitUntil([&] { return port->Device().TransmitFree() == 16; }));
  EXPECT_EQ(port->WriteString("Z"), 1);
  // Not one byte of the refused write went out.
  EXPECT_EQ(peer.Receive(17), "0123456789ABCDEFZ");
  port->Close(false);
}

TEST_F(SerialPortLine, BufferSizesChangeOnlyWhileClosed) {
  EXPECT_EQ(port->GetOutBufSize(), 10000000);
  EXPECT_EQ(port->GetInBufSize(), 10000000);
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(port->Device().TransmitFree(), 10000000);

  EXPECT_EQ(ThrownText([&] { port->SetOutBufSize(100); }), "Port is not closed");
  EXPECT_EQ(ThrownText([&] { port->SetInBufSize(100); }), "Port is not closed");
  EXPECT_EQ(port->GetOutBufSize(), 10000000);
  EXPECT_EQ(port->GetInBufSize(), 10000000);
  EXPECT_TRUE(port->GetActive());

  port->Close(false);
  port->SetOutBufSize(100);
  EXPECT_EQ(port->GetOutBufSize(), 100);
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(port->Device().TransmitFree(), 100);
  port->Close(false);
}

TEST_F(SerialPortLine, ClearOutputDiscardsWhatThePeerHasNotTakenYet) {
  ASSERT_TRUE(port->Open());
  const int size = port->Device().TransmitFree();

  // The peer does not read, so the kernel takes a little and the rest waits.
  const std::string block(4 * 1024 * 1024, 'x');
  ASSERT_EQ(port->WriteString(block), static_cast<int>(block.size()));
  ASSERT_TRUE(WaitUntil([&] { return port->Device().TransmitFree() < size; }));
  port->ClearOutput();
  EXPECT_EQ(port->Device().TransmitFree(), size);

  port->WriteString("END");
  const std::string got =
      peer.ReceiveUntil([](const std::string& s) { return s.size() >= 3 && s.compare(s.size() - 3, 3, "END") == 0; });
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got.substr(got.size() - 3), "END");
  EXPECT_LT(got.size(), block.size());
  port->Close(false);
}

TEST_F(SerialPortLine, NothingDiscardedByClearOutputGoesOutAfterIt) {
  ASSERT_TRUE(port->Open());

  // The peer reads all along, so the transmit thread is mid-write when the
  // purge comes; the marker then lands where the discarded bytes were.
  const std::string block(256 * 1024, 'x');
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(port->WriteString(block), static_cast<int>(block.size()));
    port->ClearOutput();
    port->WriteString("END");
    const std::string got =
        peer.ReceiveUntil([](const std::string& s) { return s.size() >= 3 && s.compare(s.size() - 3, 3, "END") == 0; });
    ASSERT_GE(got.size(), 3u) << "round " << round;
    EXPECT_EQ(got.find_first_not_of('x'), got.size() - 3) << "round " << round;
  }
  port->Close(false);
}

// ---- Opening, reopening, losing the line -------------------------------------

TEST_F(SerialPortLine, APortIsHeldByOneTransportAtATimeAndFreeForAnyoneOnceClosed) {
  // A second name for the same terminal does not get round the lock.
  ASSERT_EQ(symlink(peer.SlavePath().c_str(), dir.Link(4).c_str()), 0);
  TTestPort second, third;
  second->SetConfiguration(PortString(3));
  third->SetConfiguration(PortString(4));
  ASSERT_TRUE(port->Open());
  EXPECT_FALSE(second->Open());
  EXPECT_FALSE(third->Open());
  EXPECT_EQ(second.Reports.Errors(), (std::vector<TError>{{"Open", {}, 0}}));
  EXPECT_EQ(third.Reports.Errors(), (std::vector<TError>{{"Open", {}, 0}}));
  EXPECT_TRUE(port->GetActive());

  // Nothing outlives a close, also without root's powers: each opens in turn.
  port->Close(false);
  for (TTestPort* next : {&second, &third, &port}) {
    EXPECT_TRUE((*next)->Open());
    (*next)->Close(false);
  }
  {
    // Nor a transport destroyed while open (quietly: no closed notification).
    TTestPort gone;
    gone->SetConfiguration(PortString(3));
    ASSERT_TRUE(gone->Open());
  }
  EXPECT_TRUE(second->Open());
  EXPECT_EQ(second.Reports.Closed(), 1);
  second->Close(false);
}

TEST_F(SerialPortLine, TheSamePortWithOtherSettingsKeepsTheOpenLineAndWhatIsQueued) {
  ASSERT_TRUE(port->Open());
  // The peer does not read yet: most of the block waits in the transmit buffer.
  const std::string block(1024 * 1024, 'q');
  ASSERT_EQ(port->WriteString(block), static_cast<int>(block.size()));
  ASSERT_TRUE(peer.Send("in"));
  ASSERT_TRUE(WaitUntil([&] { return port.Reports.Received() == "in"; }));

  port->SetConfiguration(PortString(3) + ";baudrate=38400");
  EXPECT_EQ(peer.Line().c_ospeed, 38400u);
  EXPECT_EQ(port.Reports.Opened(), 1);
  EXPECT_EQ(port.Reports.Closed(), 0);
  ASSERT_TRUE(peer.Send("put"));
  EXPECT_EQ(peer.Receive(block.size()), block);
  ASSERT_TRUE(WaitUntil([&] { return port.Reports.Received() == "input"; }));
  port->Close(false);
}

TEST_F(SerialPortLine, AHandlerOnTheEventThreadMayAskThePortWhileItIsClosed) {
  std::atomic<bool> closed{false}, asked{false};
  OnRead = [&](const std::string&) {
    if (asked.load()) return;
    // Until the close has returned (or, before the fix, for good: it waited
    // for this thread while holding the lock the getters take).
    WaitUntil([&] { return closed.load(); }, 2s);
    EXPECT_EQ(port->GetBaudRate(), 9600u);
    EXPECT_FALSE(port->GetActive());
    asked.store(true);
  };
  port->GetDataReadSlots()->Subscribe(ReadHandler(), nullptr, nullptr);
  ASSERT_TRUE(port->Open());
  ASSERT_TRUE(peer.Send("x"));
  ASSERT_TRUE(WaitUntil([&] { return port.Reports.Received() == "x"; }));
  korvan::test::TBoundedThreads closer;
  closer.Start([&] {
    port->Close(false);
    closed.store(true);
  });
  closer.JoinAll();
  EXPECT_TRUE(WaitUntil([&] { return asked.load(); }));
}

TEST_F(SerialPortLine, ATransportReleasedForTheLastTimeOnItsOwnEventThreadGoesSafely) {
  TRef<TCommunicationSerialPortInterface> last = CreateObject<TCommunicationSerialPortInterface>();
  std::atomic<bool> opened{false}, dropped{false};
  OnRead = [&](const std::string&) {
    // The open is over before the bytes come; the wait says so to TSan,
    // which cannot see the pseudo-terminal order them.
    WaitUntil([&] { return opened.load(); });
    if (dropped.load()) return;
    last = nullptr;  // the test's was the only other reference
    dropped.store(true);
  };
  last->GetDataReadSlots()->Subscribe(ReadHandler(), nullptr, nullptr);
  last->SetConfiguration(PortString(3));
  ASSERT_TRUE(last->Open());
  opened.store(true);
  ASSERT_TRUE(peer.Send("bye"));
  // Gone once the port is free again (ASan reports any use of freed memory).
  EXPECT_TRUE(WaitUntil([&] { return dropped.load() && port->Open(); }));
  port->Close(false);
}

TEST(SerialPortTransport, ChangingThePortWhileOpenReopensOnTheNewPort) {
  TPortDir dir;
  TSimProcess ingra({"--module", "ingra", "--link", dir.Link(5)});
  TSimProcess outra({"--module", "outra", "--link", dir.Link(6)});
  ASSERT_TRUE(ingra.Started());
  ASSERT_TRUE(outra.Started());
  TTestPort port;
  port->SetConfiguration(PortString(5) + ";baudrate=115200");
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(Identification(*port, 1), kIngraIdentification);

  port->SetConfiguration(PortString(6));
  ASSERT_TRUE(port->GetActive());
  EXPECT_EQ(port->GetPort(), 6);
  EXPECT_EQ(port->GetBaudRate(), 115200u);
  EXPECT_EQ(Identification(*port, 2), kOutraIdentification);
  // The old port was let go.
  TTestPort other;
  other->SetConfiguration(PortString(5));
  EXPECT_TRUE(other->Open());
  EXPECT_EQ(Identification(*other, 3), kIngraIdentification);
  other->Close(false);
  EXPECT_TRUE(port.Reports.Errors().empty());
  port->Close(false);
}

TEST(SerialPortTransport, ChangingThePortWhileOpenToOneThatCannotBeOpenedLeavesItClosed) {
  TPortDir dir;
  TSimProcess sim({"--module", "ingra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim.Started());
  TTestPort port;
  port->SetConfiguration(PortString(5));

  // Through the configuration: quietly.
  ASSERT_TRUE(port->Open());
  port.Reports.Clear();
  port->SetConfiguration(PortString(200));  // beyond every mapped device, and no link
  EXPECT_FALSE(port->GetActive());
  EXPECT_TRUE(port.Reports.Errors().empty());

  // Through the setter: reported under its name.
  port->SetPort(5);
  ASSERT_TRUE(port->Open());
  port.Reports.Clear();
  port->SetPort(201);
  EXPECT_FALSE(port->GetActive());
  EXPECT_EQ(port.Reports.Errors(), (std::vector<TError>{{"SetPort", {"201"}, 0}}));
  EXPECT_EQ(port.Reports.Closed(), 0);

  // Closed for real: the port is free for someone else.
  TTestPort other;
  other->SetConfiguration(PortString(5));
  EXPECT_TRUE(other->Open());
  other->Close(false);
}

TEST(SerialPortTransport, AVanishedPeerMakesTheTransportInactiveAtOnceAndQuietly) {
  TPortDir dir;
  auto sim = std::make_unique<TSimProcess>(std::vector<std::string>{"--module", "ingra", "--link", dir.Link(5)});
  ASSERT_TRUE(sim->Started());
  TTestPort port;
  port->SetConfiguration(PortString(5));
  ASSERT_TRUE(port->Open());
  ASSERT_EQ(Identification(*port), kIngraIdentification);

  ASSERT_EQ(sim->Terminate(), 0);
  sim.reset();
  // The event thread notices; nobody needs to look at the line.
  EXPECT_TRUE(WaitUntil([&] { return !port->GetActive(); }));
  EXPECT_EQ(port->InputCount(), 0);
  std::string s;
  port->ReadString(s);
  EXPECT_EQ(s, "");
  EXPECT_EQ(port.Reports.Closed(), 0);
  EXPECT_TRUE(port.Reports.Errors().empty());
  EXPECT_EQ(ThrownText([&] { port->WriteString("x"); }), WriteError(1, 0));

  // Once the line is back, it opens again.
  TSimProcess again({"--module", "outra", "--link", dir.Link(5)});
  ASSERT_TRUE(again.Started());
  ASSERT_TRUE(port->Open());
  EXPECT_EQ(Identification(*port, 2), kOutraIdentification);
  port->Close(false);
}

TEST_F(SerialPortLine, AHungUpPseudoTerminalCountsAsGone) {
  ASSERT_TRUE(port->Open());
  ASSERT_TRUE(peer.Send("abc"));
  ASSERT_TRUE(WaitUntil([&] { return port.Reports.Received() == "abc"; }));
  peer.Hangup();
  // What had arrived is still there to read; the line is not.
  std::string s;
  port->ReadString(s);
  EXPECT_EQ(s, "abc");
  EXPECT_FALSE(port->GetActive());
  EXPECT_EQ(port.Reports.Closed(), 0);
}

TEST_F(SerialPortLine, ClosingWhileBytesPourInNeverBlocks) {
  port.Reports.KeepReceived(false);

  std::atomic<bool> stop{false};
  std::thread flood([&] {
    const std::string chunk(4096, '\x55');
    while (!stop.load()) peer.SendSome(chunk);
  });
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(port->Open());
    const size_t before = port.Reports.ReceivedCount();
    ASSERT_TRUE(WaitUntil([&] { return port.Reports.ReceivedCount() > before; }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(port->Close(false));
    // Loose: a close that waited for the receive handler would hang for good.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(port->GetActive());
  }
  stop.store(true);
  flood.join();
  EXPECT_EQ(port.Reports.Closed(), 5);
  EXPECT_TRUE(port.Reports.Errors().empty());
}

// ---- Through the wrapper, as the program makes it ------------------------------

namespace {
class SerialPortWrapper : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { duomat::StartLibrary(); }

  // Requests the identification through the application-facing interface.
  static std::string Identification(korvan::ci::ICommunicationInterface& ci, uint8_t sig) {
    return AskIdentification([&](const std::string& bytes) { ci.Write(bytes); },
                             [&](std::string& chunk) { ci.Read(chunk); }, sig);
  }
};
}  // namespace

TEST_F(SerialPortWrapper, ReconfiguredToAnotherPortItKeepsItsTransportAndReachesTheNewModule) {
  TPortDir dir;
  TSimProcess ingra({"--module", "ingra", "--link", dir.Link(5)});
  TSimProcess outra({"--module", "outra", "--link", dir.Link(6)});
  ASSERT_TRUE(ingra.Started());
  ASSERT_TRUE(outra.Started());

  TRef<korvan::ci::ICommunicationInterface> ci;
  ASSERT_TRUE(korvan::CreateCommunicationInterface("provider=SERIAL_PORT;comport=5;baudrate=115200", ci));
  auto* wrapper = dynamic_cast<korvan::ci::ICommunicationWrapperInterface*>(ci.get());
  ASSERT_NE(wrapper, nullptr);
  TRef<ICommunicationInterface> transport = wrapper->GetTransport();
  auto* serial = dynamic_cast<TCommunicationSerialPortInterface*>(transport.get());
  ASSERT_NE(serial, nullptr);
  EXPECT_EQ(serial->GetBaudRate(), 115200u);
  EXPECT_EQ(serial->GetPort(), 5);

  ASSERT_TRUE(ci->Open());
  EXPECT_EQ(Identification(*ci, 1), kIngraIdentification);

  ci->SetConfiguration("provider=SERIAL_PORT;comport=6;baudrate=115200");
  EXPECT_EQ(wrapper->GetTransport().get(), transport.get());
  EXPECT_TRUE(ci->GetActive());
  EXPECT_EQ(serial->GetPort(), 6);
  EXPECT_EQ(Identification(*ci, 2), kOutraIdentification);
  ci->Close(false);
  EXPECT_FALSE(serial->GetActive());
}
