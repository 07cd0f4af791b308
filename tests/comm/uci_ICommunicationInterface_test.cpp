#include "comm/uci_ICommunicationInterface.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <unistd.h>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "support/TTestLine.h"
#include "support/TWait.h"

using korvan::test::WaitUntil;

using korvan::CreateObject;
using korvan::TNodedInterface;
using korvan::TRef;
using korvan::ci::ICommunicationInterface;
using korvan::ci::SetDataSpyHandler;
using korvan::ci::TCheckFunction;
using korvan::ci::TCiErrorEvent;
using korvan::ci::TCiNotifyEvent;
using korvan::ci::TDataSpyHandler;
using korvan::test::TTestLine;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::chrono::milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

struct TReport {
  ICommunicationInterface* Sender;
  std::string Operation;
  std::vector<std::string> Args;
  int Code;
  std::thread::id Thread;
};

class TErrorLog {
 public:
  void OnError(ICommunicationInterface* Sender, const std::string& Operation, const std::vector<std::string>& Args,
               int Code) {
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back({Sender, Operation, Args, Code, std::this_thread::get_id()});
  }
  TCiErrorEvent Handler() { return TCiErrorEvent::Bind<&TErrorLog::OnError>(this); }
  std::vector<TReport> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(reports_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<TReport> reports_;
};

class TNotifyLog {
 public:
  void On(ICommunicationInterface* Sender) {
    std::lock_guard<std::mutex> lock(mutex_);
    senders_.push_back(Sender);
    threads_.push_back(std::this_thread::get_id());
  }
  TCiNotifyEvent Handler() { return TCiNotifyEvent::Bind<&TNotifyLog::On>(this); }
  int Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(senders_.size());
  }
  std::vector<ICommunicationInterface*> Senders() {
    std::lock_guard<std::mutex> lock(mutex_);
    return senders_;
  }
  std::vector<std::thread::id> Threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }

 private:
  std::mutex mutex_;
  std::vector<ICommunicationInterface*> senders_;
  std::vector<std::thread::id> threads_;
};

struct TThrower {
  void On(ICommunicationInterface*) { throw std::runtime_error("handler failed"); }
  TCiNotifyEvent Handler() { return TCiNotifyEvent::Bind<&TThrower::On>(this); }
};

// What a real OnDataRcv handler does: fetch the data with Read.
class TReader {
 public:
  void On(ICommunicationInterface* Sender) {
    std::string data;
    Sender->Read(data);
    std::lock_guard<std::mutex> lock(mutex_);
    data_ += data;
    thread_ = std::this_thread::get_id();
  }
  TCiNotifyEvent Handler() { return TCiNotifyEvent::Bind<&TReader::On>(this); }
  std::string Data() {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
  }
  std::thread::id Thread() {
    std::lock_guard<std::mutex> lock(mutex_);
    return thread_;
  }

 private:
  std::mutex mutex_;
  std::string data_;
  std::thread::id thread_;
};

struct TSpied {
  ICommunicationInterface* Sender;
  std::string Data;
  uint8_t Direction;
};

class TSpyLog {
 public:
  void On(ICommunicationInterface* Sender, const std::string& Data, uint8_t Direction) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back({Sender, Data, Direction});
  }
  TDataSpyHandler Handler() { return TDataSpyHandler::Bind<&TSpyLog::On>(this); }
  std::vector<TSpied> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(entries_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<TSpied> entries_;
};

// A line whose port vanishes as it is opened.
class TFailingOpenLine : public TTestLine {
 protected:
  bool InternalOpen() override { throw std::runtime_error("port gone"); }
};

class CommunicationInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    line = CreateObject<TTestLine>();
    line->SetOnError(errors.Handler());
    SetDataSpyHandler(spy.Handler());
  }
  void TearDown() override { SetDataSpyHandler(TDataSpyHandler()); }

  // The Sender that every notification of the line must carry.
  ICommunicationInterface* Ci() { return line.get(); }

  std::string SendAndReceive(const std::string& data, int timeout, int gap, int totalExtra,
                             const TCheckFunction& check = {}, const std::string& prefix = std::string(),
                             bool clearIn = false) {
    std::string response = "not cleared";
    line->SendAndReceive(data, timeout, gap, totalExtra, clearIn, false, check, prefix, response);
    return response;
  }

  // Declared before the line, so they outlive its thread.
  TErrorLog errors;
  TSpyLog spy;
  TNotifyLog opened, closed, received, configured;
  TRef<TTestLine> line;
};

}  // namespace

