#include "comm/uCI_Wrapper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "comm/uCI_ProviderRegistry.h"
#include "comm/uCommModules.h"
#include "comm/uObjectDestroyer.h"
#include "comm/uci_ConnectionString.h"
#include "platform/uThreadName.h"
#include "platform/uTickCount.h"
#include "support/TLoopbackTransport.h"
#include "support/TWait.h"

using korvan::test::WaitUntil;

using korvan::CreateObject;
using korvan::CurrentThreadName;
using korvan::IInterface;
using korvan::ObjectIdentity;
using korvan::Supports;
using korvan::TRef;
using korvan::ci::ICommunicationInterface;
using korvan::ci::ICommunicationWrapperInterface;
using korvan::ci::TCiErrorEvent;
using korvan::ci::TCiNotifyEvent;
using korvan::ci::TCommunicationWrapperInterface;
using korvan::ci::TNexoCommunicationWrapperInterface;
using korvan::ci::TProcessMsgList;
using korvan::test::TLoopbackProviders;
using korvan::test::TLoopbackTransport;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The kernel keeps 15 characters of "CI Data Receive Thread".
const char* const ReceiveThreadName = "CI Data Receive";

// Objects handed to the destroyer are freed in order, so once a marker
// handed over now has run, every earlier one is gone too.
void DrainObjectDestroyer() {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> ran = done->get_future();
  korvan::DestroyLater([done] { done->set_value(); });
  ASSERT_EQ(ran.wait_for(10s), std::future_status::ready);
}

TLoopbackTransport* LoopbackOf(ICommunicationWrapperInterface* wrapper) {
  return dynamic_cast<TLoopbackTransport*>(wrapper->GetTransport().get());
}

struct TError {
  ICommunicationInterface* Sender;
  std::string Operation;
  std::vector<std::string> Args;
  int Code;
  std::thread::id Thread;
};

class TErrorLog {
 public:
  void OnError(ICommunicationInterface* Sender, const std::string& Operation,
               const std::vector<std::string>& Args, int Code) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back({Sender, Operation, Args, Code, std::this_thread::get_id()});
  }
  TCiErrorEvent Handler() { return TCiErrorEvent::Bind<&TErrorLog::OnError>(this); }
  std::vector<TError> Errors() {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }

 private:
  std::mutex mutex_;
  std::vector<TError> errors_;
};

// Says when its destruction is through: by then the wrapper has handed its
// receive dispatcher to the destroyer.
class TObservedWrapper : public TCommunicationWrapperInterface {
 public:
  TObservedWrapper(std::atomic<bool>& destroyed, const std::string& connectionString)
      : TCommunicationWrapperInterface(connectionString), destroyed_(destroyed) {}
  ~TObservedWrapper() override { destroyed_ = true; }

 private:
  std::atomic<bool>& destroyed_;
};

class WrapperOnLoopback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { korvan::InitializeCommModules(); }
  // Wrappers are released inside the tests; their dispatchers are freed later.
  void TearDown() override { DrainObjectDestroyer(); }

  TLoopbackProviders loopback{{"LOOPBACK", "LOOPBACK2"}};
};

TEST_F(WrapperOnLoopback, OnDataRcvRunsOnTheReceiveThreadAndReadsTheData) {
  struct TReader {
    std::mutex mutex;
    std::string data;
    std::string threadName;
    void OnDataRcv(ICommunicationInterface* Sender) {
      std::string chunk;
      Sender->Read(chunk);
      std::lock_guard<std::mutex> lock(mutex);
      data += chunk;
      threadName = CurrentThreadName();
    }
  } reader;
  TRef<TCommunicationWrapperInterface> wrapper =
      CreateObject<TCommunicationWrapperInterface>("provider=LOOPBACK");
  wrapper->SetOnDataRcv(TCiNotifyEvent::Bind<&TReader::OnDataRcv>(&reader));
  ASSERT_TRUE(wrapper->Open());
  TLoopbackTransport* transport = LoopbackOf(wrapper.get());
  transport->Receive(std::string("a\0b", 3));

  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> lock(reader.mutex);
    return reader.data.size() == 3;
  }));
  std::lock_guard<std::mutex> lock(reader.mutex);
  EXPECT_EQ(reader.data, std::string("a\0b", 3));
  EXPECT_EQ(reader.threadName, ReceiveThreadName);
  EXPECT_NE(CurrentThreadName(), ReceiveThreadName);
}

