#include <gtest/gtest.h>

#include "comm/uCI_TransportRegistry.h"
#include "protocol/uKorvanModules.h"
#include "support/TLoopbackTransport.h"

using namespace korvan;

TEST(TransportRegistry, CreatesByExactNameAndARegistrationReplacesTheEarlierOneUntilItIsRemoved) {
  ci::RegisterTransport("REG_TEST", [] { return TRef<transport::ICommunicationInterface>(CreateObject<test::TLoopbackTransport>("A")); });
  ci::RegisterTransport("REG_TEST", [] { return TRef<transport::ICommunicationInterface>(CreateObject<test::TLoopbackTransport>("B")); });
  TRef<transport::ICommunicationInterface> t = ci::CreateTransport("REG_TEST");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->GetProvider(), "B");
  EXPECT_FALSE(ci::CreateTransport("reg_test"));
  // Removing the newer registration brings back the one it replaced.
  ci::UnregisterTransport("REG_TEST");
  EXPECT_EQ(ci::CreateTransport("REG_TEST")->GetProvider(), "A");
  ci::UnregisterTransport("REG_TEST");
  EXPECT_FALSE(ci::CreateTransport("REG_TEST"));
}

TEST(TransportRegistry, ModuleInitialisationRegistersTheTransportsAndFinalisationRemovesThem) {
  InitializeModules();
  for (const char* name : {"SERIAL_PORT", "TCP_CLIENT", "UDP_CLIENT"}) {
    TRef<transport::ICommunicationInterface> t = ci::CreateTransport(name);
    ASSERT_TRUE(t) << name;
    EXPECT_EQ(t->GetProvider(), name);
  }
  FinalizeModules();
  EXPECT_FALSE(ci::CreateTransport("SERIAL_PORT"));
  InitializeModules();
}