// ---- Open, Close, SetActive --------------------------------------------------------

TEST_F(CommunicationInterface, OpenOnAnOpenInterfaceReturnsTrueAndNotifiesNobody) {
  TNotifyLog onOpen;
  line->SetOnOpen(onOpen.Handler());
  line->GetEventerOpen()->Add(opened.Handler());

  EXPECT_TRUE(line->Open());
  EXPECT_TRUE(line->GetActive());
  ASSERT_EQ(onOpen.Count(), 1);
  ASSERT_EQ(opened.Count(), 1);
  EXPECT_EQ(onOpen.Senders()[0], Ci());
  EXPECT_EQ(opened.Senders()[0], Ci());
  EXPECT_EQ(opened.Threads()[0], std::this_thread::get_id());

  EXPECT_TRUE(line->Open());
  EXPECT_EQ(onOpen.Count(), 1);
  EXPECT_EQ(opened.Count(), 1);
  EXPECT_TRUE(errors.Take().empty());
  line->SetOnOpen(TCiNotifyEvent());
}

TEST_F(CommunicationInterface, CloseOnAClosedInterfaceDoesNothingUnlessForced) {
  TNotifyLog onClose;
  line->SetOnClose(onClose.Handler());
  line->GetEventerClose()->Add(closed.Handler());

  EXPECT_TRUE(line->Close(false));
  EXPECT_EQ(line->InternalCloseCalls(), 0);
  EXPECT_EQ(closed.Count(), 0);

  // Forced, the line is closed again, and that is a close like any other.
  EXPECT_TRUE(line->Close(true));
  EXPECT_EQ(line->InternalCloseCalls(), 1);
  EXPECT_EQ(onClose.Count(), 1);
  ASSERT_EQ(closed.Count(), 1);
  EXPECT_EQ(closed.Senders()[0], Ci());

  ASSERT_TRUE(line->Open());
  EXPECT_TRUE(line->Close(false));
  EXPECT_FALSE(line->GetActive());
  EXPECT_EQ(line->InternalCloseCalls(), 2);
  EXPECT_EQ(closed.Count(), 2);
  EXPECT_TRUE(errors.Take().empty());
  line->SetOnClose(TCiNotifyEvent());
}

TEST_F(CommunicationInterface, SetActiveOpensOrClosesOnlyWhenTheStateChanges) {
  line->GetEventerOpen()->Add(opened.Handler());
  line->GetEventerClose()->Add(closed.Handler());

  line->SetActive(false);
  EXPECT_EQ(line->InternalCloseCalls(), 0);
  EXPECT_EQ(closed.Count(), 0);

  line->SetActive(true);
  line->SetActive(true);
  EXPECT_TRUE(line->GetActive());
  EXPECT_EQ(opened.Count(), 1);

  line->SetActive(false);
  line->SetActive(false);
  EXPECT_FALSE(line->GetActive());
  EXPECT_EQ(line->InternalCloseCalls(), 1);
  EXPECT_EQ(closed.Count(), 1);
}

// ---- Failures and handler exceptions ---------------------------------------------