TEST_F(WrapperOnLoopback, AFloodWhileOnDataRcvRunsIsMergedIntoOneCallThatReadsItAllInOrder) {
  struct TSlowReader {
    std::mutex mutex;
    std::condition_variable cv;
    bool release = false;
    int calls = 0;
    std::string data;
    void OnDataRcv(ICommunicationInterface* Sender) {
      std::unique_lock<std::mutex> lock(mutex);
      if (++calls == 1) cv.wait(lock, [&] { return release; });
      std::string chunk;
      Sender->Read(chunk);
      data += chunk;
      cv.notify_all();
    }
  } reader;
  TRef<TCommunicationWrapperInterface> wrapper = CreateObject<TCommunicationWrapperInterface>("provider=LOOPBACK");
  wrapper->SetOnDataRcv(TCiNotifyEvent::Bind<&TSlowReader::OnDataRcv>(&reader));
  ASSERT_TRUE(wrapper->Open());
  std::string sent;
  for (int i = 0; i < 1000; ++i) sent += std::to_string(i) + ",";
  for (size_t i = 0; i < sent.size(); i += 4) LoopbackOf(wrapper.get())->Receive(sent.substr(i, 4));
  ASSERT_TRUE(LoopbackOf(wrapper.get())->WaitIdle());
  std::unique_lock<std::mutex> lock(reader.mutex);
  reader.release = true;
  reader.cv.notify_all();
  ASSERT_TRUE(reader.cv.wait_for(lock, 10s, [&] { return reader.data.size() == sent.size(); }));
  EXPECT_EQ(reader.data, sent);
  EXPECT_LE(reader.calls, 2);  // the held call, and one notice for everything behind it
  // A last notice may still be running; the reader must outlive it.
  lock.unlock();
  wrapper->SetOnDataRcv(TCiNotifyEvent());
}

TEST_F(WrapperOnLoopback, DataReceivedWithoutAnOnDataRcvHandlerIsReturnedByTheNextRead) {
  TRef<TCommunicationWrapperInterface> wrapper =
      CreateObject<TCommunicationWrapperInterface>("provider=LOOPBACK");
  ASSERT_TRUE(wrapper->Open());
  // Only to know that the notification has been delivered.
  struct TFlag {
    std::atomic<int> count{0};
    void OnDataRcv(ICommunicationInterface*) { ++count; }
  } delivered;
  wrapper->GetEventerDataRcv()->Add(TCiNotifyEvent::Bind<&TFlag::OnDataRcv>(&delivered));

  LoopbackOf(wrapper.get())->Receive("kept");
  ASSERT_TRUE(WaitUntil([&] { return delivered.count == 1; }));
  EXPECT_EQ(wrapper->InputCount(), 4);
  std::string data;
  wrapper->Read(data);
  EXPECT_EQ(data, "kept");
  EXPECT_EQ(wrapper->InputCount(), 0);
  wrapper->GetEventerDataRcv()->Remove(TCiNotifyEvent::Bind<&TFlag::OnDataRcv>(&delivered));
}

TEST_F(WrapperOnLoopback, ForwardsOpenWriteAndIdentityToItsTransport) {
  TRef<TCommunicationWrapperInterface> wrapper =
      CreateObject<TCommunicationWrapperInterface>("provider=LOOPBACK");
  TLoopbackTransport* transport = LoopbackOf(wrapper.get());
  ASSERT_NE(transport, nullptr);
  EXPECT_TRUE(wrapper->GetConfigured());
  EXPECT_EQ(wrapper->GetDisplayName(), "WrapperCI: provider=LOOPBACK");
  EXPECT_FALSE(wrapper->GetActive());

  ASSERT_TRUE(wrapper->Open());
  EXPECT_TRUE(transport->GetActive());
  EXPECT_EQ(wrapper->Write("abc"), 3);
  EXPECT_EQ(transport->Written(), std::vector<std::string>{"abc"});
  wrapper->ClearOutput();
  EXPECT_EQ(transport->ClearOutputCalls(), 1);
}

TEST_F(WrapperOnLoopback, ACloseAsksForAnUnforcedCloseButDestructionForcesIt) {
  TRef<TCommunicationWrapperInterface> wrapper =
      CreateObject<TCommunicationWrapperInterface>("provider=LOOPBACK");
  TRef<TLoopbackTransport> transport = loopback.Last();
  ASSERT_TRUE(wrapper->Open());
  EXPECT_TRUE(wrapper->Close(true));
  EXPECT_EQ(transport->InternalCloseCalls(), 1);
  EXPECT_FALSE(transport->LastCloseForced());

  wrapper = nullptr;
  EXPECT_EQ(transport->InternalCloseCalls(), 2);
  EXPECT_TRUE(transport->LastCloseForced());
  // The wrapper's subscriptions went with it.
  EXPECT_EQ(transport->GetDataReadSlots()->Count(), 0);
  EXPECT_EQ(transport->GetErrorSlots()->Count(), 0);
}