TEST_F(CommunicationInterface, FailedOpenCloseAndConfigurationAreReportedByName) {
  line->GetEventerOpen()->Add(opened.Handler());
  line->GetEventerClose()->Add(closed.Handler());
  line->GetEventerConfiguration()->Add(configured.Handler());

  line->SetOpenResult(false);
  EXPECT_FALSE(line->Open());
  auto reports = errors.Take();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Sender, Ci());
  EXPECT_EQ(reports[0].Operation, "Open");
  EXPECT_TRUE(reports[0].Args.empty());
  EXPECT_EQ(reports[0].Code, 0);
  EXPECT_EQ(opened.Count(), 0);

  line->SetOpenResult(true);
  ASSERT_TRUE(line->Open());
  line->SetCloseResult(false);
  EXPECT_FALSE(line->Close(false));
  EXPECT_FALSE(line->Close(true));
  reports = errors.Take();
  ASSERT_EQ(reports.size(), 2u);
  for (const TReport& r : reports) {
    EXPECT_EQ(r.Operation, "Close");
    EXPECT_TRUE(r.Args.empty());
    EXPECT_EQ(r.Code, 0);
  }
  EXPECT_EQ(closed.Count(), 0);

  const std::string rejected = "provider=TCP_CLIENT;host=127.0.0.1;port=10001";
  line->SetConfigurationResult(false);
  line->SetConfiguration(rejected);
  reports = errors.Take();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Operation, "SetConfiguration");
  EXPECT_EQ(reports[0].Args, std::vector<std::string>{rejected});
  EXPECT_EQ(reports[0].Code, 0);
  EXPECT_EQ(configured.Count(), 0);

  line->SetConfigurationResult(true);
  line->SetConfiguration("provider=SERIAL_PORT;comport=3");
  EXPECT_TRUE(errors.Take().empty());
  ASSERT_EQ(configured.Count(), 1);
  EXPECT_EQ(configured.Senders()[0], Ci());
  EXPECT_EQ(line->GetConfiguration(), "provider=SERIAL_PORT;comport=3");
}

TEST_F(CommunicationInterface, ExceptionsFromNotificationHandlersBecomeReportsNamedAfterTheirDoMethod) {
  TThrower thrower;
  line->GetEventerOpen()->Add(opened.Handler());
  line->GetEventerClose()->Add(closed.Handler());
  line->GetEventerDataRcv()->Add(received.Handler());

  // A failing handler skips the eventer's handlers that would follow it.
  line->SetOnOpen(thrower.Handler());
  EXPECT_TRUE(line->Open());
  line->SetOnClose(thrower.Handler());
  EXPECT_TRUE(line->Close(false));
  auto reports = errors.Take();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].Operation, "DoOpen");
  EXPECT_EQ(reports[1].Operation, "DoClose");
  for (const TReport& r : reports) {
    EXPECT_EQ(r.Sender, Ci());
    EXPECT_TRUE(r.Args.empty());
    EXPECT_EQ(r.Code, 0);
  }
  EXPECT_EQ(opened.Count(), 0);
  EXPECT_EQ(closed.Count(), 0);

  // Data arrives on the line's thread; the report is raised there.
  line->SetOnDataRcv(thrower.Handler());
  line->Receive("x");
  ASSERT_TRUE(line->WaitIdle());
  reports = errors.Take();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Operation, "DoDataRcv");
  EXPECT_NE(reports[0].Thread, std::this_thread::get_id());
  EXPECT_EQ(received.Count(), 0);

  // An eventer handler that fails is reported the same way.
  line->SetOnDataRcv(TCiNotifyEvent());
  line->GetEventerDataRcv()->Remove(received.Handler());
  line->GetEventerDataRcv()->Add(thrower.Handler());
  line->Receive("y");
  ASSERT_TRUE(line->WaitIdle());
  reports = errors.Take();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Operation, "DoDataRcv");
  line->GetEventerDataRcv()->Remove(thrower.Handler());
  line->SetOnOpen(TCiNotifyEvent());
  line->SetOnClose(TCiNotifyEvent());
}

TEST_F(CommunicationInterface, AnExceptionFromTheLineReachesTheCallerWithTheLockReleased) {
  TRef<TFailingOpenLine> failing = CreateObject<TFailingOpenLine>();
  failing->SetOnError(errors.Handler());
  EXPECT_THROW(failing->Open(), std::runtime_error);
  EXPECT_EQ(failing->Lock().WriteDepth(), 0);
  EXPECT_TRUE(errors.Take().empty());

  // Another thread can take the lock at once.
  std::atomic<bool> locked{false};
  std::thread other([&] {
    failing->BeginWrite();
    locked = true;
    failing->EndWrite();
  });
  EXPECT_TRUE(WaitUntil([&] { return locked.load(); }));
  other.join();
}

// ---- Data received, Read, Write -----------------------------------------------------

TEST_F(CommunicationInterface, ArrivingDataIsAnnouncedOnTheLinesThreadAndFetchedWithRead) {
  TReader reader;
  line->SetOnDataRcv(reader.Handler());
  line->GetEventerDataRcv()->Add(received.Handler());
  EXPECT_TRUE(line->GetOnDataRcv() == reader.Handler());

  line->Receive("abc");
  line->Receive(std::string("d\0f", 3));
  ASSERT_TRUE(line->WaitIdle());
  EXPECT_EQ(reader.Data(), std::string("abcd\0f", 6));
  EXPECT_NE(reader.Thread(), std::this_thread::get_id());
  ASSERT_EQ(received.Count(), 2);
  for (ICommunicationInterface* sender : received.Senders()) EXPECT_EQ(sender, Ci());

  // The spy saw each Read, in the thread that read.
  std::string spied;
  for (const TSpied& s : spy.Take()) {
    EXPECT_EQ(s.Direction, 2);
    EXPECT_EQ(s.Sender, Ci());
    spied += s.Data;
  }
  EXPECT_EQ(spied, std::string("abcd\0f", 6));
  line->SetOnDataRcv(TCiNotifyEvent());
}

TEST_F(CommunicationInterface, ReadWithNothingWaitingStillReachesTheSpy) {
  ASSERT_TRUE(line->Open());
  std::string data = "left over";
  line->Read(data);
  EXPECT_EQ(data, "");
  auto spied = spy.Take();
  ASSERT_EQ(spied.size(), 1u);
  EXPECT_EQ(spied[0].Direction, 2);
  EXPECT_EQ(spied[0].Data, "");
  EXPECT_EQ(spied[0].Sender, Ci());
}

TEST_F(CommunicationInterface, WriteReachesTheSpyWhateverTheLineMakesOfIt) {
  // Closed, the line writes nothing.
  EXPECT_EQ(line->Write("lost"), 0);
  ASSERT_TRUE(line->Open());
  EXPECT_EQ(line->Write(std::string("\x01\x00\x02", 3)), 3);
  EXPECT_EQ(line->Written(), std::vector<std::string>{std::string("\x01\x00\x02", 3)});

  auto spied = spy.Take();
  ASSERT_EQ(spied.size(), 2u);
  EXPECT_EQ(spied[0].Direction, 1);
  EXPECT_EQ(spied[0].Data, "lost");
  EXPECT_EQ(spied[1].Direction, 1);
  EXPECT_EQ(spied[1].Data, std::string("\x01\x00\x02", 3));
  EXPECT_EQ(spied[1].Sender, Ci());
}

// ---- SendAndReceive -------------------------------------------------------------------

TEST_F(CommunicationInterface, SendAndReceiveGathersTheAnswerAndStopsAfterTheGap) {
  ASSERT_TRUE(line->Open());
  line->SetPeer([](const std::string& written) { return written == "ping" ? std::string("pong") : std::string(); });

  const auto start = Clock::now();
  EXPECT_EQ(SendAndReceive("ping", 5000, 50, 10000), "pong");
  // The gap after the answer ended the wait, long before the answer deadline.
  EXPECT_LT(Since(start), 4000ms);
  EXPECT_EQ(line->Written(), std::vector<std::string>{"ping"});

  auto spied = spy.Take();
  ASSERT_EQ(spied.size(), 2u);
  EXPECT_EQ(spied[0].Direction, 1);
  EXPECT_EQ(spied[0].Data, "ping");
  EXPECT_EQ(spied[1].Direction, 2);
  EXPECT_EQ(spied[1].Data, "pong");
}

TEST_F(CommunicationInterface, SendAndReceiveLeavesAChunkThatComesAfterTheGap) {
  ASSERT_TRUE(line->Open());
  line->SetPeer([](const std::string&) { return std::string("first"); });
  constexpr auto kPause = 500ms;  // far beyond the 20 ms gap

  std::thread late([&] {
    // Once the first chunk has been read, pause, then send the second.
    const bool read = WaitUntil([&] { return !line->Written().empty(); }) && line->WaitIdle() &&
                      WaitUntil([&] { return line->InputCount() == 0; });
    if (read) std::this_thread::sleep_for(kPause);
    line->Receive("second");
  });
  const std::string response = SendAndReceive("ask", 5000, 20, 10000);
  late.join();

  EXPECT_EQ(response, "first");
  ASSERT_TRUE(line->WaitIdle());
  std::string rest;
  line->Read(rest);
  EXPECT_EQ(rest, "second");
}