TEST_F(WrapperOnLoopback, ReconfiguringKeepsTheTransportOfTheSameProviderAndReplacesAnother) {
  TRef<TCommunicationWrapperInterface> wrapper =
      CreateObject<TCommunicationWrapperInterface>("provider=LOOPBACK;port=3");
  const TRef<korvan::transport::ICommunicationInterface> first = wrapper->GetTransport();
  ASSERT_TRUE(first);
  ASSERT_TRUE(wrapper->Open());

  wrapper->SetConfiguration("provider=LOOPBACK;port=4");
  EXPECT_EQ(wrapper->GetTransport().get(), first.get());
  EXPECT_TRUE(wrapper->GetActive());
  ASSERT_EQ(loopback.Created().size(), 1u);
  TRef<TLoopbackTransport> old = loopback.Last();
  EXPECT_EQ(old->AppliedConfigurations(),
            (std::vector<std::string>{"provider=LOOPBACK;port=3", "provider=LOOPBACK;port=4"}));
  // Subscribing again reuses the slots, so nothing is delivered twice.
  EXPECT_EQ(old->GetDataReadSlots()->Count(), 1);
  EXPECT_EQ(old->GetErrorSlots()->Count(), 1);

  wrapper->SetConfiguration("provider=LOOPBACK2;port=5");
  const TRef<korvan::transport::ICommunicationInterface> second = wrapper->GetTransport();
  ASSERT_TRUE(second);
  EXPECT_NE(second.get(), first.get());
  EXPECT_EQ(second->GetProvider(), "LOOPBACK2");
  EXPECT_EQ(loopback.Last()->AppliedConfigurations(),
            std::vector<std::string>{"provider=LOOPBACK2;port=5"});
  EXPECT_TRUE(wrapper->GetConfigured());

  // The old transport was closed in order and let go of the wrapper.
  EXPECT_FALSE(old->GetActive());
  EXPECT_EQ(old->InternalCloseCalls(), 1);
  EXPECT_FALSE(old->LastCloseForced());
  EXPECT_EQ(old->GetDataReadSlots()->Count(), 0);
  EXPECT_EQ(old->GetErrorSlots()->Count(), 0);
}

TEST_F(WrapperOnLoopback, AFailingFactoryLeavesNoTransportAndATransportNamedOtherwiseIsKept) {
  korvan::ci::RegisterTransport("LOOPBACK", []() -> TRef<korvan::transport::ICommunicationInterface> {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  korvan::ci::RegisterTransport("NAMED", [] { return TRef<korvan::transport::ICommunicationInterface>(CreateObject<TLoopbackTransport>("OTHER")); });
  TErrorLog log;
  TRef<TCommunicationWrapperInterface> wrapper = CreateObject<TCommunicationWrapperInterface>("provider=NAMED");
  const auto named = wrapper->GetTransport();
  wrapper->SetConfiguration("provider=NAMED;port=2");
  EXPECT_EQ(wrapper->GetTransport(), named);
  wrapper->SetOnError(log.Handler());
  wrapper->SetConfiguration("provider=LOOPBACK");
  EXPECT_FALSE(wrapper->GetTransport());
  EXPECT_FALSE(wrapper->GetConfigured());
  ASSERT_EQ(log.Errors().size(), 1u);
  EXPECT_EQ(log.Errors()[0].Operation, "SetConfiguration");
  korvan::ci::UnregisterTransport("LOOPBACK");
  korvan::ci::UnregisterTransport("NAMED");
}

TEST_F(WrapperOnLoopback, ALowerCaseProviderGivesAWrapperWithoutTransport) {
  TRef<ICommunicationInterface> created;
  ASSERT_TRUE(korvan::CreateCommunicationInterface("provider=serial_port;comport=3", created));
  auto* fromString = Supports<ICommunicationWrapperInterface>(created);
  ASSERT_NE(fromString, nullptr);
  EXPECT_FALSE(fromString->GetTransport());
  EXPECT_FALSE(fromString->GetConfigured());

  TErrorLog log;
  TRef<TCommunicationWrapperInterface> wrapper = CreateObject<TCommunicationWrapperInterface>();
  wrapper->SetOnError(log.Handler());
  wrapper->SetConfiguration("provider=serial_port;comport=3");
  EXPECT_FALSE(wrapper->GetTransport());
  EXPECT_FALSE(wrapper->GetConfigured());
  EXPECT_EQ(wrapper->GetDisplayName(), "WrapperCI: Empty");

  // Everything answers "nothing" and raises nothing more than the failed open.
  EXPECT_FALSE(wrapper->GetActive());
  EXPECT_FALSE(wrapper->Open());
  EXPECT_EQ(wrapper->Write("x"), 0);
  std::string data = "stale";
  wrapper->Read(data);
  EXPECT_EQ(data, "");
  EXPECT_EQ(wrapper->InputCount(), 0);
  EXPECT_EQ(wrapper->GetConfiguration(), "");
  EXPECT_EQ(wrapper->GetIdentity(), "");
  wrapper->ClearInput();
  wrapper->ClearOutput();

  const std::vector<TError> errors = log.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].Operation, "SetConfiguration");
  EXPECT_EQ(errors[0].Args, std::vector<std::string>{"provider=serial_port;comport=3"});
  EXPECT_EQ(errors[0].Code, 0);
  EXPECT_EQ(errors[0].Sender, static_cast<ICommunicationInterface*>(wrapper.get()));
  EXPECT_EQ(errors[1].Operation, "Open");
  for (const TError& e : errors) EXPECT_EQ(e.Thread, std::this_thread::get_id());
}