TEST_F(CommunicationInterface, SendAndReceiveWithNoAnswerWaitsForTheAnswerDeadline) {
  ASSERT_TRUE(line->Open());
  const auto start = Clock::now();
  EXPECT_EQ(SendAndReceive("ping", 100, 50, 10000), "");
  const auto took = Since(start);
  EXPECT_GE(took, 100ms);
  EXPECT_LE(took, 1500ms);
  EXPECT_EQ(line->Written(), std::vector<std::string>{"ping"});
  auto spied = spy.Take();
  ASSERT_EQ(spied.size(), 2u);
  EXPECT_EQ(spied[1].Direction, 2);
  EXPECT_EQ(spied[1].Data, "");
}

TEST_F(CommunicationInterface, SendAndReceiveEndsAStreamThatNeverPausesAtTheTotalDeadline) {
  ASSERT_TRUE(line->Open());
  std::atomic<bool> done{false};
  std::thread stream([&] {
    // Bounded, so that a missing total deadline fails instead of hanging.
    const auto end = Clock::now() + 10s;
    while (!done.load() && Clock::now() < end) {
      line->Receive(".");
      std::this_thread::sleep_for(10ms);
    }
  });
  const auto start = Clock::now();
  const std::string response = SendAndReceive("go", 100, 3000, 300);
  const auto took = Since(start);
  done = true;
  stream.join();

  EXPECT_GE(took, 300ms);
  EXPECT_LE(took, 2000ms);
  EXPECT_FALSE(response.empty());
  EXPECT_EQ(response.find_first_not_of('.'), std::string::npos);
}

TEST_F(CommunicationInterface, SendAndReceiveStopsAsSoonAsTheCompletionFunctionSaysZero) {
  ASSERT_TRUE(line->Open());
  line->SetPeer([](const std::string&) { return std::string("AB"); });
  std::vector<std::string> seen;  // called on this thread only
  const TCheckFunction check = [&](const std::string& received) -> uint16_t {
    seen.push_back(received);
    return received == "P:AB" ? 0 : 1;
  };

  const auto start = Clock::now();
  EXPECT_EQ(SendAndReceive("Q", 5000, 5000, 10000, check, "P:"), "AB");
  EXPECT_LT(Since(start), 4000ms);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "P:AB");
  for (const std::string& s : seen) EXPECT_EQ(s.rfind("P:", 0), 0u) << s;
}

TEST_F(CommunicationInterface, SendAndReceiveOnAClosedInterfaceWritesNothingAndAnswersAtOnce) {
  line->SetPeer([](const std::string&) { return std::string("never"); });
  const auto start = Clock::now();
  EXPECT_EQ(SendAndReceive("ping", 5000, 5000, 10000), "");
  EXPECT_LT(Since(start), 2000ms);
  EXPECT_TRUE(line->Written().empty());

  auto spied = spy.Take();
  ASSERT_EQ(spied.size(), 2u);
  EXPECT_EQ(spied[0].Direction, 1);
  EXPECT_EQ(spied[0].Data, "ping");
  EXPECT_EQ(spied[1].Direction, 2);
  EXPECT_EQ(spied[1].Data, "");
}

TEST_F(CommunicationInterface, SendAndReceiveDropsStaleInputOnlyWhenAskedTo) {
  ASSERT_TRUE(line->Open());
  line->SetPeer([](const std::string&) { return std::string("fresh"); });
  const TCheckFunction untilFresh = [](const std::string& r) -> uint16_t {
    return r.size() >= 5 && r.compare(r.size() - 5, 5, "fresh") == 0 ? 0 : 1;
  };

  line->Receive("stale");
  ASSERT_TRUE(line->WaitIdle());
  EXPECT_EQ(SendAndReceive("a", 5000, 5000, 10000, untilFresh, "", true), "fresh");

  line->Receive("stale");
  ASSERT_TRUE(line->WaitIdle());
  EXPECT_EQ(SendAndReceive("b", 5000, 5000, 10000, untilFresh, "", false), "stalefresh");
}