TEST_F(WrapperOnLoopback, TransportFailuresReachOnErrorOnTheReceiveThreadWithTheWrapperAsSender) {
  TErrorLog log;
  TRef<TCommunicationWrapperInterface> wrapper =
      CreateObject<TCommunicationWrapperInterface>("provider=LOOPBACK");
  wrapper->SetOnError(log.Handler());
  TLoopbackTransport* transport = LoopbackOf(wrapper.get());
  transport->SetConfigurationResult(false);
  wrapper->SetConfiguration("provider=LOOPBACK;port=(");
  transport->SetOpenResult(false);
  EXPECT_FALSE(wrapper->Open());

  // The wrapper's own "Open" at once on this thread; the transport's two in
  // their order on the receive thread, which may run before or after it.
  ASSERT_TRUE(WaitUntil([&] { return log.Errors().size() == 3; }));
  std::vector<TError> errors = log.Errors();
  const auto own = std::stable_partition(errors.begin(), errors.end(),
                                         [](const TError& e) { return e.Thread == std::this_thread::get_id(); });
  ASSERT_EQ(own - errors.begin(), 1);
  EXPECT_EQ(errors[0].Operation, "Open");
  std::vector<TError> fromTransport(own, errors.end());
  ASSERT_EQ(fromTransport.size(), 2u);
  EXPECT_EQ(fromTransport[0].Operation, "SetConfiguration");
  EXPECT_EQ(fromTransport[0].Args, std::vector<std::string>{"provider=LOOPBACK;port=("});
  EXPECT_EQ(fromTransport[1].Operation, "Open");
  for (const TError& e : fromTransport) {
    EXPECT_NE(e.Thread, std::this_thread::get_id());
    EXPECT_NE(e.Thread, transport->ReceiveThreadId());
    EXPECT_EQ(e.Sender, static_cast<ICommunicationInterface*>(wrapper.get()));
    EXPECT_EQ(e.Code, 0);
  }
}