TEST_F(CommunicationInterface, ByteTimeFactorStretchesTheAnswerDeadline) {
  ASSERT_TRUE(line->Open());
  line->SetByteTimeFactor(20.0);
  EXPECT_DOUBLE_EQ(line->GetByteTimeFactor(), 20.0);
  // (5 characters + 5) x 20 ms, with no time-out of its own.
  const auto start = Clock::now();
  EXPECT_EQ(SendAndReceive("abcde", 0, 0, 10000), "");
  const auto took = Since(start);
  EXPECT_GE(took, 190ms);
  EXPECT_LE(took, 2000ms);
}

TEST_F(CommunicationInterface, SendAndReceiveDefaultEndsFiftyMillisecondsAfterTheAnswer) {
  ASSERT_TRUE(line->Open());
  line->SetPeer([](const std::string&) { return std::string("pong"); });
  std::string response;
  const auto start = Clock::now();
  line->SendAndReceiveDefault("ping", 5000, {}, response);
  EXPECT_EQ(response, "pong");
  EXPECT_LT(Since(start), 4000ms);
}

// ---- Configuration by constructor and XML --------------------------------------------

TEST_F(CommunicationInterface, AConnectionStringGivenAtCreationIsApplied) {
  TRef<TTestLine> configuredLine = CreateObject<TTestLine>(std::string("provider=SERIAL_PORT;comport=7"));
  EXPECT_EQ(configuredLine->InternalSetConfigurationCalls(), 1);
  EXPECT_EQ(configuredLine->GetConfiguration(), "provider=SERIAL_PORT;comport=7");

  // An empty one configures nothing.
  EXPECT_EQ(line->InternalSetConfigurationCalls(), 0);
  TRef<TTestLine> plain = CreateObject<TTestLine>(std::string());
  EXPECT_EQ(plain->InternalSetConfigurationCalls(), 0);
  EXPECT_EQ(plain->GetName(), "TTestLine");
  EXPECT_FALSE(plain->GetConfigured());
  EXPECT_DOUBLE_EQ(plain->GetByteTimeFactor(), 1.0);
}

TEST_F(CommunicationInterface, TheConnectionStringIsLoadedFromAndSavedToXml) {
  line->GetEventerConfiguration()->Add(configured.Handler());
  pugi::xml_document doc;
  pugi::xml_node bare = doc.append_child("bare");
  line->LoadFromXML(bare, false, false);
  EXPECT_EQ(line->InternalSetConfigurationCalls(), 0);

  pugi::xml_node element = doc.append_child("line");
  element.append_attribute("name").set_value("Ingra line");
  element.append_attribute("connectionstring").set_value("provider=TCP_CLIENT;host=127.0.0.1");
  line->LoadFromXML(element, true, false);
  EXPECT_EQ(line->GetName(), "Ingra line");
  EXPECT_EQ(line->InternalSetConfigurationCalls(), 1);
  EXPECT_EQ(line->GetConfiguration(), "provider=TCP_CLIENT;host=127.0.0.1");
  EXPECT_EQ(configured.Count(), 1);

  line->SetConfiguration("provider=SERIAL_PORT;comport=2");
  line->SaveToXML();
  EXPECT_STREQ(element.attribute("connectionstring").value(), "provider=SERIAL_PORT;comport=2");
  EXPECT_STREQ(element.attribute("name").value(), "Ingra line");
  EXPECT_STREQ(element.attribute("enabled").value(), "-1");
  EXPECT_EQ(element.attribute("GUID").value(), line->GetGUIDText());
}

TEST_F(CommunicationInterface, AnInterfaceBuiltFromAnElementTakesItsPropertiesAndParent) {
  pugi::xml_document doc;
  pugi::xml_node element = doc.append_child("line");
  const std::string guid = "{0123ABCD-4567-489A-8BCD-0123456789AB}";
  element.append_attribute("name").set_value("Outra line");
  element.append_attribute("enabled").set_value("0");
  element.append_attribute("GUID").set_value(guid.c_str());
  element.append_attribute("connectionstring").set_value("provider=SERIAL_PORT;comport=4");
  TRef<TNodedInterface> parent = CreateObject<TNodedInterface>();

  TRef<TTestLine> loaded = CreateObject<TTestLine>(element, parent.get());
  EXPECT_EQ(loaded->GetName(), "Outra line");
  EXPECT_FALSE(loaded->GetEnabled());
  EXPECT_EQ(loaded->GetGUIDText(), guid);
  EXPECT_EQ(loaded->GetXMLNode(), element);
  EXPECT_EQ(loaded->GetConfiguration(), "provider=SERIAL_PORT;comport=4");
  EXPECT_EQ(loaded->InternalSetConfigurationCalls(), 1);
  EXPECT_EQ(parent->IndexOfChild(static_cast<ICommunicationInterface*>(loaded.get())), 0);
  EXPECT_EQ(korvan::ObjectIdentity(loaded->GetParent().get()),
            korvan::ObjectIdentity(static_cast<korvan::INodedInterface*>(parent.get())));

  parent->ShutDown();
}

namespace {
// Stays inside until let go, so that a test can clear the handler meanwhile.
struct TBusyHandler {
  std::atomic<bool> inside{false}, release{false}, left{false};
  void OnDataRcv(ICommunicationInterface* Sender) {
    inside = true;
    while (!release) std::this_thread::sleep_for(1ms);
    left = true;
    Sender->SetOnDataRcv(TCiNotifyEvent());  // its own thread: no wait for itself
  }
  void OnSpy(ICommunicationInterface* Sender, const std::string&, uint8_t) { OnDataRcv(Sender); }
  void OnError(ICommunicationInterface* Sender, const std::string&, const std::vector<std::string>&, int) {
    OnDataRcv(Sender);
  }

  // True when `clear`, run on another thread while the handler is busy, came
  // back only after the handler had left.
  bool ClearWaits(const std::function<void()>& clear) {
    std::atomic<pid_t> tid{0};
    std::atomic<bool> done{false}, leftFirst{false};
    if (!WaitUntil([&] { return inside.load(); })) return false;
    std::thread clearing([&] {
      tid = gettid();
      clear();
      leftFirst = left.load();
      done = true;
    });
    WaitUntil([&] { return done || (tid != 0 && korvan::test::IsBlocked(tid)); });
    release = true;
    clearing.join();
    return leftFirst;
  }
};
}  // namespace

// Whoever clears a handler may free its object at once.
TEST_F(CommunicationInterface, ClearingAHandlerWaitsForItsCallInProgressOnAnotherThread) {
  TRef<TTestLine> line = CreateObject<TTestLine>();
  ASSERT_TRUE(line->Open());
  TBusyHandler onData, spy;
  line->SetOnDataRcv(TCiNotifyEvent::Bind<&TBusyHandler::OnDataRcv>(&onData));
  line->Receive("x");
  EXPECT_TRUE(onData.ClearWaits([&] { line->SetOnDataRcv(TCiNotifyEvent()); }));
  SetDataSpyHandler(TDataSpyHandler::Bind<&TBusyHandler::OnSpy>(&spy));
  std::thread writer([&] { line->Write("y"); });
  EXPECT_TRUE(spy.ClearWaits([&] { SetDataSpyHandler(TDataSpyHandler()); }));
  writer.join();
  // The same for the open, close and error notifications, raised on another thread.
  const std::function<void(TBusyHandler*)> cases[] = {
      [&](TBusyHandler* h) { line->SetOnClose(h ? TCiNotifyEvent::Bind<&TBusyHandler::OnDataRcv>(h) : TCiNotifyEvent()); },
      [&](TBusyHandler* h) { line->SetOnOpen(h ? TCiNotifyEvent::Bind<&TBusyHandler::OnDataRcv>(h) : TCiNotifyEvent()); },
      [&](TBusyHandler* h) { line->SetOnError(h ? TCiErrorEvent::Bind<&TBusyHandler::OnError>(h) : TCiErrorEvent()); }};
  const std::function<void()> raise[] = {[&] { line->Close(false); }, [&] { line->Open(); },
                                         [&] { line->DoError("Test", {}, 0); }};
  for (int i = 0; i < 3; ++i) {
    TBusyHandler busy;
    cases[i](&busy);
    std::thread raising(raise[i]);
    EXPECT_TRUE(busy.ClearWaits([&] { cases[i](nullptr); })) << "case " << i;
    raising.join();
  }
  line->Stop();
}