TEST_F(WrapperOnLoopback, ReleasingTheWrapperWhileOnDataRcvRunsDestroysItOnlyAfterTheHandler) {
  // The handler holds the receive thread until the last outside reference
  // has been dropped on another thread, gives a premature destruction time
  // to show, and then uses the wrapper once more.
  struct TSlowHandler {
    TLoopbackTransport* transport = nullptr;
    std::atomic<bool> entered{false};
    std::atomic<bool> releasing{false};
    std::atomic<bool> released{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> destroyedWhileRunning{false};
    std::atomic<int> inputCount{-1};
    void OnDataRcv(ICommunicationInterface* Sender) {
      entered = true;
      WaitUntil([&] { return releasing.load(); });
      WaitUntil([&] { return released.load(); }, 200ms);
      destroyedWhileRunning = transport->LastCloseForced();
      inputCount = Sender->InputCount();
      finished = true;
    }
  } handler;
  std::atomic<bool> destroyed{false};

  TRef<TObservedWrapper> wrapper = CreateObject<TObservedWrapper>(destroyed, "provider=LOOPBACK");
  TRef<TLoopbackTransport> transport = loopback.Last();
  handler.transport = transport.get();
  wrapper->SetOnDataRcv(TCiNotifyEvent::Bind<&TSlowHandler::OnDataRcv>(&handler));
  ASSERT_TRUE(wrapper->Open());
  transport->Receive("slow");
  ASSERT_TRUE(WaitUntil([&] { return handler.entered.load(); }));

  std::thread releaser([&] {
    handler.releasing = true;
    wrapper = nullptr;
    handler.released = true;
  });
  releaser.join();
  ASSERT_TRUE(WaitUntil([&] { return destroyed.load(); }));
  EXPECT_TRUE(handler.finished);
  EXPECT_FALSE(handler.destroyedWhileRunning);
  EXPECT_EQ(handler.inputCount, 4);
  EXPECT_TRUE(transport->LastCloseForced());
  EXPECT_EQ(transport->GetDataReadSlots()->Count(), 0);
}

// Those who hear of the wrapper's destruction still find its transport.
TEST_F(WrapperOnLoopback, TheDestroyingNotificationComesBeforeTheTransportGoes) {
  struct TWatch {
    int withTransport = 0;
    void Destroying(korvan::INodedInterface* node) {
      if (auto* w = dynamic_cast<ICommunicationWrapperInterface*>(node)) withTransport += w->GetTransport() ? 1 : 0;
    }
  } watch;
  const auto handler = korvan::Teventer_NodedInterface::THandler::Bind<&TWatch::Destroying>(&watch);
  korvan::NodeDestroyingEventer().Add(handler);
  CreateObject<TCommunicationWrapperInterface>("provider=LOOPBACK");
  korvan::NodeDestroyingEventer().Remove(handler);
  EXPECT_EQ(watch.withTransport, 1);
}

TEST_F(WrapperOnLoopback, ReleasingTheLastReferenceInsideOnDataRcvIsSafe) {
  struct TDropper {
    TRef<TObservedWrapper> wrapper;
    std::atomic<bool> dropped{false};
    void OnDataRcv(ICommunicationInterface*) {
      wrapper = nullptr;
      dropped = true;
    }
  } dropper;
  std::atomic<bool> destroyed{false};
  dropper.wrapper = CreateObject<TObservedWrapper>(destroyed, "provider=LOOPBACK");
  TRef<TLoopbackTransport> transport = loopback.Last();
  dropper.wrapper->SetOnDataRcv(TCiNotifyEvent::Bind<&TDropper::OnDataRcv>(&dropper));
  ASSERT_TRUE(dropper.wrapper->Open());
  transport->Receive("last");
  ASSERT_TRUE(WaitUntil([&] { return destroyed.load(); }));
  EXPECT_TRUE(dropper.dropped);
  EXPECT_TRUE(transport->LastCloseForced());
  EXPECT_EQ(transport->GetDataReadSlots()->Count(), 0);
}

TEST_F(WrapperOnLoopback, CreateCommunicationInterfaceConfiguresTheWrapperWithTheCleanedString) {
  TRef<ICommunicationInterface> created;
  ASSERT_TRUE(korvan::CreateCommunicationInterface(
      " provider = LOOPBACK ;\r\n host = 127.0.0.1 ;\r\n port = 10001\r\n", created));
  auto* wrapper = Supports<ICommunicationWrapperInterface>(created);
  ASSERT_NE(wrapper, nullptr);
  TLoopbackTransport* transport = LoopbackOf(wrapper);
  ASSERT_NE(transport, nullptr);
  EXPECT_EQ(transport->AppliedConfigurations(),
            std::vector<std::string>{"provider=LOOPBACK;host=127.0.0.1;port=10001"});
  EXPECT_EQ(created->GetConfiguration(), "provider=LOOPBACK;host=127.0.0.1;port=10001");
  EXPECT_TRUE(created->GetConfigured());
}

TEST(WrapperModule, RegistersTheFiveProvidersWithTheWrapperClassAndTheNexoClass) {
  korvan::InitializeCommModules();
  for (const char* name :
       {"SERIAL_PORT", "TCP_CLIENT", "UDP_CLIENT", "FTD_USB", "HID", "tcp_client"}) {
    const korvan::TCommunicationInterfaceClass* cls = nullptr;
    EXPECT_TRUE(korvan::FindProvider(name, cls)) << name;
    EXPECT_EQ(cls, &TCommunicationWrapperInterface::Class) << name;
  }
  const auto countNexo = [] {
    int n = 0;
    for (const auto* cls : korvan::ci::RegisteredClasses())
      if (std::string(cls->ClassName) == "TNexoCommunicationWrapperInterface") ++n;
    return n;
  };
  EXPECT_EQ(countNexo(), 1);

  // Initialising again replaces earlier registrations instead of piling up.
  const korvan::TCommunicationInterfaceClass foreign = {
      "TForeign", TNexoCommunicationWrapperInterface::Class.Create};
  korvan::UnregisterProvider("HID");
  ASSERT_TRUE(korvan::RegisterProvider(&foreign, "HID"));
  korvan::ci::InitializeWrapperModule();
  const korvan::TCommunicationInterfaceClass* hid = nullptr;
  EXPECT_TRUE(korvan::FindProvider("HID", hid));
  EXPECT_EQ(hid, &TCommunicationWrapperInterface::Class);
  EXPECT_EQ(countNexo(), 1);

  korvan::ci::FinalizeWrapperModule();
  const korvan::TCommunicationInterfaceClass* none = nullptr;
  EXPECT_FALSE(korvan::FindProvider("SERIAL_PORT", none));
  EXPECT_EQ(countNexo(), 0);
  korvan::ci::InitializeWrapperModule();
}

TEST_F(WrapperOnLoopback, NexoProcessStepReopensAClosedEnabledInterfaceOncePerPeriod) {
  struct TMessageSink {
    struct TCall {
      int message;
      const void* sender;
      int code;
      bool active;
    };
    TRef<TNexoCommunicationWrapperInterface> nexo;
    std::vector<TCall> calls;
    void OnMessage(int Message, IInterface* Sender, int Code) {
      calls.push_back({Message, ObjectIdentity(Sender), Code, nexo->GetActive()});
    }
  } sink;
  sink.nexo = CreateObject<TNexoCommunicationWrapperInterface>("provider=LOOPBACK");
  TRef<TLoopbackTransport> transport = loopback.Last();
  const int message = korvan::ci::NexoProcessMessage();
  sink.nexo->MessageList()->Add(TProcessMsgList::TReceiver::Bind<&TMessageSink::OnMessage>(&sink),
                                message);

  // Within 30 s of boot the first check still finds the timer expired.
  korvan::AdvanceTickCount(static_cast<uint32_t>(1000u - korvan::GetTickCount()));
  EXPECT_EQ(sink.nexo->ProcessStep(), 30000);
  EXPECT_TRUE(sink.nexo->GetActive());
  ASSERT_EQ(sink.calls.size(), 2u);
  const void* self = ObjectIdentity(static_cast<ICommunicationInterface*>(sink.nexo.get()));
  EXPECT_EQ(sink.calls[0].code, 0x10001);
  EXPECT_FALSE(sink.calls[0].active);
  EXPECT_EQ(sink.calls[1].code, 0x20000);
  EXPECT_TRUE(sink.calls[1].active);
  for (const auto& call : sink.calls) {
    EXPECT_EQ(call.message, message);
    EXPECT_EQ(call.sender, self);
  }

  // Closed again within the period: left alone until the period is over.
  ASSERT_TRUE(sink.nexo->Close(false));
  EXPECT_EQ(sink.nexo->ProcessStep(), 30000);
  EXPECT_FALSE(sink.nexo->GetActive());
  korvan::AdvanceTickCount(30000);
  EXPECT_EQ(sink.nexo->ProcessStep(), 30000);
  EXPECT_TRUE(sink.nexo->GetActive());
  EXPECT_EQ(transport->InternalOpenCalls(), 2);
  EXPECT_EQ(sink.calls.size(), 4u);

  // Open, or disabled: nothing to do.
  korvan::AdvanceTickCount(30000);
  EXPECT_EQ(sink.nexo->ProcessStep(), 30000);
  ASSERT_TRUE(sink.nexo->Close(false));
  sink.nexo->SetEnabled(false);
  korvan::AdvanceTickCount(30000);
  EXPECT_EQ(sink.nexo->ProcessStep(), 30000);
  EXPECT_EQ(transport->InternalOpenCalls(), 2);
  EXPECT_EQ(sink.calls.size(), 4u);
  EXPECT_EQ(sink.nexo->SpareOperation(), 0);
  sink.nexo = nullptr;
}

}  // namespace
